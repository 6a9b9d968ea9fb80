#pragma once

#include <QString>

// An installed program (`cmake --install`, the Debian package) keeps its own read-only data in
// <prefix>/share/larkspur beside <prefix>/bin/larkspur. The folder of the executable tells which
// kind of copy runs: the build folder and portable copies have no such data folder.
//
// The data folder of the installation whose executables live in `executableDir`, or an empty text
// when there is none.
QString installedDataFolder(const QString &executableDir);
