#pragma once

#include "CatalogTree.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

class FolderReader;
class ScanContext;

// Walks the subtree of one folder depth-first on one thread, without recursion, so
// depth costs heap, not stack, and paths far beyond PATH_MAX are walked in full. The
// open descriptors are the root's and those of a window of the deepest frames:
// going down, the shallowest of the window is closed when the budget is spent;
// coming back up, a closed parent is reopened as ".." of its child. Each step costs
// the same at any depth, so a walk is linear in the entries of the subtree.
//
// The whole scan on one thread, and below some depth the parallel scan's threads,
// walk this way; other threads may append to the tree meanwhile, so every look at
// the tree is made under the context's lock.
class FolderWalk
{
public:
    // `budget`: descriptors the walk may hold at once, its root's included.
    // `reading` follows the folder being opened or read: where the walk stopped if
    // it stops short (also by an exception).
    FolderWalk(ScanContext &context, FolderReader &reader, std::size_t budget, NodeIndex &reading);
    ~FolderWalk();
    FolderWalk(const FolderWalk &) = delete;
    FolderWalk &operator=(const FolderWalk &) = delete;

    // Reads everything below `root`, open at `rootFd`, which the walk takes over.
    // Stops (recorded in the context) on cancel, or when no descriptor can be had;
    // throws std::bad_alloc and std::length_error from a full tree.
    void run(NodeIndex root, int rootFd);

private:
    // One folder on the path from the root to the folder being read.
    struct Frame
    {
        NodeIndex folder;
        NodeIndex nextChild = 0; // the next child to consider for descending
        NodeIndex endChild = 0;
        int fd = -1; // -1 while closed to stay within the descriptor budget
        // Which folder this is, taken when its descriptor is closed, so that reopening
        // it through ".." from a child can be checked.
        dev_t device = 0;
        ino_t inode = 0;
    };

    void enter(NodeIndex folder, int fd);
    void leave();
    void trim();
    void closeFrame(std::size_t k);
    void copyName(NodeIndex node);
    int openChild(int parentFd);
    bool isFrame(int fd, const Frame &f) const;
    bool reopen(std::size_t k, int childFd);

    ScanContext &m_context;
    FolderReader &m_reader;
    std::vector<Frame> m_stack;
    std::string m_name; // of the folder being opened
    std::size_t m_budget;
    std::size_t m_open = 0; // descriptors of frames that are open
    std::size_t m_lowestOpen = 1; // frames [m_lowestOpen, top of stack] are open, and frame 0
    NodeIndex &m_reading;
};
