#pragma once

#include <QByteArray>

// Plays a WAV image held in memory.
class SoundOutput
{
public:
    enum class PlayResult {
        Ended,         // played to its end, or nothing to play (undecodable data, no device)
        DeviceGivenUp, // the device did not finish in time: left behind, the sound unheard
    };

    virtual ~SoundOutput() = default;
    // Stops whatever is playing.
    virtual void stop() = 0;
    // Plays the image and returns when it has ended, or when the device has been given up.
    virtual PlayResult playSync(const QByteArray &wavImage) = 0;
};
