#include "RangeStatistics.h"

#include "CatalogFields.h"
#include "CatalogText.h"
#include "ConfigError.h"
#include "ExtensionKey.h"
#include "IXMLConfigType.h"
#include "NodeLists.h"
#include "TXMLItemListType.h"
#include "TXMLItemType.h"
#include "TreeOrder.h"

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

void readRanges(const TXMLItemListType &list, const QString &what, RangeSet &set, QStringList *problems)
{
    // Label and bound of an item go together or not at all: the charts pair the
    // labels with the buckets by position.
    for (pugi::xml_node n = list.element().child("item"); n; n = n.next_sibling("item")) {
        const TXMLItemType item(n);
        const QString label = item.label();
        try {
            const int value = item.value();
            set.labels.append(label);
            set.bounds.push_back(double(value));
        } catch (const ConfigError &e) {
            if (problems)
                problems->append(
                    QStringLiteral("The %1 range \"%2\" is left out: %3").arg(what, label, e.message()));
        }
    }
}

// Visits `top` when it is a file, then every file below it in pre-order of `order`
// (the scan's own order when null). The stack holds one frame per open folder, so
// its depth is the tree's depth, not its size.
template <typename Visit>
void forEachFile(const CatalogTree &tree, const TreeOrder *order, NodeIndex top, Visit &&visit)
{
    const CatalogNodeData &topData = tree.node(top);
    if (topData.kind() == NodeKind::File)
        visit(top, topData);
    if (topData.childCount == 0)
        return;

    struct Frame
    {
        NodeIndex folder;
        NodeIndex firstChild;
        std::uint32_t row;
        std::uint32_t count;
    };
    std::vector<Frame> stack;
    stack.push_back({top, topData.firstChild, 0, topData.childCount});
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.row == frame.count) {
            stack.pop_back();
            continue;
        }
        const std::uint32_t row = frame.row++;
        const NodeIndex child = order ? order->childAt(tree, frame.folder, row) : frame.firstChild + row;
        const CatalogNodeData &n = tree.node(child);
        if (n.kind() == NodeKind::File)
            visit(child, n);
        if (n.childCount != 0)
            stack.push_back({child, n.firstChild, 0, n.childCount}); // `frame` is not used after this
    }
}

struct KeyHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
};

int exactBucketOf(const QString &key)
{
    // Range fields read as plain decimals; any other key ("02", "+1") equals none.
    if (key.isEmpty())
        return -1;
    bool ok = false;
    const int bucket = key.toInt(&ok);
    return ok && bucket >= 0 && QString::number(bucket) == key ? bucket : -2;
}

} // namespace

Ranges LoadRanges(IXMLConfigType &document, QStringList *problems)
{
    Ranges ranges;
    readRanges(document.agerange(), QStringLiteral("age"), ranges.age, problems);
    readRanges(document.sizerange(), QStringLiteral("size"), ranges.size, problems);
    return ranges;
}

int SizeRangeIndex(double bytes, const std::vector<double> &bounds)
{
    return CatalogTree::bucketOf(bytes, bounds);
}

int AgeRangeIndex(double ageDays, const std::vector<double> &bounds)
{
    return CatalogTree::bucketOf(ageDays, bounds);
}

RangeBounds BoundsOf(const Ranges &ranges)
{
    return {ranges.size.bounds, ranges.age.bounds};
}

void ClassifyFiles(CatalogTree &tree, const Ranges &ranges, std::int64_t now)
{
    // O(1): the tree keeps the bounds and the moment, and every range field is
    // derived from them when read, so no file is visited here.
    tree.setClassification({ranges.size.bounds, ranges.age.bounds, now});
}

