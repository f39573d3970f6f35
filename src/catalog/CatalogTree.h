#pragma once

#include "ByteArena.h"
#include "ChunkedArray.h"
#include "ScanComparison.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using NodeIndex = std::uint32_t;
inline constexpr NodeIndex NoNode = 0xFFFFFFFFu;

// A folder total that reached this value stopped counting there: no single file can
// be this large (sizes are signed 64-bit on Linux), so the value marks the total as
// saturated rather than wrapped.
inline constexpr std::uint64_t SaturatedSize = ~std::uint64_t(0);

enum class NodeKind : std::uint8_t {
    Unknown = 0, // partly filled: the entry vanished or could not be examined
    Folder = 1,
    File = 2,
};

// What a scan knows of one entry, in typed form: 64 bytes a node. The texts of
// the record are derived from it on demand (CatalogTree::fieldText). Range
// buckets are not stored: they follow from size and time stamps against bounds
// that are the same for every node.
struct CatalogNodeData
{
    enum Flag : std::uint8_t {
        HasSize = 1 << 0, // FileBytes is filled
        HasDetails = 1 << 1, // DOSName, FileExt and the name lengths are filled
        HasCreateTime = 1 << 2, // the file system records a birth time
        HasAccessTime = 1 << 3,
        HasWriteTime = 1 << 4,
        Unreadable = 1 << 5, // a folder not listed (in full): CatalogTree::unreadableError
    };

    NodeIndex parent = NoNode;
    // Children are stored one after the other. A node without children has
    // firstChild NoNode, except a retired one (CatalogTree::isRetired), whose
    // firstChild says where its entry went: its successor, or itself when removed.
    NodeIndex firstChild = NoNode;
    std::uint32_t childCount = 0;
    std::uint32_t subtreeCount = 1; // the node and every node below it, after FillPercentages
    std::uint64_t size = 0;
    // Bytes allocated on disk (512-byte blocks as statx counts them). A folder's own
    // blocks until FinishTree, then those plus everything below it, like `size`.
    std::uint64_t diskSize = 0;
    std::int64_t createTime = 0; // seconds since the epoch, UTC
    std::int64_t accessTime = 0;
    std::int64_t writeTime = 0;

    NodeKind kind() const { return NodeKind(m_state & KindMask); }
    void setKind(NodeKind kind) { m_state = std::uint8_t((m_state & ~KindMask) | std::uint8_t(kind)); }
    bool has(Flag f) const { return (m_state >> FlagShift) & f; }
    void set(Flag f) { m_state |= std::uint8_t(f << FlagShift); }
    void clear(Flag f) { m_state &= std::uint8_t(~(f << FlagShift)); }

    // Where the name stands in the tree's name arena (40 bits: a terabyte of names).
    std::uint64_t nameOffset() const { return std::uint64_t(m_nameOffsetHigh) << 32 | m_nameOffsetLow; }
    void setNameOffset(std::uint64_t offset)
    {
        m_nameOffsetLow = std::uint32_t(offset);
        m_nameOffsetHigh = std::uint8_t(offset >> 32);
    }

private:
    static constexpr std::uint8_t KindMask = 0x03;
    static constexpr unsigned FlagShift = 2;

    std::uint32_t m_nameOffsetLow = 0;
    std::uint8_t m_nameOffsetHigh = 0;
    std::uint8_t m_state = 0; // kind in the low two bits, flags above

public:
    std::uint16_t nameLength = 0;
};
static_assert(sizeof(CatalogNodeData) <= 64, "a node should stay at 64 bytes");

// A file of several hard links as the scan met it: the numbers that tell its links
// apart from other files, and how many links it has (0: not known).
struct HardLink
{
    NodeIndex node;
    std::uint32_t links;
    std::uint64_t device;
    std::uint64_t inode;
};

// The three time stamps of a record, in the order of the age range fields.
enum class TimeKind : std::uint8_t {
    Create = 0,
    Access = 1,
    Write = 2
};

// What classifying a scan decided once for all its files: the bounds of the size
// and age ranges and the moment ages are measured from. The range fields of every
// file follow from these and the file's own size and time stamps, so classifying
// costs nothing per node and the node keeps its 64 bytes.
struct RangeClassification
{
    std::vector<double> sizeBounds; // bytes, in configuration order
    std::vector<double> ageBounds; // days, in configuration order
    std::int64_t moment = 0; // seconds since the epoch; 0: not classified
};

// The bounds of a classification before its moment is known: what a scan is asked
// to classify its files by when it ends.
struct RangeBounds
{
    std::vector<double> sizeBounds; // bytes, in configuration order
    std::vector<double> ageBounds; // days, in configuration order
};

