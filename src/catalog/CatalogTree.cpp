#include "CatalogTree.h"

#include "CatalogFields.h"
#include "CatalogText.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

QByteArrayView CatalogTree::nameBytes(NodeIndex i) const
{
    if (i == 0)
        return m_topPath;
    const CatalogNodeData &n = m_nodes[i];
    return QByteArrayView(m_names.data(n.nameOffset()), n.nameLength);
}

QByteArray CatalogTree::fullPathBytes(NodeIndex i) const
{
    // Two walks up the parent chain, the first to measure, the second to fill the
    // path from its end: one allocation, whatever the depth. A separator is added
    // only where the part before it does not already end with one (a top of "/").
    std::size_t length = nameBytes(i).size();
    for (NodeIndex n = i; m_nodes[n].parent != NoNode; n = m_nodes[n].parent) {
        const QByteArrayView parent = nameBytes(m_nodes[n].parent);
        length += parent.size() + (parent.isEmpty() || parent.endsWith('/') ? 0 : 1);
    }
    QByteArray path(qsizetype(length), Qt::Uninitialized);
    char *end = path.data() + length;
    for (NodeIndex n = i;; n = m_nodes[n].parent) {
        const QByteArrayView name = nameBytes(n);
        end -= name.size();
        std::memcpy(end, name.data(), std::size_t(name.size()));
        if (m_nodes[n].parent == NoNode)
            break;
        const QByteArrayView parent = nameBytes(m_nodes[n].parent);
        if (!parent.isEmpty() && !parent.endsWith('/'))
            *--end = '/';
    }
    return path;
}

QString CatalogTree::name(NodeIndex i) const
{
    return CatalogText::nameText(nameBytes(i));
}

QString CatalogTree::fullPath(NodeIndex i) const
{
    return CatalogText::nameText(fullPathBytes(i));
}

NodeIndex CatalogTree::addTop(const QByteArray &path)
{
    if (!isEmpty())
        throw std::logic_error("a catalog tree holds one scan: make a new tree for the next");
    m_topPath = path;
    CatalogNodeData &top = m_nodes.emplaceBack();
    top.setKind(NodeKind::Folder);
    return 0;
}

NodeIndex CatalogTree::appendChild(NodeIndex parent, const char *name, std::size_t length)
{
    if (m_nodes.size() >= NoNode)
        throw std::length_error("catalog tree is full");
    if (length > 0xFFFF)
        throw std::length_error("file name too long");
    const auto index = NodeIndex(m_nodes.size());
    CatalogNodeData &p = m_nodes[parent];
    if (p.childCount != 0 && p.firstChild + p.childCount != index)
        throw std::logic_error("children of one folder must be appended together");
    if (isRetired(parent))
        throw std::logic_error("a retired slot takes no children");
    const std::uint64_t offset = m_names.append(name, length);
    if (offset >> 40)
        throw std::length_error("catalog names are full");

    // The parent counts the child only once it exists (chunks never move, so
    // `p` stays valid while the node array grows).
    CatalogNodeData &n = m_nodes.emplaceBack();
    n.parent = parent;
    n.setNameOffset(offset);
    n.nameLength = std::uint16_t(length);
    if (p.childCount == 0)
        p.firstChild = index;
    ++p.childCount;
    return index;
}

NodeIndex CatalogTree::removeLeaves(const std::vector<NodeIndex> &leaves, NodeIndex follow)
{
    for (std::size_t k = 0; k < leaves.size(); ++k) {
        const NodeIndex leaf = leaves[k];
        if (leaf == 0 || leaf >= m_nodes.size() || m_nodes[leaf].childCount != 0
            || (k > 0 && leaf <= leaves[k - 1]))
            throw std::logic_error("only nodes without children, each once and in order, can be removed");
    }
    if (leaves.empty())
        return follow;
    // How many of the nodes removed stand before `i`: what a node after them moves down by.
    const auto before = [&leaves](NodeIndex i) {
        return NodeIndex(std::lower_bound(leaves.begin(), leaves.end(), i) - leaves.begin());
    };
    NodeIndex parent = NoNode;
    NodeIndex movedParent = NoNode;
    std::size_t removed = 0;
    for (NodeIndex i = 0; i < m_nodes.size(); ++i) {
        if (removed < leaves.size() && leaves[removed] == i) {
            ++removed;
            continue;
        }
        CatalogNodeData d = m_nodes[i];
        if (d.parent != NoNode) {
            // Siblings follow one another: one look-up for all of them.
            if (d.parent != parent) {
                parent = d.parent;
                movedParent = parent - before(parent);
            }
            d.parent = movedParent;
        }
        if (d.childCount > 0) {
            const NodeIndex firstGone = before(d.firstChild);
            d.childCount -= before(d.firstChild + d.childCount) - firstGone;
            d.firstChild = d.childCount == 0 ? NoNode : d.firstChild - firstGone;
        }
        m_nodes[i - removed] = d;
    }
    m_nodes.shrink(m_nodes.size() - leaves.size());
    for (auto &entry : m_unreadable)
        entry.first -= before(entry.first);
    for (HardLink &link : m_hardLinks)
        link.node -= before(link.node);
    return follow == NoNode ? NoNode : follow - before(follow);
}

void CatalogTree::markUnreadable(NodeIndex i, int error)
{
    CatalogNodeData &n = m_nodes[i];
    if (n.has(CatalogNodeData::Unreadable))
        return;
    n.set(CatalogNodeData::Unreadable);
    const auto at = std::lower_bound(m_unreadable.begin(), m_unreadable.end(), std::pair(i, 0));
    m_unreadable.emplace(at, i, error);
}