Statistics CountStatistics(const CatalogTree &tree, NodeIndex current, const TreeOrder *order)
{
    const RangeClassification &c = tree.classification();
    Statistics s;
    s.size.assign(c.sizeBounds.size() + 1, 0);
    s.createAge.assign(c.ageBounds.size() + 1, 0);
    s.accessAge.assign(c.ageBounds.size() + 1, 0);
    s.writeAge.assign(c.ageBounds.size() + 1, 0);
    if (current == NoNode || current >= tree.nodeCount())
        return s;

    std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> typeOf;
    std::string key;
    // Files of one folder mostly share an extension: the last one met is checked first.
    QByteArrayView lastExtension;
    std::size_t lastType = std::size_t(-1);
    std::vector<std::uint64_t> bytes; // per type, in the order of s.types before sorting
    const auto addBytes = [&bytes](std::size_t type, const CatalogNodeData &n) {
        std::uint64_t &total = bytes[type];
        if (n.has(CatalogNodeData::HasSize) && __builtin_add_overflow(total, n.size, &total))
            total = SaturatedSize;
    };

    const auto bucket = [](int b) { return std::size_t(b < 0 ? 0 : b); };
    forEachFile(tree, order, current, [&](NodeIndex i, const CatalogNodeData &n) {
        ++s.size[bucket(tree.sizeBucket(i))];
        ++s.createAge[bucket(tree.ageBucket(i, TimeKind::Create))];
        ++s.accessAge[bucket(tree.ageBucket(i, TimeKind::Access))];
        ++s.writeAge[bucket(tree.ageBucket(i, TimeKind::Write))];

        const QByteArrayView extension = FileExtensionBytes(tree, i, n);
        if (lastType != std::size_t(-1) && extension == lastExtension) {
            ++s.types[lastType].second;
            addBytes(lastType, n);
            return;
        }
        FoldExtension(extension, key);
        auto found = typeOf.find(std::string_view(key));
        if (found == typeOf.end()) {
            found = typeOf.emplace(key, s.types.size()).first;
            s.types.emplace_back(CatalogText::nameText(extension), 0);
            bytes.push_back(0);
        }
        lastType = found->second;
        lastExtension = extension;
        ++s.types[lastType].second;
        addBytes(lastType, n);
    });
    s.typeBytes.reserve(s.types.size());
    for (std::size_t t = 0; t < s.types.size(); ++t)
        s.typeBytes.emplace_back(s.types[t].first, bytes[t]);
    SortTypeCounts(s.types);
    SortTypeCounts(s.typeBytes);
    return s;
}

void ApplyStatisticsChange(Statistics &statistics, const Statistics &removed, const Statistics &added)
{
    const auto apply = [](std::vector<std::uint64_t> &to, const std::vector<std::uint64_t> &out,
                           const std::vector<std::uint64_t> &in) {
        for (std::size_t b = 0; b < to.size(); ++b) {
            const std::uint64_t gone = b < out.size() ? out[b] : 0;
            to[b] = (to[b] > gone ? to[b] - gone : 0) + (b < in.size() ? in[b] : 0);
        }
    };
    apply(statistics.size, removed.size, added.size);
    apply(statistics.createAge, removed.createAge, added.createAge);
    apply(statistics.accessAge, removed.accessAge, added.accessAge);
    apply(statistics.writeAge, removed.writeAge, added.writeAge);

    using Types = std::vector<std::pair<QString, std::uint64_t>>;
    std::string key;
    // Per extension, letter case folded: the figure out, the figure in; an extension
    // met for the first time comes after the others.
    const auto merge = [&key](Types &to, const Types &out, const Types &in) {
        std::unordered_map<std::string, std::size_t, KeyHash, std::equal_to<>> typeOf;
        for (std::size_t t = 0; t < to.size(); ++t) {
            FoldExtension(to[t].first.toUtf8(), key);
            typeOf.emplace(key, t);
        }
        for (const auto &[label, figure] : out) {
            FoldExtension(label.toUtf8(), key);
            if (const auto found = typeOf.find(std::string_view(key)); found != typeOf.end()) {
                std::uint64_t &left = to[found->second].second;
                // A saturated sum of bytes no longer says what its parts were: it stays.
                if (left != SaturatedSize)
                    left = left > figure ? left - figure : 0;
            }
        }
        for (const auto &[label, figure] : in) {
            FoldExtension(label.toUtf8(), key);
            auto found = typeOf.find(std::string_view(key));
            if (found == typeOf.end()) {
                found = typeOf.emplace(key, to.size()).first;
                to.emplace_back(label, 0);
            }
            std::uint64_t &sum = to[found->second].second;
            sum = figure > SaturatedSize - sum ? SaturatedSize : sum + figure;
        }
    };
    merge(statistics.types, removed.types, added.types);
    merge(statistics.typeBytes, removed.typeBytes, added.typeBytes);
    // An extension whose files are all gone leaves both lists (its bytes may be 0
    // while files remain: empty ones).
    std::unordered_set<std::string> left;
    std::erase_if(statistics.types, [](const auto &type) { return type.second == 0; });
    for (const auto &type : statistics.types) {
        FoldExtension(type.first.toUtf8(), key);
        left.insert(key);
    }
    std::erase_if(statistics.typeBytes, [&](const auto &type) {
        FoldExtension(type.first.toUtf8(), key);
        return !left.count(key);
    });
    SortTypeCounts(statistics.types);
    SortTypeCounts(statistics.typeBytes);
}

