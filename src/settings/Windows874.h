#pragma once

#include <QByteArray>
#include <QString>

// Settings.inf is kept in the Thai ANSI code page, Windows-874, so that a file written by the
// Windows program reads the same here. The bytes the code page leaves undefined decode to the
// private-use characters U+F700 + byte and encode back, so every byte sequence survives a round
// trip.

// The text in Windows-874. A character the code page cannot hold becomes "?" and clears *ok.
QByteArray encodeWindows874(const QString &text, bool *ok = nullptr);

// Never fails: every byte has a character.
QString decodeWindows874(const QByteArray &bytes);
