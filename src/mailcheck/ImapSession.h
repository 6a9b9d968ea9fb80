#pragma once

#include "mailcheck/ImapNewMailRule.h"
#include "mailcheck/ImapResponse.h"
#include "mailcheck/MailSession.h"
#include "mailcheck/SecureChannel.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

class ImapCommand;
class TcpControl;

// One IMAP conversation (IMAP4rev1, RFC 3501; an IMAP4rev2 server is read as well) as one state
// machine over the line channel: greeting, CAPABILITY, STARTTLS, LOGIN or AUTHENTICATE, then INBOX
// read-only (EXAMINE, never a flag changed: headers come with BODY.PEEK), its size (STATUS SIZE,
// RFC 8438, or the messages' sizes added up in a small mailbox), the unread mail that came since
// the last check (UID SEARCH) and its senders and subjects. Then LOGOUT, or, where the server
// has IDLE (RFC 2177), the connection stays open and every new message is told at once with a
// scan of its own; a check on that connection is a NOOP. The greeting and the tagged replies of
// the login and of EXAMINE are logged as POP3's dialogue logs its replies, and a NO or BAD to them
// takes the same failed-reply path; the rest is read quietly. Every response is bounded (the
// reader's limits), every command has its deadline. It never saves, asks or lets events run: it
// emits, and the watcher above it decides.
class ImapSession final : public MailSession
{
    Q_OBJECT

public:
    enum class State {
        Idle,       // no connection
        Greeting,   // waiting for the greeting (held back until TLS is up under STARTTLS)
        Capability, // CAPABILITY sent
        StartTls,   // STARTTLS sent
        Handshake,  // TLS under way
        Login,      // LOGIN or AUTHENTICATE sent
        Status,     // STATUS INBOX (SIZE) sent
        Examine,    // EXAMINE INBOX sent
        Sizes,      // FETCH 1:* (RFC822.SIZE) sent: a server without STATUS=SIZE
        LastUid,    // FETCH * (UID) sent: the UIDNEXT after mail came on an open connection
        Search,     // UID SEARCH UID n:* UNSEEN sent
        Headers,    // FETCH of the new messages' headers sent
        Idling,     // IDLE sent: waiting for new mail
        Done,       // DONE sent: IDLE ends for a check, new mail or its renewal
        Noop,       // NOOP sent: a check on the open connection
        Logout,     // LOGOUT sent: nothing is judged any more
        Ended,      // the connection is gone
    };
    Q_ENUM(State)

    static constexpr quint16 PlainPort = 143;
    static constexpr quint16 TlsPort = 993;
    // A mailbox up to this many messages has its size added up from each message's when the
    // server has no STATUS=SIZE; a bigger one shows no size rather than a wrong one.
    static constexpr qint64 MostSizesFetched = 1000;
    // Untagged responses to one command: more than any check here asks for (EXPUNGEs after a big
    // clean-up included); past it the server is only keeping the program busy.
    static constexpr int MostUntagged = 100'000;
    // UIDs taken from one search.
    static constexpr qsizetype MostSearchResults = 100'000;
    // What is fetched of one message's header fields: ample for From, Subject and Date.
    static constexpr qsizetype HeaderBytes = 32 * 1024;
    // A server may end an IDLE after 30 minutes (RFC 2177): it is renewed before.
    static constexpr std::chrono::minutes IdleRenewal{25};

    ImapSession(TcpControl &channel, SecureChannel &security, QObject *parent = nullptr);
    ~ImapSession() override;

    std::optional<QString> start(const MailLogin &login, SecurityMemory &memory,
                                 const SeenState &remembered, qint64 totalOldEmail,
                                 const QDateTime &now) override;
    void stop() override;
    void answerCertificate(bool trust) override;
    // On a connection still open for the same login: a NOOP and a new report. A bearer token
    // counts as the same whatever its value: the connection is signed in already.
    bool refresh(const MailLogin &login) override;

