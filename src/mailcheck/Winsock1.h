#pragma once

#include "mailcheck/TcpControl.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QTimer>
#include <chrono>
#include <optional>

class QSslSocket;
class QTcpSocket;

// The TCP control `Winsock1` over QTcpSocket, or over QSslSocket for a connection that may
// encrypt. It frames the byte stream into lines (one LF-ended line per DataArrival, so a POP3
// server's CR LF lines arrive whole and one at a time), bounds what it holds and puts deadlines on
// connecting, on the TLS handshake and on every awaited reply. Numbers of Error are Winsock's,
// and a few of its own for TLS; descriptions are Thai with the English reason after them.
class Winsock1 final : public TcpControl
{
    Q_OBJECT

public:
    enum ErrorNumber : qint16 {
        AccessDenied = 10013,       // WSAEACCES
        InvalidArgument = 10022,    // WSAEINVAL: anything without a closer match
        MessageTooLong = 10040,     // WSAEMSGSIZE: a reply line past MaxLineBytes
        FamilyUnsupported = 10047,  // WSAEAFNOSUPPORT: e.g. IPv6 where the host has none
        AddressInUse = 10048,       // WSAEADDRINUSE
        AddressUnavailable = 10049, // WSAEADDRNOTAVAIL
        NetworkUnreachable = 10051, // WSAENETUNREACH
        ConnectionReset = 10054,    // WSAECONNRESET: the server went away in the middle of a reply
        NoBufferSpace = 10055,      // WSAENOBUFS
        TimedOut = 10060,           // WSAETIMEDOUT
        ConnectionRefused = 10061,  // WSAECONNREFUSED
        HostNotFound = 11001,       // WSAHOST_NOT_FOUND
        // Our own, for what Winsock has no number for.
        TlsHandshakeFailed = 12001, // no TLS spoken, or the handshake broke off
        CertificateRefused = 12002, // the server's certificate is not trusted
        NoEncryption = 12003,       // no encryption where it is required, or STLS refused
        ClearTextInjected = 12004,  // bytes in the clear after the "+OK" to STLS
    };

    // One reply line, line ending included (bytes), unless a protocol asks for more.
    static constexpr qsizetype MaxLineBytes = 4096;
    static constexpr std::chrono::milliseconds DefaultTimeout{30'000};

    explicit Winsock1(QObject *parent = nullptr);
    ~Winsock1() override;

    // How long connecting may take, the TLS handshake, and each awaited reply (the greeting, then
    // one per line sent) to arrive whole. Applies from the next deadline started.
    void setTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds timeout() const { return m_timeout; }

    // The connection as the control's State property gives it: Closing while a server's close
    // waits behind lines not yet delivered, Unconnected once the control is done with it.
    QAbstractSocket::SocketState state() const;
    // Bytes received and not handed out yet: the start of a line still coming.
    qsizetype pendingBytes() const { return m_buffer.size(); }
    // Whether the connection is encrypted now.
    bool isEncrypted() const;

    // Longer lines for a protocol whose lines may grow with the mailbox (never below
    // MaxLineBytes); what is buffered grows with it.
    void setMaxLineBytes(qsizetype bytes) override;

    void Close() override;
    void setLocalPort(quint16 port) override;
    bool Connect(const QString &host, quint16 port, QString *errorText = nullptr) override;
    QString GetData() override;
    QByteArray lineBytes() const override;
    bool SendData(const QString &line) override;
    bool hasPendingData() override;

    bool connectSecure(const QString &host, quint16 port, TlsStart start,
                       QString *errorText = nullptr) override;
    bool startTls() override;
    void trustCertificate() override;
    void refuseCertificate(const QString &description) override;
    QString tlsProtocol() const override;
    std::chrono::milliseconds replyTimeout() const override { return m_timeout; }

private:
    bool open(const QString &host, quint16 port, std::optional<TlsStart> tls, QString *errorText);
    void onConnected();
    void onEncrypted();
    void onSslErrors(const QList<QSslError> &errors);
    void onPeerClosed();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDeadline();
    void scheduleDelivery();
    void deliver();
    void pull();
    void replyArrived();
    void releaseSocket();
    qsizetype bufferBytes() const;
    void fail(qint16 number, const QString &description);

    struct PendingError {
        qint16 number;
        QString description;
    };

    QTcpSocket *m_socket = nullptr;
    QSslSocket *m_ssl = nullptr; // m_socket itself, when the connection may encrypt
    quint64 m_generation = 0;    // counts the connections let go, so a handler can tell
    quint16 m_localPort = 0;
    std::chrono::milliseconds m_timeout = DefaultTimeout;
    QTimer m_deadline;
    bool m_connecting = false;
    bool m_handshaking = false;
    bool m_encryptedPending = false;
    int m_awaitedReplies = 0;
    // A handshake paused on a certificate that could not be verified.
    bool m_certificatePending = false;
    bool m_certificateAsked = false;
    QList<QSslError> m_sslErrors;
    // Held only while a decision is due: even an empty QSslCertificate loads the TLS backend, which
    // a plain check never needs.
    std::optional<QSslCertificate> m_peerCertificate;
    // Bytes taken from the socket and not yet delivered: whole lines and the start of the next.
    QByteArray m_buffer;
    QString m_current;
    QByteArray m_currentBytes;
    qsizetype m_maxLineBytes = MaxLineBytes;
    std::optional<PendingError> m_pendingError;
    bool m_peerClosed = false;
    bool m_delivering = false;
    bool m_deliveryPosted = false;
};
