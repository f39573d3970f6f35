#include "CatalogTree.h"

#include "CatalogFields.h"
#include "CatalogText.h"
#include "ExtensionOf.h"

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
    return QString::fromUtf8(nameBytes(i));
}

QString CatalogTree::fullPath(NodeIndex i) const
{
    return QString::fromUtf8(fullPathBytes(i));
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
    const auto at = std::lower_bound(m_unreadable.begin(), m_unreadable.end(), std::pair(i, 0));
    return at != m_unreadable.end() && at->first == i ? at->second : 0;
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

void CatalogTree::appendFieldUtf8(NodeIndex i, int field, std::optional<double> listTotal,
                                  std::string &out) const
{
    const CatalogNodeData &n = m_nodes[i];
    using F = CatalogNodeData;
    // Names are bytes as the file system gave them; those that are valid UTF-8 are
    // already their text, the others take the replacement characters of fieldText.
    const auto appendName = [&out](QByteArrayView bytes) {
        if (QtPrivate::isValidUtf8(bytes)) {
            out.append(bytes.data(), std::size_t(bytes.size()));
        } else {
            const QByteArray text = QString::fromUtf8(bytes).toUtf8();
            out.append(text.constData(), std::size_t(text.size()));
        }
    };
    const auto appendTime = [&](F::Flag flag, std::int64_t secs) {
        if (n.has(flag))
            CatalogText::TimeFormat::current().appendUtf8(secs, out);
    };
    const auto appendNumber = [&out](std::uint64_t value) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        out.append(digits, std::size_t(end - digits));
    };
    const auto appendBucket = [&](int bucket) {
        if (bucket >= 0)
            appendNumber(std::uint64_t(bucket));
    };
    // The length a name has as text (UTF-16 units, as QString counts them), for the
    // names that are valid UTF-8; false for the others.
    const auto appendTextLength = [&](QByteArrayView bytes) {
        if (!QtPrivate::isValidUtf8(bytes))
            return false;
        std::uint64_t units = 0;
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            units += (b & 0xC0) != 0x80;
            units += b >= 0xF0; // four bytes: a surrogate pair
        }
        appendNumber(units);
        return true;
    };
    switch (field) {
    case FileName:
        appendName(nameBytes(i));
        return;
    case DOSName:
        if (n.has(F::HasDetails))
            appendName(nameBytes(i));
        return;
    case FullPath:
        appendName(i == 0 ? nameBytes(i) : QByteArrayView(fullPathBytes(i)));
        return;
    case FileBytes:
        if (n.has(F::HasSize))
            appendNumber(n.size);
        return;
    case FileExt:
        if (n.kind() == NodeKind::File && n.has(F::HasDetails))
            appendName(ExtensionOf(nameBytes(i)));
        return;
    case FileType:
        if (n.kind() == NodeKind::Folder)
            out.append("folder");
        else if (n.kind() == NodeKind::File)
            out.append("file");
        return;
    case FileNameLength:
        if (n.has(F::HasDetails) && !appendTextLength(nameBytes(i)))
            break;
        return;
    case PathNameLength:
        if (n.has(F::HasDetails) && !appendTextLength(fullPathBytes(i)))
            break;
        return;
    case FileCount:
        if (m_percentageTotal)
            appendNumber(n.kind() == NodeKind::Folder ? n.subtreeCount - 1 : n.subtreeCount);
        return;
    case CreateAgeRange:
        appendBucket(ageBucket(i, TimeKind::Create));
        return;
    case AccessAgeRange:
        appendBucket(ageBucket(i, TimeKind::Access));
        return;
    case WriteAgeRange:
        appendBucket(ageBucket(i, TimeKind::Write));
        return;
    case SizeRange:
        appendBucket(sizeBucket(i));
        return;
    case CreateTime:
        appendTime(F::HasCreateTime, n.createTime);
        return;
    case AccessTime:
        appendTime(F::HasAccessTime, n.accessTime);
        return;
    case WriteTime:
        appendTime(F::HasWriteTime, n.writeTime);
        return;
    default:
        break;
    }
    const QByteArray text = fieldText(i, field, listTotal).toUtf8();
    out.append(text.constData(), std::size_t(text.size()));
}

QString CatalogTree::fieldText(NodeIndex i, int field, std::optional<double> listTotal) const
{
    const CatalogNodeData &n = m_nodes[i];
    using F = CatalogNodeData;
    const auto bucketText = [](int bucket) {
        return bucket < 0 ? QString() : QString::number(bucket);
    };
    const auto timeText = [&](F::Flag flag, std::int64_t secs) {
        return n.has(flag) ? CatalogText::TimeFormat::current().format(secs) : QString();
    };

    switch (field) {
    case FileName:
        return name(i);
    case FullPath:
        return i == 0 ? name(i) : fullPath(i);
    case FileBytes:
        return n.has(F::HasSize) ? CatalogText::sizeText(n.size) : QString();
    case FileExt:
        if (n.kind() != NodeKind::File || !n.has(F::HasDetails))
            return QString();
        return QString::fromUtf8(ExtensionOf(nameBytes(i)));
    case FileType:
        switch (n.kind()) {
        case NodeKind::Folder:
            return KindFolder.toString();
        case NodeKind::File:
            return KindFile.toString();
        case NodeKind::Unknown:
            return QString();
        }
        return QString();
    case FileNameLength:
        return n.has(F::HasDetails) ? CatalogText::countText(std::uint64_t(name(i).size()))
                                    : QString();
    case PathNameLength:
        return n.has(F::HasDetails)
            ? CatalogText::countText(std::uint64_t(fullPath(i).size()))
            : QString();
    case SizePercentage: {
        if (!n.has(F::HasSize))
            return QString();
        if (listTotal)
            return CatalogText::percentageText(double(n.size), *listTotal);
        if (!m_percentageTotal)
            return QString();
        return CatalogText::percentageText(double(n.size), *m_percentageTotal);
    }
    case CreateTime:
        return timeText(F::HasCreateTime, n.createTime);
    case AccessTime:
        return timeText(F::HasAccessTime, n.accessTime);
    case WriteTime:
        return timeText(F::HasWriteTime, n.writeTime);
    case DOSName:
        return n.has(F::HasDetails) ? name(i) : QString();
    case FileCount:
        if (!m_percentageTotal)
            return QString();
        return CatalogText::countText(n.kind() == NodeKind::Folder ? n.subtreeCount - 1
                                                                 : n.subtreeCount);
    case CreateAgeRange:
        return bucketText(ageBucket(i, TimeKind::Create));
    case AccessAgeRange:
        return bucketText(ageBucket(i, TimeKind::Access));
    case WriteAgeRange:
        return bucketText(ageBucket(i, TimeKind::Write));
    case SizeRange:
        return bucketText(sizeBucket(i));
    case Description:
    case CatalogName:
    default:
        return QString();
    }
}
