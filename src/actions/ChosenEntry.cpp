#include "ChosenEntry.h"

#include "FolderDescriptors.h"
#include "SafeFile.h"

#include <cerrno>
#include <sys/sysmacros.h>
#include <utility>
#include <vector>

#ifndef STATX_ATTR_MOUNT_ROOT
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

ChosenEntry::ChosenEntry(const CatalogTree &tree, NodeIndex node)
{
    if (node >= tree.nodeCount() || tree.isRetired(node)) {
        refuse(QStringLiteral("it is no longer in the scan"));
        return;
    }
    m_path = tree.fullPathBytes(node);
    if (node == tree.top()) {
        refuse(QStringLiteral("the scanned folder itself is never removed"));
        return;
    }
    m_name = tree.nameBytes(node).toByteArray();
    check(tree, node);
    if (!usable())
        m_folder.reset();
}

dev_t ChosenEntry::device() const
{
    return makedev(m_status.stx_dev_major, m_status.stx_dev_minor);
}

void ChosenEntry::refuse(const QString &reason, int error)
{
    m_reason = reason;
    m_error = error;
}

void ChosenEntry::check(const CatalogTree &tree, NodeIndex node)
{
    const auto missing = [this](int error) {
        // Gone, or something other than the folder the scan walked stands in its
        // place (ELOOP: a link, ENOTDIR: a file): the entry is not where it was.
        if (error == ENOENT || error == ELOOP || error == ENOTDIR)
            refuse(QStringLiteral("it no longer exists"));
        else
            refuse(SafeFile::reason(error), error);
    };
    if (tree.node(node).kind() == NodeKind::Unknown) {
        refuse(QStringLiteral("the scan could not tell what it is (read its folder again)"));
        return;
    }

    std::vector<NodeIndex> chain;
    for (NodeIndex n = tree.parent(node); n != tree.top(); n = tree.parent(n))
        chain.push_back(n);
    // The top as the scan opened it (through links), every folder below it not.
    m_folder.reset(::open(
        tree.nameBytes(tree.top()).toByteArray().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
    int error = errno;
    for (auto it = chain.rbegin(); m_folder.isOpen() && it != chain.rend(); ++it) {
        Descriptor next(openFolderAt(m_folder.get(), tree.nameBytes(*it).toByteArray().constData()));
        error = errno;
        m_folder = std::move(next);
    }
    if (!m_folder.isOpen()) {
        missing(error);
        return;
    }

    if (::statx(m_folder.get(), m_name.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
            STATX_TYPE | STATX_INO, &m_status)
        != 0) {
        missing(errno);
        return;
    }
    if (tree.isFolder(node) && !isFolder()) {
        refuse(QStringLiteral("it is no longer a folder"));
        return;
    }
    if (!tree.isFolder(node) && isFolder()) {
        refuse(QStringLiteral("it is a folder now"));
        return;
    }
    struct stat folder;
    if (::fstat(m_folder.get(), &folder) != 0) {
        missing(errno);
        return;
    }
    const bool mountRoot = (m_status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
        && (m_status.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    if (isFolder() && (mountRoot || device() != folder.st_dev))
        refuse(QStringLiteral("another file system is mounted there"));
}
