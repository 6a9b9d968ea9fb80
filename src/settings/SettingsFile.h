#pragma once

#include "settings/MailboxSettings.h"
#include "settings/SecuritySettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Settings.inf: the writer's content, the atomic save and the start-up's reading of every key.

struct ComposedSettings {
    QByteArray bytes; // the whole file, Windows-874, lines ended by CR LF
    // One line for txtStatus per value that is not remembered; empty when every value will read
    // back exactly as given (apart from blanks at the ends of the server and user name, which the
    // reader trims, as it always has).
    QStringList notRemembered;
};

// The file's lines, in their fixed order, then the security keys: "security=" unless the choice is
// automatic, and what is remembered about the server ("tlsserver=", "certserver=" with
// "certsha256=") when there is anything; then "desktopnotify=1" when that option is on,
// "auth=oauth2" when a token signs in, and the oauth2 keys that hold something. A value the file
// cannot carry is never stored changed: its line is written with an empty value and reported in
// notRemembered. That is a text Windows-874 cannot hold, a text with CR, LF or NUL, and a password
// whose scrambled bytes hold CR, LF or NUL, begin or end with a blank, tab or vertical tab, or
// begin and end with the same quote.
ComposedSettings composeSettings(const MailboxSettings &settings);

// Replaces the file at `path` with `bytes` atomically: a temporary file in the same folder,
// readable and writable by its owner only, is flushed to disk and renamed over it. On failure the
// previous file is intact and *error holds one status line: what could not be written and why.
// A file that already holds exactly `bytes`, owner-only, is left as it is.
bool writeSettingsFile(const QString &path, const QByteArray &bytes, QString *error);

// programFolder + "/Settings.inf".
QString settingsPath(const QString &programFolder);

// The security keys as read: a missing or unknown "security" is automatic; what is remembered
// counts only for `server`, the POP3MailServer read beside it.
struct StoredSecurity {
    SecurityMode mode = SecurityMode::Automatic;
    SecurityMemory memory;
};
StoredSecurity readStoredSecurity(const std::function<QByteArray(const QString &key)> &read,
                                  const QString &server);

// Every key as the start-up reads it, in the start-up's order, decoded from Windows-874.
struct LoadedSettings {
    QString server;    // POP3MailServer
    QString loginName; // loginname
    QString memPass;   // mempass
    // loginpass, unscrambled, read only when mempass equals 1 or the comparison fails.
    bool passwordRead = false;
    QString password;
    QString checkEveryOn;      // checkeveryon
    QString checkEveryMin;     // checkeverymin
    QString launchAtStartup;   // launchatstartup
    QString enableSound;       // enablesound
    QString totalOldEmailText; // totaloldemail
    // Its nearest integer; nothing when it is missing, does not convert or is negative
    // (TotalOldEmail stays 0).
    std::optional<qint64> totalOldEmail;
    StoredSecurity security;    // security, tlsserver, certserver, certsha256
    bool desktopNotify = false; // desktopnotify: on only when it equals 1
    bool oauth2Chosen = false;  // auth=oauth2; anything else is the password
    OAuth2SettingTexts oauth2;  // oauth2provider, oauth2clientid, ...
    bool anyKeyRead = false;    // at least one of these keys had a value in the file
};

// Reads Settings.inf at `path`; a missing file or key reads as "". When the file exists but cannot
// be read, returns what a missing file gives and sets *error: the caller must then not save over
// it.
LoadedSettings loadSettings(const QString &path, QString *error);
