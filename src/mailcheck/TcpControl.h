#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <chrono>

// The TCP control of the main window, `Winsock1`: the operations and the two events a mail check
// uses, and what a secure connection adds to them. The real one is Winsock1 (over QTcpSocket, or
// QSslSocket when it may encrypt); tests put scripted controls in its place.
//
// Contract every implementation keeps:
// - Each DataArrival carries exactly one whole line, its line ending included, which GetData then
//   returns as text and lineBytes() as it came; one handler run never overlaps another.
// - Failures after the fact (lookup, refusal, reset, time-outs, a runaway reply, TLS) arrive as
//   one Error each; the connection is over by then.
// - Close() ends any connection at once and drops whatever it had not delivered yet.
// - Nothing is sent while a TLS handshake is under way or waits for a certificate decision.
class TcpControl : public QObject
{
    Q_OBJECT

public:
    // When a connection made with connectSecure encrypts.
    enum class TlsStart {
        AtOnce, // TLS from the first byte (POP3S, port 995)
        Later,  // plain until startTls (STLS)
    };

    using QObject::QObject;

    virtual void Close() = 0;
    // 0: any free local port.
    virtual void setLocalPort(quint16 port) = 0;
    // Starts connecting and returns at once. False when the request cannot even be made; then
    // errorText (when given) says why in a line fit for the status log.
    virtual bool Connect(const QString &host, quint16 port, QString *errorText = nullptr) = 0;
    // The line of the DataArrival being handled; empty once read, or outside a DataArrival.
    virtual QString GetData() = 0;
    // The same line's bytes exactly as the server sent them (header texts need their own charset).
    virtual QByteArray lineBytes() const = 0;
    // False when nothing could be sent (no open connection).
    virtual bool SendData(const QString &line) = 0;
    // Whether bytes have come that have not been handed out yet: asked before a command is sent,
    // since anything already there cannot be the command's answer.
    virtual bool hasPendingData() { return false; }

    // Connects for TLS, checking the server's certificate against the trusted authorities and
    // `host` as typed. A control that cannot encrypt refuses: nothing ever goes out in the clear
    // in its place.
    virtual bool connectSecure(const QString &host, quint16 port, TlsStart start,
                               QString *errorText = nullptr);
    // On a connection made with TlsStart::Later, after the server's "+OK" to STLS: starts the
    // handshake. Whatever came in the clear behind that reply is never delivered (an Error
    // follows instead). False when there is no such connection.
    virtual bool startTls();
    // Answers a certificateCheck, then or later: go on with exactly this certificate, or refuse it
    // with a line for the status log. Until then the handshake waits, without a deadline.
    virtual void trustCertificate() {}
    virtual void refuseCertificate(const QString & /*description*/) {}
    // How long one awaited reply may take.
    virtual std::chrono::milliseconds replyTimeout() const { return std::chrono::seconds(30); }
    // "TLS 1.3" and the like once encrypted has come; empty on a plain connection.
    virtual QString tlsProtocol() const { return {}; }
    // Longer lines for a protocol whose lines may grow with the mailbox (an IMAP SEARCH result);
    // a control that frames nothing itself ignores it.
    virtual void setMaxLineBytes(qsizetype /*bytes*/) {}

signals:
    void DataArrival(qint32 bytesTotal);
    void Error(qint16 number, const QString &description);
    // The handshake has ended with a certificate accepted: from now on everything is encrypted.
    void encrypted();
    // The handshake waits: the certificate could not be verified for the reasons in `errors`.
    void certificateCheck(const QSslCertificate &certificate, const QList<QSslError> &errors);
    // The server closed the connection when no reply was due and nothing was left half-read (when
    // one was, Error says so instead). A session that keeps its connection open learns here that
    // it has gone.
    void closedByPeer();
};
