#include "FolderDescriptors.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

} // namespace

int openFolderAt(int dirFd, const char *name)
{
    return ::openat(dirFd, name, FolderFlags);
}

int openFolderBelow(int topFd, const char *relativePath)
{
    // Kernels before 5.6 have no openat2, and some sandboxes refuse it; there the
    // last step alone is kept from following a link.
    static std::atomic<bool> noOpenat2 {false};
    if (!noOpenat2.load(std::memory_order_relaxed)) {
        struct open_how how
        { };
        how.flags = FolderFlags;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const long fd = ::syscall(SYS_openat2, topFd, relativePath, &how, sizeof how);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
            return int(fd);
        if (errno == ENOSYS)
            noOpenat2.store(true, std::memory_order_relaxed);
    }
    return openFolderAt(topFd, relativePath);
}

std::size_t freeDescriptors()
{
    struct rlimit limit
    { };
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 2 * MaxDescriptorBudget;
    std::size_t open = 0;
    const int listing = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing >= 0) {
        alignas(LinuxDirent64) char buffer[4096];
        long got;
        while ((got = ::syscall(SYS_getdents64, listing, buffer, sizeof buffer)) > 0) {
            for (long pos = 0; pos < got;) {
                const auto *d = reinterpret_cast<const LinuxDirent64 *>(buffer + pos);
                pos += d->d_reclen;
                // The limit bounds descriptor numbers: those above it take no room.
                open += !isDotOrDotDot(d->d_name) && std::strtoull(d->d_name, nullptr, 10) < limit.rlim_cur;
            }
        }
        ::close(listing);
        open -= std::min<std::size_t>(open, 1); // the listing's own descriptor
    } else {
        const int probe = int(std::min<rlim_t>(limit.rlim_cur, 4096));
        for (int fd = 0; fd < probe; ++fd)
            open += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
    }
    return limit.rlim_cur > open ? std::size_t(limit.rlim_cur - open) : 0;
}
