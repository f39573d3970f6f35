#include "ScanCounts.h"

ScanCounts CountScan(const CatalogTree &tree)
{
    ScanCounts c;
    for (NodeIndex n = 1; n < tree.nodeCount(); ++n) {
        if (tree.isRetired(n))
            continue;
        ++c.entries;
        if (tree.isFile(n))
            ++c.files;
        else if (tree.isFolder(n))
            ++c.folders;
        else
            ++c.unknownKind;
    }
    c.unreadableFolders = tree.unreadableFolders().size();
    if (c.unreadableFolders > 0 && tree.unreadableError(tree.top()) != 0)
        --c.unreadableFolders;
    return c;
}
