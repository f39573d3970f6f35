#include "SleepMeter.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

SleepMeter::SleepMeter() : m_last(read())
{ }

std::optional<SleepMeter::Reading> SleepMeter::read()
{
    const int fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char text[96];
    ssize_t got;
    do
        got = ::read(fd, text, sizeof text - 1);
    while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    text[got] = '\0';
    Reading r;
    unsigned long long running = 0, queued = 0;
    if (std::sscanf(text, "%llu %llu", &running, &queued) != 2)
        return std::nullopt;
    r.at = std::chrono::steady_clock::now();
    r.running = running;
    r.queued = queued;
    return r;
}

std::optional<double> SleepMeter::share(std::chrono::nanoseconds interval, std::chrono::nanoseconds idle)
{
    if (!m_last || std::chrono::steady_clock::now() - m_last->at < interval)
        return std::nullopt;
    const std::optional<Reading> now = read();
    if (!now)
        return std::nullopt;
    const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(now->at - m_last->at) - idle;
    const double awake = double(now->running - m_last->running) + double(now->queued - m_last->queued);
    m_last = now;
    if (wall.count() <= 0)
        return std::nullopt;
    const double slept = 1.0 - awake / double(wall.count());
    return slept < 0 ? 0.0 : slept;
}
