#pragma once

#include <QString>

// Where Settings.inf and mail.wav live: the folder of the running executable, as on Windows, when
// files can be created there (a portable copy); otherwise, and always for an installed program,
// $XDG_CONFIG_HOME/larkspur (~/.config/larkspur when XDG_CONFIG_HOME is unset, empty or relative),
// created owner-only when missing. No trailing separator, except for the root folder "/".
QString programFolder(const QString &executableDir);
