#pragma once

#include "settings/MailboxSettings.h"

#include <QString>
#include <QStringList>
#include <variant>

class Clock;
class QNetworkAccessManager;
class SecretStore;
class SeenStore;
class TcpControl;

// `larkspur --check`: one check of the configured mailbox without a window, for scripts and
// status bars. It only looks: Settings.inf, the seen ids and what the check learns about the
// server's security are left as they were, so the tray program still announces what it found;
// and it asks nothing (a certificate the system does not trust is refused). It needs no display
// and runs beside a running tray program.
namespace CheckOnce
{

enum ExitCode : int {
    NewMail = 0,
    NoNewMail = 1,
    Failed = 2, // connection, TLS, login, protocol, or no settings to check with
};

struct Result {
    int exitCode = Failed;
    QStringList report; // for stdout: the count, the size, the new messages
    QStringList errors; // for stderr: why the check failed, and notes beside the report
};

// The mailbox as the start-up reads it from Settings.inf in the program's folder (or, while that
// has none, beside the executable), with the password only when it is remembered (empty when the
// keyring keeps it); else the line that says why no check can be made. Reads, and writes nothing.
std::variant<MailboxSettings, QString> mailboxFromSettings(const QString &executableFolder);

// Where the credential comes from: the keyring for a remembered password that Settings.inf does
// not hold, and for an OAuth2 refresh token (never a sign-in: no one is there to finish it).
struct Sources {
    SecretStore *keyring = nullptr; // null: none
    QNetworkAccessManager *network = nullptr;
};

// One check of `mailbox` in an event loop of its own, returning once the server's goodbye has come
// (or the connection is gone).
Result check(const MailboxSettings &mailbox, TcpControl &channel, const Clock &clock,
             const SeenStore &seen, const Sources &sources = {});

// The whole command: makes the QCoreApplication, checks with the real socket and clock and the
// user's seen ids, prints the report on stdout and the reasons on stderr, and gives the exit code.
int run(int argc, char *argv[]);

} // namespace CheckOnce
