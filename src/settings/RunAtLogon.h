#pragma once

#include <QString>
#include <functional>

class AutostartStore;

// Receives one line for the status log (without the line break).
using TellUser = std::function<void(const QString &line)>;

// The name of the program's start-at-logon entry.
inline const QString RunValueName = QStringLiteral("Larkspur");

// The command that starts this program at logon: the running executable's full path.
QString runCommand();

// Registers `command` under `name`. A failure is told to the user in one line; returns success.
bool AddToRun(AutostartStore &store, const QString &name, const QString &command,
              const TellUser &tellUser);
// Removes the registration; one that does not exist is removed quietly.
bool RemoveFromRun(AutostartStore &store, const QString &name, const TellUser &tellUser);

// The handler of chkLoadStart: state 1 registers `command`, state 0 removes it, grey (2) does
// neither; SaveSettings runs afterwards in every case (it reports its own failures). The box is
// never touched: a registration that failed is told, and the option is saved as the user set it.
// Returns whether the registration work succeeded.
bool chkLoadStart_Click(int state, AutostartStore &store, const QString &command,
                        const std::function<bool()> &SaveSettings, const TellUser &tellUser);
