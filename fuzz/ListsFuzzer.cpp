// The cell texts and orders of src/lists over a tree made from the input, in a locale
// and time zone the input picks: every field's text agrees with its UTF-8 form, cells
// and lengths with the names they stand for, time texts read back as their keys; every
// sort by every field in both directions is a permutation of each folder's children
// with folders first, ordered by the comparison where it is a consistent order, and
// the same order that the plain comparison gives through MergeSort. The fast keys of
// the Total Tree and of the lists are checked against CompareTreeNodes, and that
// against the texts (CompareNodeTexts).
#include "FuzzCheck.h"
#include "FuzzedTree.h"

#include "CatalogFields.h"
#include "CatalogText.h"
#include "CellText.h"
#include "MergeSort.h"
#include "NodeLists.h"
#include "NodeOrder.h"
#include "TCatalogNode.h"
#include "TreeOrder.h"

#include <QLocale>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <numeric>

namespace {

// Locales with other separators, digits, scripts and calendars' words; zones with
// clock changes at midnight, by half an hour, and a day skipped (Apia, 2011).
constexpr const char *Locales[] = {"C", "en_US", "de_DE", "fr_FR", "ar_EG", "fa_IR", "hi_IN", "bn_BD",
    "my_MM", "zh_CN", "ja_JP", "ko_KR", "th_TH", "he_IL", "pt_BR"};
constexpr const char *Zones[] = {"UTC", "America/Sao_Paulo", "Europe/Berlin", "Australia/Lord_Howe",
    "Pacific/Apia", "America/Havana", "Asia/Tehran", "America/New_York"};

void useLocaleAndZone(FuzzedDataProvider &input)
{
    static const char *localeNow = nullptr;
    static const char *zoneNow = nullptr;
    const char *locale = input.PickValueInArray(Locales);
    const char *zone = input.PickValueInArray(Zones);
    if (locale != localeNow)
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
    if (zone != zoneNow) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    localeNow = locale;
    zoneNow = zone;
}

std::string where(const CatalogTree &tree, NodeIndex n, int field)
{
    const CatalogNodeData &d = tree.node(n);
    return "node " + std::to_string(n) + " \"" + Shown(QByteArrayView(tree.fullPathBytes(n))) + "\" (kind "
        + std::to_string(int(d.kind())) + ", text \"" + ShownText(tree.fieldText(n, field)) + "\"), field "
        + std::to_string(field) + ", locale " + QLocale().name().toStdString() + ", TZ " + std::getenv("TZ");
}

bool asciiDigitsOnly(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return !c.isDigit() || c.unicode() < 0x80; });
}

bool isNameField(int field)
{
    return FieldNatureOf(field) == FieldNature::Text || FieldNatureOf(field) == FieldNature::Kind;
}

void checkText(const std::shared_ptr<const CatalogTree> &tree, NodeIndex n, int field)
{
    const CatalogTree &t = *tree;
    const QString text = t.fieldText(n, field);
    std::string utf8;
    t.appendFieldUtf8(n, field, std::nullopt, utf8);
    const QByteArray expected = text.toUtf8();
    FuzzRequire(utf8 == expected.toStdString(), "the UTF-8 form of a field is not its text", [&] {
        return where(t, n, field) + ": text \"" + Shown(QByteArrayView(expected)) + "\", UTF-8 \""
            + Shown(QByteArrayView(utf8)) + "\"";
    });

    const QString cell = CellText(field, t, n);
    FuzzRequire(cell == CellText(field, TCatalogNode(tree, n)), "the cell of a node and of its record differ",
        [&] { return where(t, n, field); });
    if (field == FileBytes)
        FuzzRequire(cell
                == (t.node(n).has(CatalogNodeData::HasSize) ? SizeCellText(double(t.node(n).size))
                                                            : QString()),
            "the File Size cell is not the size's cell text", [&] { return where(t, n, field); });
    if (!isNameField(field))
        FuzzRequire(asciiDigitsOnly(text) && asciiDigitsOnly(cell), "a number or time text has other digits",
            [&] { return where(t, n, field) + ": " + ShownText(cell); });
    const FieldNature nature = FieldNatureOf(field);
    if (nature == FieldNature::Number || nature == FieldNature::Range) {
        const bool digits =
            std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        FuzzRequire(digits || field == SizePercentage, "a number field's text is not a plain decimal",
            [&] { return where(t, n, field) + ": " + ShownText(text); });
    }
    if ((field == FileNameLength || field == PathNameLength) && t.node(n).has(CatalogNodeData::HasDetails)) {
        const QByteArray bytes = field == FileNameLength ? t.nameBytes(n).toByteArray() : t.fullPathBytes(n);
        FuzzRequire(text == QString::number(Utf8Text(bytes).size()), "a length is not that of the text",
            [&] { return where(t, n, field) + ": " + ShownText(text); });
    }
}

