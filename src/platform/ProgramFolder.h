#pragma once

#include <QString>

// Where Settings.inf and mail.wav live: the folder of the running executable, as on Windows, when
// files can be created there (a portable copy); otherwise, and always for an installed program,
// $XDG_CONFIG_HOME/larkspur (~/.config/larkspur when XDG_CONFIG_HOME is unset, empty or relative),
// created owner-only when missing. No trailing separator, except for the root folder "/".
//
// When the program moves there and that folder holds no Settings.inf yet, a Settings.inf beside
// the executable (a read-only copy that was set up by hand) is copied in, owner-only, so that it
// gives the starting values. *note (when given) then holds one status line saying where the
// settings are kept from now on; it is empty otherwise.
QString programFolder(const QString &executableDir, QString *note = nullptr);

// The same folder, found without that copy (the folder itself is created when missing): for a
// question asked before the start-up, which then makes the copy and tells of it.
QString locateProgramFolder(const QString &executableDir);
