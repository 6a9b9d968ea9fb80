#pragma once

#include <QString>

// Where the program registers itself to start at logon (an XDG autostart entry on Linux).
class AutostartStore
{
public:
    virtual ~AutostartStore() = default;
    // Writes the entry `name` that runs `command`. On failure returns false and says why in
    // `error`.
    virtual bool SaveString(const QString &name, const QString &command, QString *error) = 0;
    // Removes the entry; removing one that does not exist succeeds.
    virtual bool DeleteValue(const QString &name, QString *error) = 0;
};