// The tree of one scan. Every scan makes a new tree, so rows that refer to nodes of
// an older one keep reading what they read. Node 0 is the top node; every other
// node is appended after its parent, and the children of a folder occupy
// consecutive indexes, so a node's row among its siblings is `index - firstChild` of
// its parent. Until the first edit every descendant also has a larger index than
// its ancestors (retiredCount() is 0).
//
// Edits (removeEntries, replaceFolder) change the tree in place at a cost that
// grows with the part they change: a folder whose list of children changes gets a
// new consecutive range at the end for the children that stay, new subtrees are
// appended at the end, and the slots left behind are retired, never reused. A
// retired slot keeps its entry's own data as it was (name, path, kind, size, times),
// so a row that still refers to it reads what it read, and successor() tells where
// its entry lives now.
//
// Names are kept as the raw bytes the file system gave (Linux names need not be
// UTF-8); texts decode them for display, paths used for file access keep them.
class CatalogTree
{
public:
    CatalogTree() = default;
    CatalogTree(const CatalogTree &) = delete;
    CatalogTree &operator=(const CatalogTree &) = delete;

    std::size_t nodeCount() const { return m_nodes.size(); }
    bool isEmpty() const { return m_nodes.size() == 0; }
    NodeIndex top() const { return isEmpty() ? NoNode : 0; }

    const CatalogNodeData &node(NodeIndex i) const { return m_nodes[i]; }
    CatalogNodeData &node(NodeIndex i) { return m_nodes[i]; }

    NodeIndex parent(NodeIndex i) const { return m_nodes[i].parent; }
    std::uint32_t childCount(NodeIndex i) const { return m_nodes[i].childCount; }
    NodeIndex child(NodeIndex i, std::uint32_t row) const { return m_nodes[i].firstChild + row; }
    bool isFolder(NodeIndex i) const { return m_nodes[i].kind() == NodeKind::Folder; }
    bool isFile(NodeIndex i) const { return m_nodes[i].kind() == NodeKind::File; }
    bool isSizeSaturated(NodeIndex i) const { return m_nodes[i].size == SaturatedSize; }

    // Folders that could not be read, with the system's reason (an errno value), by
    // node index; unreadableError is 0 for every other node. unreadableFolders lists
    // the folders of the tree as it stands, without retired slots.
    void markUnreadable(NodeIndex i, int error);
    int unreadableError(NodeIndex i) const;
    const std::vector<std::pair<NodeIndex, int>> &unreadableFolders() const { return m_unreadable; }

    // The node's name; for the top node, the scanned path exactly as passed.
    QByteArrayView nameBytes(NodeIndex i) const;
    QByteArray fullPathBytes(NodeIndex i) const;
    // Display forms: bytes that are not UTF-8 become replacement characters.
    QString name(NodeIndex i) const;
    QString fullPath(NodeIndex i) const;

    // Building. The top node is a folder named by the path, added once to a new
    // tree; children of one parent must be appended one after the other, with no
    // other node between.
    NodeIndex addTop(const QByteArray &path);
    NodeIndex appendChild(NodeIndex parent, const char *name, std::size_t length);
    // Takes the nodes at `leaves` (in increasing order, none the top, none with
    // children) out of the tree; the others keep their order and move down, so all
    // said above still holds. For a tree being built: sizes and counts are for
    // FinishTree to set. Returns the index `follow` has afterwards.
    NodeIndex removeLeaves(const std::vector<NodeIndex> &leaves, NodeIndex follow = NoNode);

    // Edits of a finished tree (FinishTree), on the thread that owns it. Every
    // figure of every remaining entry then reads what a new scan of the same folder
    // would give (sizes and counts rolled up, the percentage total), but for what the
    // file system changed besides (a folder's times) and for hard links counted once
    // (see docs/ARCHITECTURE.md). Each edit checks and allocates what it needs first:
    // it throws std::bad_alloc or std::length_error with the tree unchanged, or
    // completes.

    // Takes `nodes` and everything below them out of the tree. The top node, retired
    // slots and nodes below another of `nodes` are passed over. Returns the folders
    // whose list of children changed.
    std::vector<NodeIndex> removeEntries(const std::vector<NodeIndex> &nodes);
    // Replaces what the tree knows of `folder` by `fresh`, a finished tree whose
    // top is a new scan of the folder's path: the folder's size, its unreadable mark
    // and reason (and its times, where fresh's top has them) and its whole subtree.
    // The folder keeps its index and name. Returns the folders whose list of
    // children changed: `folder` and every folder of the new subtree.
    std::vector<NodeIndex> replaceFolder(NodeIndex folder, const CatalogTree &fresh);
    // Whether an edit left slot `i` behind.
    bool isRetired(NodeIndex i) const
    {
        const CatalogNodeData &n = m_nodes[i];
        return n.childCount == 0 && n.firstChild != NoNode;
    }
    // Where the entry that slot `old` held lives now: `old` itself when no edit moved
    // it, its new slot, the entry of the same name in a replaced folder, or NoNode
    // when it was removed (or `old` is no slot of this tree).
    NodeIndex successor(NodeIndex old) const;
    std::size_t retiredCount() const { return m_retiredCount; }

