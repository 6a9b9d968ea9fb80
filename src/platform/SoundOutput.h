#pragma once

#include <QByteArray>

// Plays a WAV image held in memory.
class SoundOutput
{
public:
    virtual ~SoundOutput() = default;
    // Stops whatever is playing.
    virtual void stop() = 0;
    // Plays the image and returns when it has ended. Undecodable data or no device: returns
    // quietly.
    virtual void playSync(const QByteArray &wavImage) = 0;
};
