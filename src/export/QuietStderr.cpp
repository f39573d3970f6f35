#include "QuietStderr.h"

#include "SafeFile.h"

#include <cstdio>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace {

std::mutex guard;
int users = 0; // objects alive, on every thread
std::FILE *original = nullptr;
// Made once and never closed: a thread that read `stderr` just before it was put back
// may still be writing to it.
std::FILE *filter = nullptr;
thread_local int quietHere = 0;

ssize_t filterWrite(void *, const char *bytes, size_t size)
{
    if (quietHere > 0)
        return ssize_t(size);
    return SafeFile::writeAll(STDERR_FILENO, std::string_view(bytes, size)) == 0 ? ssize_t(size) : -1;
}

} // namespace

// glibc's `stderr` is a variable of its own that the library reads at every call, and
// setting it is how glibc's manual redirects a standard stream. What the filter lets
// through goes to descriptor 2 unbuffered, as the real stream writes it.
QuietStderr::QuietStderr()
{
    const std::lock_guard lock(guard);
    ++quietHere;
    if (users++ > 0)
        return;
    if (!filter) {
        filter = ::fopencookie(nullptr, "w", cookie_io_functions_t {nullptr, filterWrite, nullptr, nullptr});
        if (filter)
            std::setvbuf(filter, nullptr, _IONBF, 0);
    }
    if (filter) {
        original = stderr;
        stderr = filter;
    }
}

QuietStderr::~QuietStderr()
{
    const std::lock_guard lock(guard);
    --quietHere;
    if (--users == 0 && filter && stderr == filter)
        stderr = original;
}