void checkTimeKeys(const CatalogTree &tree, int field)
{
    // The keys of a sort (one reader, offsets kept a day) against one key at a time,
    // and both against the text they stand for.
    TimeKeyReader reader;
    const CatalogText::TimeFormat &format = CatalogText::TimeFormat::current();
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n) {
        const TimeKey read = reader(tree, n, field);
        const TimeKey alone = TimeKeyOf(tree, n, field);
        FuzzRequire(read.state == alone.state && read.localSeconds == alone.localSeconds,
            "the time key of a sort differs from the node's own", [&] { return where(tree, n, field); });
        if (alone.state != TimeKey::Value)
            continue;
        const std::optional<QDateTime> back = format.parse(tree.fieldText(n, field));
        FuzzRequire(back.has_value(), "a time text that does not read back has a key",
            [&] { return where(tree, n, field) + ": " + ShownText(tree.fieldText(n, field)); });
        const std::int64_t seconds =
            back->date().toJulianDay() * 86400 + back->time().msecsSinceStartOfDay() / 1000;
        FuzzRequire(seconds == alone.localSeconds, "a time key is not the local time its text shows",
            [&] { return where(tree, n, field) + ": " + ShownText(tree.fieldText(n, field)); });
    }
}

void checkPathLengthKeys(const CatalogTree &tree)
{
    const std::vector<double> keys = NumberKeys(tree, PathNameLength);
    for (NodeIndex n = 0; n < tree.nodeCount(); ++n)
        FuzzRequire(keys[n] == NumberKey(tree, n, PathNameLength),
            "a path length made parent by parent differs from the node's own",
            [&] { return where(tree, n, PathNameLength); });
}

std::vector<NodeIndex> rowsOf(const CatalogTree &tree, const TreeOrder &order, NodeIndex folder)
{
    std::vector<NodeIndex> rows;
    for (std::uint32_t r = 0; r < tree.childCount(folder); ++r)
        rows.push_back(order.childAt(tree, folder, r));
    return rows;
}

// The nodes' texts of `field`, for reports.
std::string texts(const CatalogTree &tree, const std::vector<NodeIndex> &rows, int field)
{
    std::string out;
    for (const NodeIndex n : rows)
        out += "[" + std::to_string(n) + "] \"" + Shown(QByteArrayView(tree.fieldText(n, field).toUtf8()))
            + "\" ";
    return out;
}

int sign(int x)
{
    return x < 0 ? -1 : x > 0 ? 1 : 0;
}

// Where the comparison is a consistent order among these siblings, the sorted ones
// are in it. It is not for the kind marker, for unreadable time texts (they compare
// greater both ways) and for a file against an entry of unknown kind (each comes
// after the other: only folders are put first).
void checkSorted(const CatalogTree &tree, const std::vector<NodeIndex> &rows, int field, Qt::SortOrder order)
{
    const SortKey key = SortKeyOf(field);
    bool files = false, unknown = false, unreadable = false;
    for (const NodeIndex n : rows) {
        files = files || tree.isFile(n);
        unknown = unknown || tree.node(n).kind() == NodeKind::Unknown;
        unreadable =
            unreadable || (key == SortKey::Time && TimeKeyOf(tree, n, field).state == TimeKey::Unreadable);
    }
    if (key == SortKey::Unordered || (files && unknown) || unreadable)
        return;
    // Out of order: the comparison puts the second first both ways round. Equal numbers
    // compare as -1 both ways, which in a descending sort puts each after the other.
    const auto compare = [&](NodeIndex a, NodeIndex b) {
        const int c = CompareTreeNodes(tree, a, b, field, order);
        return order == Qt::AscendingOrder ? c : -c;
    };
    for (std::size_t r = 1; r < rows.size(); ++r)
        FuzzRequire(compare(rows[r - 1], rows[r]) <= 0 || compare(rows[r], rows[r - 1]) >= 0,
            "sorted siblings out of order",
            [&] { return where(tree, rows[r - 1], field) + " before " + where(tree, rows[r], field); });
}

