#pragma once

#include "CatalogTree.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ScanContext;

// Reads folders for one thread of a scan. A folder is first listed in full into the
// reader's own buffers (its names and listing types, about the bytes the tree will
// keep of them), then appended to the tree at once as one block of consecutive
// children, so threads reading other folders at the same time never land between
// them; then its entries are examined in batches of FillBatch, without the tree's
// lock, and what statx says is written in. The lock is taken twice for almost every
// folder. Listing buffers past the first are given back to the system as their
// names move into the tree, so even a folder of millions of entries costs little
// more than the nodes it becomes.
class FolderReader
{
public:
    // Called with the tree's lock held, for every child of kind folder as it is filled in.
    using FolderHook = std::function<void(NodeIndex child)>;
    // Called with the tree's lock held, for each range of a huge folder's children
    // that the reader leaves to other threads to examine (see examine()).
    using ShareHook = std::function<void(NodeIndex first, std::uint32_t count)>;

    struct Children
    {
        NodeIndex first = NoNode;
        std::uint32_t count = 0;
    };

    // Takes its buffers at once; throws std::bad_alloc when they cannot be had for
    // lack of memory, std::system_error when the system refuses them otherwise.
    explicit FolderReader(ScanContext &context);
    ~FolderReader();
    FolderReader(const FolderReader &) = delete;
    FolderReader &operator=(const FolderReader &) = delete;

    // Appends one child of `folder` for every entry of the folder open at `fd`, each
    // filled from statx, or from the listing where it cannot be examined. A listing
    // that fails part way marks the folder unreadable and keeps what was listed. A
    // scan that stops before the listing is complete appends nothing of it; one
    // that stops later appends the rest from the listing alone. Throws
    // std::bad_alloc and std::length_error from a full tree. With `onShare`, a folder
    // of tens of thousands of entries is examined in part only: the rest goes to
    // onShare in ranges, each to be examined by examine(), and stays as the listing
    // told until then.
    Children read(
        NodeIndex folder, int fd, const FolderHook *onFolder = nullptr, const ShareHook *onShare = nullptr);
    // Examines `count` children from `first` on of the folder open at `fd`, which
    // read() appended, and writes in what statx says.
    void examine(int fd, NodeIndex first, std::size_t count, const FolderHook *onFolder = nullptr);

private:
    struct Entry
    {
        unsigned char type;
        const char *name; // NUL-terminated
        std::size_t length;
    };
    struct Cursor
    {
        std::size_t block = 0;
        std::size_t offset = 0;
    };

    bool list(NodeIndex folder, int fd);
    void store(unsigned char type, const char *name, std::size_t length);
    Entry next(Cursor &at) const;
    NodeIndex appendListed(NodeIndex folder);
    void examineTaken(int fd, NodeIndex first, std::size_t count, const FolderHook *onFolder);
    void takeBatch(NodeIndex first, std::size_t count);
    char *block(std::size_t i);
    void releaseBlocks(std::size_t before);

    ScanContext &m_context;
    std::unique_ptr<char[]> m_dirents;
    // The batch being examined: what each entry becomes, and its name.
    std::unique_ptr<CatalogNodeData[]> m_filled;
    std::unique_ptr<std::size_t[]> m_nameAt;
    struct Link
    {
        std::uint64_t device = 0;
        std::uint64_t inode = 0; // 0: not a file of several links
        std::uint32_t links = 0;
    };
    std::unique_ptr<Link[]> m_links;
    std::vector<std::uint32_t> m_vanished; // entries of the batch gone since the listing
    std::string m_names;
    std::vector<char *> m_blocks; // mapped pages; null where given back
    Cursor m_end; // where the next listed entry goes
    std::size_t m_listed = 0;
};
