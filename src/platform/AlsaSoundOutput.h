#pragma once

#include "platform/SoundOutput.h"

#include <chrono>
#include <memory>

// Plays a WAV image held in memory through ALSA's "default" device (which desktops route to
// PipeWire or PulseAudio). Blocks until the sound has ended, but never longer than the sound's own
// length and a margin, within the limit: longer sounds are cut off at the limit, and a device that
// stops taking samples, or hangs in any call, is given up at the deadline.
class AlsaSoundOutput final : public SoundOutput
{
public:
    static constexpr std::chrono::milliseconds DefaultLimit{30000};

    explicit AlsaSoundOutput(std::chrono::milliseconds limit = DefaultLimit);
    ~AlsaSoundOutput() override;

    void stop() override;
    PlayResult playSync(const QByteArray &wavImage) override;

private:
    struct Playback;
    std::chrono::milliseconds m_limit;
    // A playback given up while it hung in the device; it may still be there.
    std::shared_ptr<Playback> m_givenUp;
};
