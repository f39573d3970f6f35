#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// How much of its time the calling thread spends asleep in the kernel: neither running
// nor waiting for a core, most often waiting for the device (a first scan of a disk,
// a network file system). Reads the kernel's scheduler figures of the thread
// (/proc/thread-self/schedstat), so time lost to other programs on a busy machine
// does not count as sleep. Use it from one thread only, the one that made it.
class SleepMeter
{
public:
    SleepMeter();

    // The share, 0 to 1, of the time since the last share given (or since the meter
    // was made) that the thread slept, leaving out `idle`: time of it the caller knows
    // it slept on purpose (waiting for work). Nothing when less than `interval` has
    // passed, or the kernel gives no figures.
    std::optional<double> share(std::chrono::nanoseconds interval, std::chrono::nanoseconds idle);

private:
    struct Reading
    {
        std::chrono::steady_clock::time_point at;
        std::uint64_t running = 0; // nanoseconds on a core
        std::uint64_t queued = 0; // nanoseconds ready to run, waiting for a core
    };
    static std::optional<Reading> read();

    std::optional<Reading> m_last;
};
