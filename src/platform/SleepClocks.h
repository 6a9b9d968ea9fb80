#pragma once

#include <chrono>
#include <ctime>

// The two clocks that tell a suspend apart from time awake: the monotonic clock stops while the
// machine sleeps, the boot-time clock runs on. Qt's timers follow the monotonic one.
class SleepClocks
{
public:
    virtual ~SleepClocks() = default;
    virtual std::chrono::nanoseconds monotonic() const = 0;
    virtual std::chrono::nanoseconds bootTime() const = 0;
};

class SystemSleepClocks final : public SleepClocks
{
public:
    std::chrono::nanoseconds monotonic() const override { return read(CLOCK_MONOTONIC); }
    std::chrono::nanoseconds bootTime() const override { return read(CLOCK_BOOTTIME); }

private:
    static std::chrono::nanoseconds read(clockid_t clock)
    {
        timespec now{};
        ::clock_gettime(clock, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    }
};
