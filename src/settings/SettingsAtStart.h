#pragma once

#include "settings/SettingsFile.h"

#include <QString>

// What the start-up does with Settings.inf before anything can be saved over it.
struct SettingsAtStart {
    LoadedSettings loaded;
    // Why the file is there but must not be saved over (it cannot be read, or could not be kept
    // aside): a status line. Empty when saving is safe.
    QString unreadable;
    // A status line naming the copy that keeps a file of which no key could be read; empty when
    // there is none.
    QString keptAside;
};

// Removes what a save cut short left beside `path` (QSaveFile's `path` + "." + six letters,
// holding nothing or the start of a settings file), then reads every key. A file that holds text
// but gives no key (no [settings] section, keys outside it, something else entirely) would be
// replaced by the first save: its bytes are first copied, owner-only, to `path` + ".old", or
// ".old.2" and on when that is taken; no earlier copy is ever overwritten.
SettingsAtStart readSettingsAtStart(const QString &path);
