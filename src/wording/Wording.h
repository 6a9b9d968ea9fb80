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

// ---- sound

// ---- desktop notifications

// ---- keyring
// Why a secret could not be read from, saved to or removed from the desktop's keyring; each names
// its problem, with the keyring's English reason after it.
QString keyringNoBus(const QString &english);
QString keyringNoService(const QString &english);
QString keyringLocked(const QString &english);
QString keyringRefused(const QString &english);
QString keyringFailed(const QString &english);
// Without a keyring the password stays where it always was, scrambled in Settings.inf.
QString passwordKeptScrambled(const QString &english);

// ---- OAuth2 sign-in

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
