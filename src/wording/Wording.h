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

// ---- OAuth2 sign-in
// The provider's sign-in page was handed to the browser.
QString oauth2BrowserSignInStarted();
// No browser took the sign-in page: its address, for the user to open by hand.
QString oauth2BrowserNotOpened(const QString &address);
// Device sign-in: the code to type at the provider's page.
QString oauth2EnterDeviceCode(const QString &userCode, const QString &address);
QString oauth2SignedIn();
QString oauth2TokenRefreshed();
// The user or the organisation said no.
QString oauth2SignInRefused(const QString &english);
// The sign-in was not finished in time.
QString oauth2SignInExpired(const QString &english);
// The refresh token is no longer good: the tokens are dropped, a new sign-in is needed.
QString oauth2TokenRefused(const QString &english);
// No answer, a time-out or a server error: the next check tries again.
QString oauth2ServerUnreachable(const QString &english);
// invalid_client, invalid_scope, a wrong address: the settings need a look.
QString oauth2Misconfigured(const QString &english);
// The OAuth2 keys of Settings.inf describe no usable client.
QString oauth2SettingsInvalid(const QString &english);
// The mail server refused the token after its error challenge.
QString oauth2MailServerRefusedToken(const QString &english);

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
