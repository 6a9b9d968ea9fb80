#pragma once

#include "mailcheck/TcpControl.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QTimer>
#include <chrono>
#include <optional>

class QTcpSocket;

// The TCP control `Winsock1` over QTcpSocket. It frames the byte stream into lines (one LF-ended
// line per DataArrival, so a POP3 server's CR LF lines arrive whole and one at a time), bounds what
// it holds and puts deadlines on connecting and on every awaited reply. Numbers of Error are
// Winsock's.
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
    };

    // One reply line, line ending included (bytes).
    static constexpr qsizetype MaxLineBytes = 4096;
    static constexpr std::chrono::milliseconds DefaultTimeout{30'000};

    explicit Winsock1(QObject *parent = nullptr);
    ~Winsock1() override;

    // How long connecting may take, and how long each awaited reply (the greeting, then one per
    // line sent) may take to arrive whole. Applies from the next deadline started.
    void setTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds timeout() const { return m_timeout; }

    // The connection as the control's State property gives it: Closing while a server's close
    // waits behind lines not yet delivered, Unconnected once the control is done with it.
    QAbstractSocket::SocketState state() const;
    // Bytes received and not handed out yet: the start of a line still coming.
    qsizetype pendingBytes() const { return m_buffer.size(); }

    void Close() override;
    void setLocalPort(quint16 port) override;
    bool Connect(const QString &host, quint16 port, QString *errorText = nullptr) override;
    QString GetData() override;
    bool SendData(const QString &line) override;

private:
    void onConnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDeadline();
    void scheduleDelivery();
    void deliver();
    void pull();
    void replyArrived();
    void releaseSocket();
    void fail(qint16 number, const QString &description);

    struct PendingError {
        qint16 number;
        QString description;
    };

    QTcpSocket *m_socket = nullptr;
    quint16 m_localPort = 0;
    std::chrono::milliseconds m_timeout = DefaultTimeout;
    QTimer m_deadline;
    bool m_connecting = false;
    int m_awaitedReplies = 0;
    // Bytes taken from the socket and not yet delivered: whole lines and the start of the next.
    QByteArray m_buffer;
    QString m_current;
    std::optional<PendingError> m_pendingError;
    bool m_peerClosed = false;
    bool m_delivering = false;
    bool m_deliveryPosted = false;
};
