#pragma once

#include "platform/SoundOutput.h"

#include <chrono>

// Plays a WAV image held in memory through ALSA's "default" device (which desktops route to
// PipeWire or PulseAudio). Blocks until the sound has ended, but never longer than the limit:
// longer sounds are cut off, and a device that stops taking samples is dropped at the deadline.
class AlsaSoundOutput final : public SoundOutput
{
public:
    static constexpr std::chrono::milliseconds DefaultLimit{30000};

    explicit AlsaSoundOutput(std::chrono::milliseconds limit = DefaultLimit);

    void stop() override;
    void playSync(const QByteArray &wavImage) override;

private:
    std::chrono::milliseconds m_limit;
};
