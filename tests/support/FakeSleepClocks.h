#pragma once

#include "platform/SleepClocks.h"

// Clocks a test moves by hand: time awake moves both, a suspend only the boot-time one.
class FakeSleepClocks final : public SleepClocks
{
public:
    std::chrono::nanoseconds monotonic() const override { return m_monotonic; }
    std::chrono::nanoseconds bootTime() const override { return m_bootTime; }

    void awake(std::chrono::seconds duration)
    {
        m_monotonic += duration;
        m_bootTime += duration;
    }
    void asleep(std::chrono::seconds duration) { m_bootTime += duration; }

private:
    // Boot time is never behind monotonic time.
    std::chrono::nanoseconds m_monotonic = std::chrono::hours(1);
    std::chrono::nanoseconds m_bootTime = std::chrono::hours(1);
};