void checkOrder(const std::shared_ptr<const CatalogTree> &tree, int field, Qt::SortOrder order, bool deep)
{
    const CatalogTree &t = *tree;
    const auto plain = [&](NodeIndex a, NodeIndex b) {
        const int r = CompareTreeNodes(t, a, b, field, order);
        return order == Qt::AscendingOrder ? r : -r;
    };
    TreeOrder fast(t);
    fast.sortBy(t, field, order);
    TreeOrder reference(t);
    reference.sort(t, plain);
    const TreeOrder scanOrder(t);
    for (NodeIndex folder = 0; folder < t.nodeCount(); ++folder) {
        const std::vector<NodeIndex> rows = rowsOf(t, fast, folder);
        if (rows.empty())
            continue;
        const auto at = [&] {
            return where(t, folder, field) + (order == Qt::AscendingOrder ? ", ascending" : ", descending");
        };
        FuzzRequire(
            rows == rowsOf(t, reference, folder), "the keyed sort differs from the comparison's", [&] {
                return at() + "\nkeyed: " + texts(t, rows, field)
                    + "\nplain: " + texts(t, rowsOf(t, reference, folder), field);
            });
        std::vector<NodeIndex> sorted = rows;
        std::sort(sorted.begin(), sorted.end());
        FuzzRequire(sorted == rowsOf(t, scanOrder, folder), "a sort is no permutation of the children", at);
        for (std::uint32_t r = 0; r < rows.size(); ++r)
            FuzzRequire(fast.rowOf(rows[r]) == r, "a node's row is not where it stands", at);
        FuzzRequire(std::is_partitioned(rows.begin(), rows.end(), [&](NodeIndex n) { return t.isFolder(n); }),
            "folders are not first", at);
        checkSorted(t, rows, field, order);
        if (!deep)
            continue;

        // The current-folder list sorted by its keys, against MergeSort with CompareNodes,
        // and, but for its own percentages, against the Total Tree.
        const NodeRows listRows = PathListRows(tree, scanOrder, folder);
        const std::vector<TCatalogNode> list = listRows.records();
        NodeRows listed = listRows;
        SortRows(listed, field, order);
        std::vector<int> expected(list.size());
        std::iota(expected.begin(), expected.end(), 0);
        MergeSort(expected, [&](int a, int b) {
            const int r = CompareNodes(list[std::size_t(a)], list[std::size_t(b)], field, order);
            return order == Qt::AscendingOrder ? r : -r;
        });
        std::vector<NodeIndex> expectedNodes;
        for (const int i : expected)
            expectedNodes.push_back(listRows.nodes[std::size_t(i)]);
        FuzzRequire(listed.nodes == expectedNodes, "a list's keyed sort differs from CompareNodes", at);
        if (field != SizePercentage)
            FuzzRequire(listed.nodes == rows, "a list and the Total Tree sort one folder differently", at);
        // The typed comparison against the one through texts, on every pair of siblings.
        for (const NodeIndex a : rows) {
            for (const NodeIndex b : rows) {
                const int typed = CompareTreeNodes(t, a, b, field, order);
                const int texts =
                    CompareNodeTexts(TCatalogNode(tree, a), TCatalogNode(tree, b), field, order);
                FuzzRequire(sign(typed) == sign(texts), "the typed comparison differs from the texts'", [&] {
                    return where(t, a, field) + " against " + where(t, b, field) + ": "
                        + std::to_string(typed) + " and " + std::to_string(texts);
                });
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    useLocaleAndZone(input);
    const int deepField = input.ConsumeIntegralInRange(-1, CatalogFieldCount);
    const std::shared_ptr<const CatalogTree> tree = MakeFuzzedTree(input);

    for (NodeIndex n = 0; n < tree->nodeCount(); ++n) {
        for (int field = -1; field <= CatalogFieldCount; ++field)
            checkText(tree, n, field);
    }
    for (const int field : {CreateTime, AccessTime, WriteTime})
        checkTimeKeys(*tree, field);
    checkPathLengthKeys(*tree);
    for (int field = -1; field <= CatalogFieldCount; ++field) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder})
            checkOrder(tree, field, order, field == deepField);
    }
    return 0;
}
