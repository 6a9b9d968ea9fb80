#pragma once

#include <QString>

// The Thai lines Larkspur adds to the status log, each with the system's English reason after it
// where there is one. The described texts of the window stay where they are used.
namespace Wording
{

// A Thai statement, then " : " and the English reason; the statement alone when there is none.
QString because(const QString &thai, const QString &english);

// ---- connection and transport

// ---- POP3 session and new-mail detection

// ---- settings file and start-up

// Settings.inf gave no key at all, so its bytes were copied to `kept` before any save.
QString settingsKeptAside(const QString &path, const QString &kept);
// Why Settings.inf is not saved over: its copy could not be made (`why`, the system's reason).
QString settingsNotKeptAside(const QString &path, const QString &why);

// ---- sound

// The sound device did not finish the new-mail sound in time and was left behind.
QString soundDeviceGivenUp();

// ---- desktop notifications

// ---- keyring

// ---- OAuth2 sign-in

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
