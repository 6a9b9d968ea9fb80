#pragma once

#include <QByteArray>

// The byte-wise scrambling under which Settings.inf keeps the password: each byte b becomes
// 255 - b. The mapping is its own inverse, so the same call scrambles and unscrambles. It works on
// the password's Windows-874 bytes, never on decoded text.
QByteArray ScramblePassword(const QByteArray &bytes);