    // Set by FillPercentages: the reference total of SizePercentage and the
    // presence of SizePercentage and FileCount.
    void setPercentageTotal(double total);
    bool hasPercentages() const { return m_percentageTotal.has_value(); }
    double percentageTotal() const { return m_percentageTotal.value_or(0.0); }

    // Range classification (see RangeClassification). A bucket is -1, an empty
    // range field, for anything but a file, before classification and without
    // bounds. A file without a size is in the bucket of 0 bytes; one without a
    // time stamp of that kind (no birth time on many file systems) in bucket 0.
    void setClassification(RangeClassification classification);
    const RangeClassification &classification() const { return m_classification; }
    bool isClassified() const { return m_classification.moment != 0; }
    int sizeBucket(NodeIndex i) const;
    int ageBucket(NodeIndex i, TimeKind kind) const;

    // The bucket of `value`: the first bound, in list order, greater than it, else
    // bounds.size() (the bucket above all bounds); a value equal to a bound goes up.
    // -1 without bounds.
    static int bucketOf(double value, const std::vector<double> &bounds)
    {
        if (bounds.empty())
            return -1;
        for (std::size_t i = 0; i < bounds.size(); ++i) {
            if (bounds[i] > value)
                return int(i);
        }
        return int(bounds.size());
    }
    // Days, with fraction, from `stamp` to `moment` (both seconds since the epoch);
    // negative for a stamp after the moment.
    static double ageInDays(std::int64_t moment, std::int64_t stamp)
    {
        return (double(moment) - double(stamp)) / 86400.0;
    }

    // The text of one field of a node's record, in the forms every view, sort and
    // export shares. `listTotal`, when given, replaces the scan total as the
    // reference of SizePercentage (rows of a flat list).
    QString fieldText(NodeIndex i, int field, std::optional<double> listTotal = std::nullopt) const;
    // fieldText in UTF-8, appended to `out`, without the round trip through UTF-16 for
    // names, paths, sizes and time stamps: what exports of millions of rows write.
    void appendFieldUtf8(NodeIndex i, int field, std::optional<double> listTotal, std::string &out) const;

    // Files of several hard links (folders have none), by the slot their entry had
    // when the scan or the scan file gave it (successor() says where each lives after
    // an edit), in no particular order: a scan file records them, so that the tools
    // that read it can count each file once. Kept beside the nodes, 24 bytes a link.
    void addHardLink(const HardLink &link) { m_hardLinks.push_back(link); }
    const std::vector<HardLink> &hardLinks() const { return m_hardLinks; }

    // The comparison with an earlier scan this tree was made by (ScanComparison), or
    // null for a tree of one scan.
    void setComparison(std::shared_ptr<const ScanComparison> comparison)
    {
        m_comparison = std::move(comparison);
    }
    const ScanComparison *comparison() const { return m_comparison.get(); }

    // Heap bytes held by nodes and names (for memory figures).
    std::size_t memoryBytes() const { return m_nodes.memoryBytes() + m_names.memoryBytes(); }

private:
    ChunkedArray<CatalogNodeData, 16> m_nodes;
    ByteArena m_names;
    QByteArray m_topPath;
    std::optional<double> m_percentageTotal;
    std::vector<std::pair<NodeIndex, int>> m_unreadable; // sorted by node
    std::vector<std::pair<NodeIndex, int>> m_retiredUnreadable; // sorted by node
    std::size_t m_retiredCount = 0;
    RangeClassification m_classification;
    std::shared_ptr<const ScanComparison> m_comparison;
    std::vector<HardLink> m_hardLinks;

    // What edits share (CatalogTreeEdits.cpp).
    void retire(NodeIndex slot, NodeIndex successor);
    void moveUnreadable(NodeIndex from, NodeIndex to);
    void reserveUnreadable(std::size_t more);
    struct Totals
    {
        std::uint64_t size;
        std::uint64_t diskSize;
    };
    void resizeAncestors(NodeIndex changed, Totals old, std::int64_t countChange);
};
