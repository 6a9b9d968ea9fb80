#pragma once

#include "platform/SoundOutput.h"

#include <QByteArray>
#include <QString>

namespace ModSound
{
// Larger files are not taken for a sound: the whole file is held in memory.
inline constexpr qint64 MaxSoundFileBytes = 16 * 1024 * 1024;
} // namespace ModSound

// The whole content of the file at `path`, with the 0x20 bytes at both ends removed. A missing file
// is created empty. Anything but a regular file of at most 16 MiB, or any failure, gives an empty
// result; nothing is reported.
QByteArray LoadSoundFile(const QString &path);

// The sound of an installed program: the user's `userSound` when there is one (a file that is
// neither missing nor empty), else the installed `defaultSound`; neither file is ever created.
// With no `defaultSound` (a portable copy), LoadSoundFile(userSound).
QByteArray loadProgramSound(const QString &userSound, const QString &defaultSound);

// Stops any sound in progress, then plays `sound` and returns when it has ended or the device has
// been given up, which the result tells. An empty sound plays nothing and leaves `output`
// untouched. Playback is always synchronous: the only caller passes no flags, and `flags` is kept
// for the shape of the call.
SoundOutput::PlayResult PlaySoundData(const QByteArray &sound, qint16 flags, SoundOutput &output);