    State state() const { return m_state; }
    // Whether the connection stays open for new mail after the report (the server has IDLE).
    bool isIdling() const { return m_state == State::Idling && m_idleConfirmed; }
    // The port for a server given without one (143); tests move it.
    void setPlainPort(quint16 port) { m_plainPort = port; }
    // Tests renew IDLE sooner.
    void setIdleRenewal(std::chrono::milliseconds interval) { m_idleRenewal = interval; }

private:
    enum class Mechanism { Login, Plain, OAuthBearer, XOAuth2 };
    // What a scan still has to ask, in this order.
    struct Plan {
        bool status = false;  // STATUS INBOX (SIZE)
        bool examine = false; // EXAMINE INBOX
        bool sizes = false;   // FETCH 1:* (RFC822.SIZE)
        bool lastUid = false; // FETCH * (UID)
        bool search = false;  // UID SEARCH
        bool headers = false; // FETCH of the new messages' headers
        bool verdict = false; // made once the search is done
    };

    void onDataArrival();
    void onError(qint16 number, const QString &description);
    void onClosedByPeer();
    void onEncrypted();
    void onCertificateCheck(const QSslCertificate &certificate, const QList<QSslError> &errors);
    void onDeadline();
    void onIdleRenewal();

    void take(const ImapResponse &response, const QString &line);
    void untagged(const ImapResponse &response);
    void fetched(const ImapResponse &response, qint64 sequence);
    void tagged(const ImapResponse &response, const QString &line);
    void continuation(const ImapResponse &response);

    void greeting(const ImapResponse &response, const QString &line);
    void greeted();
    void afterCapabilities();
    void startLogin();
    void loggedIn(const ImapResponse &response);
    void startFirstScan();
    void rescan(bool quiet);
    void advance();
    void finishScan();
    void startIdle();
    void endIdle();
    void logout();

    bool dialogueReply(const ImapResponse &response, const QString &line, SessionFailure failure);
    bool command(const ImapCommand &command, State next);
    void queueOrSend(const QByteArray &bytes);
    void flushQueued();
    void fail(SessionFailure failure, const QString &line);
    void close();
    void readCapabilities(const ImapValue &list);
    bool has(QByteArrayView capability) const;
    QByteArray nextTag();

    TcpControl &m_channel;
    SecureChannel &m_security;
    SecurityMemory *m_memory = nullptr;
    QTimer m_deadline;
    QTimer m_idleTimer;
    quint16 m_plainPort = PlainPort;
    std::chrono::milliseconds m_idleRenewal = IdleRenewal;

    State m_state = State::Idle;
    MailLogin m_login;
    SecureChannel::Route m_route;
    std::unique_ptr<ImapResponseReader> m_reader;
    std::optional<ImapNewMailRule> m_rule;
    bool m_asking = false; // a certificate question waits for the user
    QString m_note;
    QString m_greetingLine;
    std::optional<ImapResponse> m_greeting;
    bool m_preauthenticated = false;
    QSet<QByteArray> m_capabilities; // as the server last named them, in upper case

    // The command in flight: its tag, its name for a time-out's line, the parts of it still to
    // send on the server's "+", and the line held back while unread bytes wait.
    QByteArray m_tag;
    QString m_commandName;
    QList<QByteArray> m_parts;
    bool m_queued = false;
    QByteArray m_queuedBytes;
    int m_untagged = 0;
    quint64 m_tags = 0;
    // Counts start() and stop(), so that code after a signal knows whether it still runs the
    // connection it began with.
    quint64 m_generation = 0;
    bool m_awaitingStartTls = false; // STARTTLS is due before anything but the greeting
    bool m_authenticated = false;
    Mechanism m_mechanism = Mechanism::Login;
    std::optional<QByteArray> m_saslResponse; // sent on "+" where the server has no SASL-IR
    QString m_saslChallenge;                  // an OAuth2 error challenge, for the log

    // INBOX as this connection knows it.
    ImapMailbox m_box;
    std::optional<qint64> m_octets;
    std::optional<qint64> m_scannedCount; // the count of the last scan
    bool m_arrived = false;               // an EXISTS past the count since the last scan
    // The scan under way.
    Plan m_plan;
    bool m_quiet = false;      // a scan no one asked for (new mail told by IDLE)
    bool m_refreshing = false; // a check asked on the open connection, not yet under way
    bool m_reporting = false;  // scanned is being emitted
    QHash<qint64, qint64> m_sizes;
    qint64 m_searchFrom = 0;
    QList<qint64> m_unseen;
    MailScan m_scan;
    bool m_headersByUid = false;
    QList<HeaderBlock> m_headers;
    // IDLE
    bool m_idleConfirmed = false;
};
