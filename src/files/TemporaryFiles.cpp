#include "TemporaryFiles.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace TemporaryFiles {

namespace {

// A few exports and saves at once at most; a file without a slot is still removed by
// its writer, only not by a signal.
constexpr int SlotCount = 16;

enum State : int {
    Free,
    Filling,
    Ready,
};

struct Slot
{
    std::atomic<int> state {Free};
    bool folder = false;
    char path[PATH_MAX];
};

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the states");

Slot registered[SlotCount];

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t signalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : Signals)
        sigaddset(&set, signal);
    return set;
}

extern "C" void removeAndRaise(int signal)
{
    for (Slot &slot : registered) {
        if (slot.state.load(std::memory_order_acquire) != Ready)
            continue;
        if (slot.folder)
            RemoveFolderAndFiles(slot.path);
        else
            ::unlink(slot.path);
    }
    // SA_RESETHAND gave the signal its default action back: raised again, it ends the
    // program as soon as this handler returns, with the status the signal gives.
    ::raise(signal);
}

} // namespace

// System calls only (no allocation, as a signal handler must): getdents64 lists what
// opendir would.
void RemoveFolderAndFiles(const char *path) noexcept
{
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char entries[4096];
        long n;
        while ((n = ::syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
            for (long at = 0; at < n;) {
                // struct linux_dirent64: inode, offset, record length, type, name.
                unsigned short length;
                std::memcpy(&length, entries + at + 16, sizeof length);
                const char *name = entries + at + 19;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                    ::unlinkat(fd, name, 0);
                at += length;
            }
        }
        ::close(fd);
    }
    ::rmdir(path);
}

void RemoveOnSignals()
{
    for (const int signal : Signals) {
        struct sigaction old
        { };
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action
        { };
        action.sa_handler = removeAndRaise;
        // The others wait while one removes the files.
        action.sa_mask = signalSet();
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

void Registration::hold(const QByteArray &path)
{
    take(path, false);
}

void Registration::holdFolder(const QByteArray &path)
{
    take(path, true);
}

void Registration::take(const QByteArray &path, bool folder)
{
    release();
    if (path.size() >= PATH_MAX)
        return; // no file can have that name
    for (int i = 0; i < SlotCount; ++i) {
        int expected = Free;
        if (!registered[i].state.compare_exchange_strong(expected, Filling, std::memory_order_acquire))
            continue;
        std::memcpy(registered[i].path, path.constData(), std::size_t(path.size()));
        registered[i].path[path.size()] = '\0';
        registered[i].folder = folder;
        registered[i].state.store(Ready, std::memory_order_release);
        m_slot = i;
        return;
    }
}

void Registration::release()
{
    if (m_slot < 0)
        return;
    registered[m_slot].state.store(Free, std::memory_order_release);
    m_slot = -1;
}

SignalsHeld::SignalsHeld()
{
    const sigset_t set = signalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, &m_before);
}

SignalsHeld::~SignalsHeld()
{
    ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
}

} // namespace TemporaryFiles