void SortTypeCounts(std::vector<std::pair<QString, std::uint64_t>> &types)
{
    const std::size_t n = types.size();
    if (n <= SortTypeCountsExactLimit) {
        // The exchange procedure itself: its order of equal counts is what users of
        // the type chart see (not stable: [1 a, 1 b, 2 c] ends as [c, b, a]).
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i; j < n; ++j) {
                if (types[j].second > types[i].second)
                    std::swap(types[i], types[j]);
            }
        }
        return;
    }
    // Quadratic work on a folder of many distinct extensions would freeze the
    // window; the same counts in the same order, ties as first met.
    std::stable_sort(
        types.begin(), types.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
}

NodeRows SliceListRows(const std::shared_ptr<const CatalogTree> &tree, const TreeOrder &order,
    NodeIndex current, SliceKind kind, const QString &key)
{
    NodeRows rows;
    if (!tree || current == NoNode || current >= tree->nodeCount())
        return rows;
    rows.tree = tree;
    if (!tree->isFolder(current)) {
        rows.nodes.push_back(current);
        UpdatePercentages(rows);
        return rows;
    }

    const CatalogTree &t = *tree;
    std::vector<NodeIndex> &found = rows.nodes;
    const auto add = [&](NodeIndex i) { found.push_back(i); };
    if (kind == SliceKind::Type) {
        // The slice lists the files it counted: letter cases meet as in CountStatistics.
        std::string wantedKey;
        FoldExtension(key.toUtf8(), wantedKey);
        std::string fileKey;
        QByteArrayView lastExtension;
        bool lastMatched = false;
        bool anyMet = false;
        forEachFile(t, &order, current, [&](NodeIndex i, const CatalogNodeData &n) {
            const QByteArrayView extension = FileExtensionBytes(t, i, n);
            if (!anyMet || extension != lastExtension) {
                FoldExtension(extension, fileKey);
                lastMatched = fileKey == wantedKey;
                lastExtension = extension;
                anyMet = true;
            }
            if (lastMatched)
                add(i);
        });
    } else {
        const int wanted = exactBucketOf(key);
        if (wanted != -2) {
            forEachFile(t, &order, current, [&](NodeIndex i, const CatalogNodeData &) {
                int bucket = 0;
                switch (kind) {
                case SliceKind::CreateAge:
                    bucket = t.ageBucket(i, TimeKind::Create);
                    break;
                case SliceKind::AccessAge:
                    bucket = t.ageBucket(i, TimeKind::Access);
                    break;
                case SliceKind::WriteAge:
                    bucket = t.ageBucket(i, TimeKind::Write);
                    break;
                case SliceKind::Size:
                case SliceKind::Type:
                    bucket = t.sizeBucket(i);
                    break;
                }
                // A tree without bounds has one bucket, "all files", which CountStatistics
                // counts every file in.
                if (std::max(bucket, 0) == wanted)
                    add(i);
            });
        }
    }
    found.shrink_to_fit();
    UpdatePercentages(rows);
    return rows;
}
