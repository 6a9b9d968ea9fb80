#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Replaces the file at `path` with `bytes` by writing a new file beside it and renaming it into
// place: the file is whole or as it was, never cut short, and readable by its owner only from its
// first byte. `waitForDisk` also waits until the disk holds the bytes before the rename (and so
// hears of a full disk or quota that some file systems tell only then). On failure, the reason as
// the system words it.
std::optional<QString> replaceOwnerOnlyFile(const QString &path, const QByteArray &bytes,
                                            bool waitForDisk);
