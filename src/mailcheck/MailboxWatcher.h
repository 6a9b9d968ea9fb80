#pragma once

#include "mailcheck/CheckOutcome.h"
#include "mailcheck/CheckReport.h"
#include "mailcheck/ImapSession.h"
#include "mailcheck/Pop3Session.h"
#include "mailcheck/SecureChannel.h"
#include "mailcheck/SeenStore.h"
#include "mailcheck/SessionChannel.h"
#include "settings/MailboxSettings.h"
#include "signin/CredentialSource.h"

#include <QObject>
#include <optional>

class Clock;
class TcpControl;

// One mailbox, watched: its settings as one value, the check that runs its session, and the
// rule that tells new mail, with the ids it has seen. It knows nothing of widgets: it reports by
// signals, and whoever shows them (the main window, the command line) decides what to do, saves
// and lets events run.
class MailboxWatcher : public QObject
{
    Q_OBJECT

public:
    // `seen` may be null: nothing is remembered between checks but the count in the settings.
    MailboxWatcher(TcpControl &channel, CredentialSource &credentials, const Clock &clock,
                   const SeenStore *seen, QObject *parent = nullptr);

    MailboxSettings &settings() { return m_settings; }
    const MailboxSettings &settings() const { return m_settings; }

    // The login fields as a check needs them: the line that replaces the status log when one
    // cannot start, or nothing.
    std::optional<QString> loginProblem() const;
    // Starts a check (any earlier connection is closed first, but an IMAP connection kept open for
    // the same login, which checks again where it is). A failure found at once comes back as a
    // line for the log; later ones come as signals. Reports also come unasked, when an open IMAP
    // connection is told of new mail.
    std::optional<QString> check();
    // Ends the check under way, if any, without a word.
    void stop();
    // After a suspend or a change of network an idling IMAP connection is most likely gone
    // without a word from either end: the next check connects anew rather than waiting out a
    // NOOP's deadline on it. A check under way is left to its own deadline.
    void forgetIdleConnection();
    void answerCertificate(bool trust);
    // Only looks: the seen ids are read but never written (a check from the command line).
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // What the POP3 server of the last check named in CAPA; nothing when the last check spoke
    // IMAP, which has no LOGIN-DELAY.
    QStringList pop3Capabilities() const;

    Pop3Session &session() { return m_session; }
    ImapSession &imapSession() { return m_imap; }
    // Where this mailbox's seen ids are kept.
    MailboxKey key() const;
    const SeenStore *seenStore() const { return m_seen; }

    // The last STAT's values: the count is 0 until one could be read in the current check, the
    // size keeps the last one read.
    qint64 MessageCount = 0;
    qint64 MailboxSize = 0;

signals:
    void statusReplaced(const QString &text);
    void statusAppended(const QString &text);
    void progressChanged(int value);
    void reported(const CheckReport &report);
    void certificateQuestion(const QString &question);
    // The settings learnt something that must be saved (the server reached over TLS, a trusted
    // certificate).
    void learned();
    // The server accepted the credential of the check under way.
    void loggedIn();
    void finished(CheckOutcome outcome, const QString &reason);

private:
    void attach(MailSession &session);
    // The session for the protocol the server text names, given the channel.
    MailSession &takeTurn(const QString &server);
    bool imapHasTurn() const { return m_imapChannel.hasTurn(); }
    void begin(const std::optional<Credential> &credential, const QString &failure);
    void onScanned(const MailScan &scan);
    void onFailed(SessionFailure failure, const QString &reason);
    Announcement announcementFor(const NewMailVerdict &verdict,
                                 const QList<HeaderBlock> &headers) const;

    CredentialSource &m_credentials;
    const Clock &m_clock;
    const SeenStore *m_seen;
    SecureChannel m_security;
    SessionChannel m_pop3Channel;
    SessionChannel m_imapChannel;
    Pop3Session m_session;
    ImapSession m_imap;
    MailboxSettings m_settings;
    bool m_readOnly = false;
    // Credential requests so far: an answer that comes after a newer check asked is dropped.
    quint64 m_requests = 0;
    bool m_inCheck = false;
    std::optional<QString> m_immediateFailure;
};