int CatalogTree::unreadableError(NodeIndex i) const
{
    if (!m_nodes[i].has(CatalogNodeData::Unreadable))
        return 0;
    const auto &list = isRetired(i) ? m_retiredUnreadable : m_unreadable;
    const auto at = std::lower_bound(list.begin(), list.end(), std::pair(i, 0));
    return at != list.end() && at->first == i ? at->second : 0;
}

void CatalogTree::setPercentageTotal(double total)
{
    m_percentageTotal = total;
}

void CatalogTree::setClassification(RangeClassification classification)
{
    m_classification = std::move(classification);
}

int CatalogTree::sizeBucket(NodeIndex i) const
{
    const CatalogNodeData &n = m_nodes[i];
    if (n.kind() != NodeKind::File || !isClassified())
        return -1;
    return bucketOf(n.has(CatalogNodeData::HasSize) ? double(n.size) : 0.0, m_classification.sizeBounds);
}

int CatalogTree::ageBucket(NodeIndex i, TimeKind kind) const
{
    const CatalogNodeData &n = m_nodes[i];
    if (n.kind() != NodeKind::File || !isClassified() || m_classification.ageBounds.empty())
        return -1;
    std::int64_t stamp = 0;
    bool known = false;
    switch (kind) {
    case TimeKind::Create:
        known = n.has(CatalogNodeData::HasCreateTime);
        stamp = n.createTime;
        break;
    case TimeKind::Access:
        known = n.has(CatalogNodeData::HasAccessTime);
        stamp = n.accessTime;
        break;
    case TimeKind::Write:
        known = n.has(CatalogNodeData::HasWriteTime);
        stamp = n.writeTime;
        break;
    }
    // Without a stamp there is no age to measure; bucket 0 keeps the field, the
    // counts and the slice lists in step instead of leaving the file out.
    if (!known)
        return 0;
    return bucketOf(ageInDays(m_classification.moment, stamp), m_classification.ageBounds);
}

void CatalogTree::appendFieldUtf8(
    NodeIndex i, int field, std::optional<double> listTotal, std::string &out) const
{
    // Names are bytes as the file system gave them; those that are valid UTF-8 are
    // already their text, the others take the replacement characters of fieldText.
    const auto appendName = [&out](QByteArrayView bytes) {
        if (bytes.isValidUtf8()) {
            out.append(bytes.data(), std::size_t(bytes.size()));
        } else {
            const QByteArray text = CatalogText::nameText(bytes).toUtf8();
            out.append(text.constData(), std::size_t(text.size()));
        }
    };
    if (field == FullPath) {
        appendName(i == 0 ? nameBytes(i) : QByteArrayView(fullPathBytes(i)));
        return;
    }
    if (field < 0 || field >= CatalogFieldCount || field == SizePercentage) {
        const QByteArray text = fieldText(i, field, listTotal).toUtf8();
        out.append(text.constData(), std::size_t(text.size()));
        return;
    }
    const FieldDefinition &definition = CatalogFieldTable[std::size_t(field)];
    switch (definition.nature) {
    case FieldNature::Number:
    case FieldNature::Range:
        if (definition.signedNumber) {
            if (const std::optional<std::int64_t> value = definition.signedNumber(*this, i)) {
                char digits[24];
                const auto end = std::to_chars(digits, digits + sizeof digits, *value).ptr;
                out.append(digits, std::size_t(end - digits));
            }
        } else if (const std::optional<std::uint64_t> value = definition.number(*this, i)) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, *value).ptr;
            out.append(digits, std::size_t(end - digits));
        }
        return;
    case FieldNature::Time:
        if (const std::optional<std::int64_t> stamp = TimeOf(definition, *this, i))
            CatalogText::TimeFormat::current().appendUtf8(*stamp, out);
        return;
    case FieldNature::Kind:
    case FieldNature::Text:
        appendName(definition.bytes(*this, i));
        return;
    }
}

QString CatalogTree::fieldText(NodeIndex i, int field, std::optional<double> listTotal) const
{
    if (field == FullPath)
        return i == 0 ? name(i) : fullPath(i);
    if (field == SizePercentage) {
        const CatalogNodeData &n = m_nodes[i];
        if (!n.has(CatalogNodeData::HasSize))
            return QString();
        if (listTotal)
            return CatalogText::percentageText(double(n.size), *listTotal);
        if (!m_percentageTotal)
            return QString();
        return CatalogText::percentageText(double(n.size), *m_percentageTotal);
    }
    if (field < 0 || field >= CatalogFieldCount)
        return QString();
    const FieldDefinition &definition = CatalogFieldTable[std::size_t(field)];
    switch (definition.nature) {
    case FieldNature::Number:
    case FieldNature::Range: {
        if (definition.signedNumber) {
            const std::optional<std::int64_t> value = definition.signedNumber(*this, i);
            return value ? QString::number(*value) : QString();
        }
        const std::optional<std::uint64_t> value = definition.number(*this, i);
        return value ? CatalogText::countText(*value) : QString();
    }
    case FieldNature::Time: {
        const std::optional<std::int64_t> stamp = TimeOf(definition, *this, i);
        return stamp ? CatalogText::TimeFormat::current().format(*stamp) : QString();
    }
    case FieldNature::Kind:
    case FieldNature::Text: {
        const QByteArrayView bytes = definition.bytes(*this, i);
        return bytes.isEmpty() ? QString() : CatalogText::nameText(bytes);
    }
    }
    return QString();
}
