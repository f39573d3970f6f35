#include "SleepMeter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The text of a small file of /proc, NUL-terminated; false when it cannot be read.
bool readText(const char *path, char *text, std::size_t size)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got;
    do
        got = ::read(fd, text, size - 1);
    while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got <= 0)
        return false;
    text[got] = '\0';
    return true;
}

} // namespace

SleepMeter::SleepMeter() : m_last(read())
{ }

std::optional<SleepMeter::Reading> SleepMeter::read()
{
    char text[256];
    unsigned long long running = 0, queued = 0, bytes = 0;
    if (!readText("/proc/thread-self/schedstat", text, sizeof text)
        || std::sscanf(text, "%llu %llu", &running, &queued) != 2)
        return std::nullopt;
    const char *field = nullptr;
    if (!readText("/proc/thread-self/io", text, sizeof text) || !(field = std::strstr(text, "\nread_bytes:"))
        || std::sscanf(field, "\nread_bytes: %llu", &bytes) != 1)
        return std::nullopt;
    Reading r;
    r.at = std::chrono::steady_clock::now();
    r.running = running;
    r.queued = queued;
    r.deviceBytes = bytes;
    return r;
}

std::optional<SleepMeter::Share> SleepMeter::share(
    std::chrono::nanoseconds interval, std::chrono::nanoseconds idle)
{
    if (!m_last || std::chrono::steady_clock::now() - m_last->at < interval)
        return std::nullopt;
    const std::optional<Reading> now = read();
    if (!now)
        return std::nullopt;
    // Time spent waiting for a core is left out as well: on a busy machine the
    // thread runs less, but it does not sleep more.
    const double wall =
        double(std::chrono::duration_cast<std::chrono::nanoseconds>(now->at - m_last->at - idle).count())
        - double(now->queued - m_last->queued);
    const double running = double(now->running - m_last->running);
    const std::uint64_t bytes = now->deviceBytes - m_last->deviceBytes;
    m_last = now;
    if (wall <= 0)
        return std::nullopt;
    const double slept = 1.0 - running / wall;
    return Share {slept < 0 ? 0.0 : slept, bytes};
}
