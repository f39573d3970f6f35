#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// How the calling thread spends its time: how much of it asleep in the kernel rather
// than running, and how many bytes it had the kernel read from a storage device
// meanwhile. A thread that sleeps most of its time while it reads from a device
// waits for the device (a first scan of a disk); one that reads nothing from a
// device sleeps on locks or not at all. Reads the kernel's figures of the thread
// (/proc/thread-self/schedstat and io), so time it waited for a core, lost to other
// programs on a busy machine, counts neither way. Use it from one thread only, the
// one that made it.
class SleepMeter
{
public:
    struct Share
    {
        double slept = 0; // 0 to 1
        std::uint64_t deviceBytes = 0;
    };

    SleepMeter();

    // What the thread did since the last share given (or since the meter was made),
    // leaving out `idle`: time the caller knows it slept on purpose (waiting for
    // work). Nothing when less than `interval` has passed, or the kernel gives no
    // figures.
    std::optional<Share> share(std::chrono::nanoseconds interval, std::chrono::nanoseconds idle);

private:
    struct Reading
    {
        std::chrono::steady_clock::time_point at;
        std::uint64_t running = 0; // nanoseconds on a core
        std::uint64_t queued = 0; // nanoseconds ready to run, waiting for a core
        std::uint64_t deviceBytes = 0; // read from storage on the thread's behalf
    };
    static std::optional<Reading> read();

    std::optional<Reading> m_last;
};
