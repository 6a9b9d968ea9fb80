#pragma once

#include "settings/SecuritySettings.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QSslError>
#include <QString>
#include <optional>

class QSslCertificate;
class TcpControl;

// The trust decisions of one mailbox's connections, beneath whichever protocol speaks over them:
// how to reach the server under the chosen security, whether a connection without encryption may
// go on, and which certificates to accept (asking the user about a home server's own one). What
// it learns goes into the mailbox's SecurityMemory, which the caller keeps and saves.
class SecureChannel
{
public:
    enum class Tls {
        None,   // the plain dialogue
        AtOnce, // TLS from the first byte
        Later,  // plain until the protocol's STARTTLS command
    };
    struct Route {
        QString host; // without the brackets of "[IPv6]"
        quint16 port = 0;
        Tls tls = Tls::None;
        // Set when the server text names no usable port: nothing is connected.
        QString refusal;
    };

    // Where and how to connect for `server` (txtPOP3Server as typed) under `mode`. Whatever
    // `memory` held for another server is dropped.
    Route route(const QString &server, SecurityMode mode, quint16 plainPort, quint16 tlsPort,
                SecurityMemory &memory);

    // Connects `channel` along `route`, from any local port: the failure found at once, if any.
    static std::optional<QString> open(TcpControl &channel, const Route &route);

    // The server offered no STARTTLS: the line that refuses to go on, or nothing when the
    // dialogue may continue in the clear (a server on this machine, under the automatic choice).
    std::optional<QString> refusalWithoutStartTls(const SecurityMemory &memory) const;
    // The same decision for a protocol that words its refusal itself.
    enum class WithoutStartTls {
        GoOn,              // a server on this machine, under the automatic choice
        ChosenButMissing,  // STARTTLS was chosen
        GoneSinceLastTime, // the server was reached over TLS before
        NotOffered,        // a server elsewhere that offers no encryption
    };
    WithoutStartTls withoutStartTls(const SecurityMemory &memory) const;

    // TLS is up: the server is remembered as one reached over TLS. True when `memory` changed.
    bool encrypted(SecurityMemory &memory);
    // The log's note on how the connection is protected, e.g. "เชื่อมต่อแบบเข้ารหัส TLS 1.3".
    QString note(const QString &protocol) const;

    struct Verdict {
        enum class Kind { Trust, Refuse, Ask };
        Kind kind = Kind::Refuse;
        QString text; // Refuse: the line for the log; Ask: the question for the user
    };
    // A certificate the system does not vouch for. Asking happens once per server and
    // certificate in a run: a periodic check must not raise the same box again and again.
    Verdict judge(const QSslCertificate &certificate, const QList<QSslError> &errors,
                  const SecurityMemory &memory);
    // The user's answer to the last question asked: a yes trusts exactly that certificate for
    // that server. True when `memory` changed.
    bool answer(bool trust, SecurityMemory &memory);

    // The handshake on `channel` waits on the certificate: it goes on or is refused at once, or
    // the question for the user comes back, and resume() later gives the handshake the answer.
    std::optional<QString> settle(TcpControl &channel, const QSslCertificate &certificate,
                                  const QList<QSslError> &errors, const SecurityMemory &memory);
    void resume(bool trust, TcpControl &channel) const;
    // Whether the connection now being made goes on with a certificate the user trusted.
    bool trustedByUser() const { return m_trustedByUser; }

private:
    SecurityMode m_mode = SecurityMode::Automatic;
    QString m_server;
    QString m_host;
    bool m_startTls = false;
    bool m_trustedByUser = false;
    QSet<QString> m_asked;
    // The question waiting for its answer.
    QString m_questionServer;
    QByteArray m_questionSha256;
    QString m_refusalIfNo; // the log's line should the user say no
};
