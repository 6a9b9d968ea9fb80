#pragma once

#include "mailcheck/MailSession.h"
#include "mailcheck/NewMailRule.h"
#include "mailcheck/SecureChannel.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>

class TcpControl;

// One POP3 conversation, from the greeting to QUIT, as one state machine over the line channel
// (`Winsock1`, TLS included). The dialogue of old (greeting, USER, PASS, STAT) logs every
// reply and takes the failed-reply path on anything but "+"; the commands it adds (CAPA and STLS
// beneath the dialogue, then UIDL and TOP for exact new mail) read their replies quietly,
// multi-line ones to the dot line, bounded in lines and bytes, under one deadline for the reply's
// rest. It never saves, asks or lets events run: it emits, and the watcher above it decides.
class Pop3Session final : public MailSession
{
    Q_OBJECT

public:
    enum class State {
        Idle,           // no connection
        Greeting,       // waiting for the greeting (held back until TLS is up under STLS)
        Capabilities,   // CAPA sent
        CapabilityList, // taking CAPA's lines
        StartTls,       // STLS sent
        Handshake,      // TLS under way
        User,           // USER sent
        Pass,           // PASS sent
        AuthStart,      // AUTH XOAUTH2 sent: the server's "+" is awaited
        AuthResponse,   // the token sent
        AuthError,      // the answer to an error challenge sent: the server's "-ERR" follows
        Stat,           // STAT sent
        UidlOne,        // UIDL n sent
        UidlList,       // UIDL sent
        Top,            // TOP n 0 sent
        Quit,           // QUIT sent: the goodbye is the last line taken
        Ended,          // the report is made and the connection gone
    };
    Q_ENUM(State)

    static constexpr quint16 PlainPort = 110;
    static constexpr quint16 TlsPort = 995;
    // Capability lines of CAPA taken at most: a server has a dozen.
    static constexpr int MaxCapabilities = 100;
    // What is kept of one message's header block; the rest is read and dropped up to the dot line.
    static constexpr qsizetype MaxHeaderBytes = 64 * 1024;
    static constexpr int MaxHeaderLines = 1000;

    Pop3Session(TcpControl &channel, SecureChannel &security, QObject *parent = nullptr);

    std::optional<QString> start(const MailLogin &login, SecurityMemory &memory,
                                 const SeenState &remembered, qint64 totalOldEmail,
                                 const QDateTime &now) override;
    void stop() override;
    void answerCertificate(bool trust) override;

    State state() const { return m_state; }
    // The port for a server given without one (110); tests move it.
    void setPlainPort(quint16 port) { m_plainPort = port; }
    // What the server's CAPA listed when it was last asked, one capability per entry, as written.
    QStringList capabilities() const { return m_knownCapabilities.value(m_login.server); }

private:
    void onDataArrival();
    void onError(qint16 number, const QString &description);
    void onEncrypted();
    void onCertificateCheck(const QSslCertificate &certificate, const QList<QSslError> &errors);
    void onDeadline();

    bool dialogueReply(const QString &line, SessionFailure failure);
    bool send(const QString &command, State next);
    void greeted();
    void login();
    void authenticate();
    void authReply(const QString &line);
    void loginAccepted();
    bool bearer() const;
    void startDialogue();
    void withoutStartTls();
    void capabilityLine(const QString &line);
    void statReply(const QString &line);
    void uidlReply(const QByteArray &bytes);
    void listingLine(const QString &line, const QByteArray &lineBytes);
    void topLine(const QString &line, const QByteArray &bytes);
    void askNext();
    void fetchNextHeaders();
    void finishScan();
    void fail(SessionFailure failure, const QString &line);
    void startReplyDeadline();

    TcpControl &m_channel;
    SecureChannel &m_security;
    SecurityMemory *m_memory = nullptr;
    QTimer m_deadline;
    quint16 m_plainPort = PlainPort;

    State m_state = State::Idle;
    MailLogin m_login;
    SecureChannel::Route m_route;
    std::optional<NewMailRule> m_rule;
    bool m_asking = false; // a certificate question waits for the user
    bool m_inBody = false; // taking the lines of a multi-line reply
    QString m_greeting;
    QString m_note;
    QStringList m_capabilities;
    bool m_stlsOffered = false;
    // Why CAPA was asked: STLS beneath the dialogue, the sign-in's SASL mechanisms, or to learn
    // what the server lists (once a run).
    enum class CapaFor { StartTls, SignIn, Learning };
    CapaFor m_capaFor = CapaFor::StartTls;
    QHash<QString, QStringList> m_knownCapabilities;
    QString m_mechanism;
    MailScan m_scan;
    // UIDL listing
    QList<UidlEntry> m_listing;
    bool m_listingUsable = true;
    // TOP
    QList<qint64> m_headerQueue;
    HeaderBlock m_header;
    int m_headerLines = 0;
};
