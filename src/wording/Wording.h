#pragma once

#include <QAbstractSocket>
#include <QSslError>
#include <QString>
#include <chrono>

// The Thai lines Larkspur adds to the status log, each with the system's English reason after it
// where there is one. The window's own texts stay where they are used.
namespace Wording
{

// A Thai statement, then " : " and the English reason; the statement alone when there is none.
QString because(const QString &thai, const QString &english);

// ---- connection and transport

// The control cannot encrypt, so it connects nowhere rather than in the clear.
QString noTlsOnThisConnection();
QString portZero();
QString controlCharacterInServerName();
QString noTlsLibrary(const QString &buildVersion);
QString localPortUnusable(quint16 port, const QString &reason);
QString startTlsImpossible();
QString clearTextAfterStls();
QString closedDuringHandshake();
// A failure the socket reported, with Qt's own English text as the reason.
QString socketFailure(QAbstractSocket::SocketError error, const QString &reason);
QString handshakeTimedOut(std::chrono::milliseconds limit);
QString connectTimedOut(std::chrono::milliseconds limit);
QString replyTimedOut(std::chrono::milliseconds limit);
QString replyLineTooLong(qsizetype bytes);
QString closedBeforeReplyComplete();
// Why a server's certificate is not trusted, for the most telling of its faults.
QString certificateFault(QSslError::SslError fault);

// The security beneath the dialogue.
QString noStartTlsAsChosen();
QString startTlsGoneSinceLastTime();
QString noEncryptionOffered();
QString startTlsRefused(const QString &reply);
QString capabilitiesTimedOut(std::chrono::milliseconds limit);
QString capabilitiesTooLong(int lines);
QString encryptedNote(const QString &protocol, bool startTls, bool trustedByUser);
QString certificateChanged(const QString &english);
QString trustQuestion(const QString &server, const QString &english, const QString &fingerprint);

// ---- POP3 session and new-mail detection

// A check from the command line (larkspur --check): its report on stdout, and why it could not
// tell on stderr.
QString checkTotal(qint64 count);
QString checkNew(qint64 count);
QString checkNoSettings(const QString &path);
QString checkSettingsUnreadable(const QString &path, const QString &reason);
QString checkNoServer();
QString checkPasswordNotRemembered();
QString checkCountUnread();
QString checkFailed(const QString &reason);
QString checkLoginRefused(const QString &reason);
QString checkCannotAskAboutCertificate();

QString seenIdsNotSaved(const QString &path, const QString &reason);
// A reply came before its command was sent: it cannot be that command's answer.
QString replyBeforeCommand();
// Every unique id changed at once: nothing is announced, and the ids start afresh.
QString mailboxRebuilt();

// ---- settings file and start-up

// Settings.inf gave no key at all, so its bytes were copied to `kept` before any save.
QString settingsKeptAside(const QString &path, const QString &kept);
// Why Settings.inf is not saved over: its copy could not be made (`why`, the system's reason).
QString settingsNotKeptAside(const QString &path, const QString &why);

// ---- sound

// The sound device did not finish the new-mail sound in time and was left behind.
QString soundDeviceGivenUp();

// ---- desktop notifications

// The desktop's notification service did not take a new-mail notification.
QString desktopNotificationFailed(const QString &english);
// The last line of a notification's body, for the messages past the ones it lists.
QString desktopNotificationMore(qsizetype count);
// The label of the notification's one action, which opens the main window.
QString desktopNotificationOpenWindow();

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
// No token can be had without the user: the sign-in was tried once this run already.
QString oauth2SignInNeeded();
// No keyring for the refresh token: it lasts this run only.
QString oauth2NoKeyring(const QString &english);
// How the log tells an OAuth2 login, where a password login shows its twelve x.
QString oauth2LoginLine(const QString &mechanism);
// The server offers neither XOAUTH2 nor OAUTHBEARER.
QString oauth2NotOffered(const QString &protocol);
// The user name or the token holds what no SASL message may carry.
QString oauth2NotSendable();

// ---- IMAP
// After the report under IDLE: the connection stays open and new mail is told as it comes.
QString imapWaitingForNewMail();
// txtMailSize when the server tells no size and the mailbox is too big to add its messages up.
QString imapMailSizeUnknown();
// The security beneath the dialogue, in IMAP's words (STARTTLS where POP3 says STLS).
QString imapNoStartTlsAsChosen();
QString imapStartTlsGoneSinceLastTime();
QString imapNoEncryptionOffered();
QString imapClearTextAfterStartTls();
// LOGINDISABLED and no SASL mechanism that fits the credential: nothing is sent.
QString imapLoginDisabled();
QString imapNoOAuthMechanism(const QString &offered);
// The user name or the token cannot travel in a command (a control character, a blank).
QString imapCredentialUnusable();
// The server ended the session: a BYE (its text in English), or the connection closed.
QString imapBye(const QString &text);
QString imapClosedWhileIdle();
QString imapClosed();
// The server's bytes are no IMAP (a literal past the bound, a broken response): the reader's
// English reason.
QString imapUnreadable(const QString &english);
// More untagged responses to one command than any mailbox this program reads gives.
QString imapTooManyResponses(int count);
// A command's tagged reply did not come in time.
QString imapReplyTimedOut(const QString &command, std::chrono::milliseconds limit);
// INBOX has a new UIDVALIDITY: its UIDs start afresh, and nothing is announced.
QString imapUidValidityChanged();

// ---- staying connected (resume, network, backoff)

// A failed check is tried again after `seconds`.
QString retryingIn(int seconds);
// The backoff's tries are used up: the next check is the timed one.
QString retriesUsedUp();
// Two refused logins in a row: no automatic check until the login changes or the user checks.
QString stoppedAfterRefusals(const QString &english);
// The server's LOGIN-DELAY holds the next timed check back.
QString loginDelayHonoured(int seconds);

} // namespace Wording
