#pragma once

#include "platform/AutostartStore.h"

#include <QString>
#include <QStringList>

// Start at logon the freedesktop way: the entry `name` is the file <name>.desktop in the
// user's autostart folder, which every XDG desktop session runs at logon. No admin rights needed.
class XdgAutostart final : public AutostartStore
{
public:
    // An empty folder means defaultAutostartDir(), looked up again at every call so that the
    // environment of the moment counts.
    explicit XdgAutostart(QString autostartDir = {});

    // `command` is the program's full path: one argument, quoted into Exec as the entry needs.
    // Creates the folder (0700) when missing; replaces the file atomically.
    bool SaveString(const QString &name, const QString &command, QString *error) override;
    bool DeleteValue(const QString &name, QString *error) override;

    QString autostartDir() const;
    QString entryPath(const QString &name) const;

private:
    QString m_dir;
};

// $XDG_CONFIG_HOME/autostart; ~/.config/autostart when the variable is unset, empty or relative.
QString defaultAutostartDir();

// One argument as an Exec value holds it: double-quoted when it has a reserved character (with
// `"`, "`", `$` and `\` escaped inside), `%` doubled, then escaped as a string value, so that a
// literal backslash ends up as four.
QString quoteExecArgument(const QString &argument);

// The reverse, strictly by the same rules: the argument vector an Exec value launches, for a
// launch without files (%f %F %u %U and the deprecated codes vanish). Returns an empty list for
// a malformed value (bad escape, open quote, unquoted reserved character, %i/%c/%k or a stray %).
QStringList parseExec(const QString &execValue);
