#include "mailcheck/Winsock1.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

// What is held at most: our undelivered bytes, and as much again in the socket's own buffer.
// Past that the kernel holds the rest and TCP slows the server down.
constexpr qsizetype BufferBytes = 4 * Winsock1::MaxLineBytes;

QString secondsText(std::chrono::milliseconds duration)
{
    return QString::number(static_cast<double>(duration.count()) / 1000.0);
}

// Replies are shown in the log: UTF-8 with every undecodable byte as U+FFFD, and NUL as well, so
// that no C string boundary inside a text box or the clipboard cuts a line short.
QString decodeLine(const QByteArray &line)
{
    QString text = QString::fromUtf8(line);
    text.replace(QChar(u'\0'), QChar::ReplacementCharacter);
    return text;
}

bool holdsControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

Winsock1::Winsock1(QObject *parent) : TcpControl(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &Winsock1::onDeadline);
}

Winsock1::~Winsock1()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void Winsock1::setTimeout(std::chrono::milliseconds timeout)
{
    m_timeout = timeout;
}

QAbstractSocket::SocketState Winsock1::state() const
{
    if (!m_socket)
        return QAbstractSocket::UnconnectedState;
    // Closed by the server, and what it sent before not all handed out yet.
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return QAbstractSocket::ClosingState;
    return m_socket->state();
}

void Winsock1::Close()
{
    releaseSocket();
    m_buffer.clear();
    m_current.clear();
    m_pendingError.reset();
}

void Winsock1::setLocalPort(quint16 port)
{
    m_localPort = port;
}

bool Winsock1::Connect(const QString &host, quint16 port, QString *errorText)
{
    Close();
    const auto refuse = [errorText](const QString &why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    if (port == 0)
        return refuse(u"Port 0 is no port a server listens on"_s);
    if (holdsControlCharacter(host))
        return refuse(u"The server name holds a control character (a line break, a tab or NUL)"_s);

    // "[::1]" as in a URL: the brackets are not part of the address.
    QString target = host;
    if (target.size() > 2 && target.startsWith(u'[') && target.endsWith(u']') &&
        QHostAddress(target.mid(1, target.size() - 2)).protocol() == QAbstractSocket::IPv6Protocol)
        target = target.mid(1, target.size() - 2);

    auto *socket = new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(BufferBytes);
    if (m_localPort != 0 && !socket->bind(QHostAddress::Any, m_localPort)) {
        const QString why = u"Local port %1: %2"_s.arg(m_localPort).arg(socket->errorString());
        delete socket;
        return refuse(why);
    }
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, &Winsock1::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &Winsock1::scheduleDelivery);
    connect(socket, &QTcpSocket::errorOccurred, this, &Winsock1::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        m_peerClosed = true;
        scheduleDelivery();
    });

    m_connecting = true;
    m_deadline.start(m_timeout);
    // A failure found at once (a literal address that refuses) is queued like any other, so the
    // Error event comes from the event loop after this call has returned.
    socket->connectToHost(target, port);
    return true;
}

QString Winsock1::GetData()
{
    return std::exchange(m_current, QString());
}

bool Winsock1::SendData(const QString &line)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    const QByteArray bytes = line.toUtf8();
    if (bytes.isEmpty())
        return true;
    if (m_socket->write(bytes) != bytes.size())
        return false;
    // Into the kernel now: a Close right after a command must not lose it.
    m_socket->flush();
    if (m_awaitedReplies++ == 0)
        m_deadline.start(m_timeout);
    return true;
}

void Winsock1::onConnected()
{
    m_connecting = false;
    m_awaitedReplies = 1; // the greeting
    m_deadline.start(m_timeout);
}

void Winsock1::onSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // Whether that cut a reply short is known once every whole line has been delivered.
        m_peerClosed = true;
        scheduleDelivery();
        return;
    }

    qint16 number = InvalidArgument;
    QString description = m_socket ? m_socket->errorString() : QString();
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        number = ConnectionRefused;
        description = u"Connection refused"_s;
        break;
    case QAbstractSocket::HostNotFoundError:
        number = HostNotFound;
        description = u"Host not found"_s;
        break;
    case QAbstractSocket::SocketTimeoutError:
        number = TimedOut;
        break;
    case QAbstractSocket::NetworkError:
        number = NetworkUnreachable;
        break;
    case QAbstractSocket::SocketAccessError:
        number = AccessDenied;
        break;
    case QAbstractSocket::SocketResourceError:
        number = NoBufferSpace;
        break;
    case QAbstractSocket::UnsupportedSocketOperationError:
        number = FamilyUnsupported;
        break;
    case QAbstractSocket::AddressInUseError:
        number = AddressInUse;
        break;
    case QAbstractSocket::SocketAddressNotAvailableError:
        number = AddressUnavailable;
        break;
    default:
        break;
    }

    // Whole lines that came before the failure are still delivered first; the socket's own buffer
    // is bounded, so this stays small.
    if (m_socket)
        m_buffer += m_socket->readAll();
    releaseSocket();
    if (!m_pendingError)
        m_pendingError = PendingError{number, description};
    scheduleDelivery();
}

void Winsock1::onDeadline()
{
    // A whole line already here has come in time; it waits only for its turn.
    if (m_buffer.contains('\n'))
        return;
    if (m_connecting)
        fail(TimedOut, u"Connection timed out: no connection within %1 seconds"_s.arg(
                           secondsText(m_timeout)));
    else
        fail(TimedOut,
             u"Timed out: the server's reply did not arrive whole within %1 seconds"_s.arg(
                 secondsText(m_timeout)));
}

void Winsock1::scheduleDelivery()
{
    if (m_deliveryPosted)
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, &Winsock1::deliver, Qt::QueuedConnection);
}

// The one place that raises DataArrival and Error. A handler that lets events run in its middle
// does not get a second event inside the first: the loop below hands out the next one after it.
void Winsock1::deliver()
{
    m_deliveryPosted = false;
    if (m_delivering)
        return;
    m_delivering = true;
    for (;;) {
        pull();
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0 && end < MaxLineBytes) {
            const QByteArray line = m_buffer.left(end + 1);
            m_buffer.remove(0, end + 1);
            replyArrived();
            m_current = decodeLine(line);
            emit DataArrival(static_cast<qint32>(line.size()));
            m_current.clear();
            continue;
        }
        if (end >= MaxLineBytes || (end < 0 && m_buffer.size() >= MaxLineBytes)) {
            fail(MessageTooLong,
                 u"The server's reply line is longer than %1 bytes"_s.arg(MaxLineBytes));
            continue;
        }
        if (m_pendingError) {
            const PendingError error = *std::exchange(m_pendingError, std::nullopt);
            m_buffer.clear();
            emit Error(error.number, error.description);
            continue;
        }
        if (m_peerClosed && (!m_socket || m_socket->bytesAvailable() == 0)) {
            const bool cutShort = !m_buffer.isEmpty() || m_awaitedReplies > 0;
            releaseSocket();
            m_buffer.clear();
            if (cutShort)
                emit Error(ConnectionReset,
                           u"The server closed the connection before its reply was complete"_s);
            continue;
        }
        break;
    }
    m_delivering = false;
}

void Winsock1::pull()
{
    while (m_socket && m_buffer.size() < BufferBytes) {
        const qint64 available = m_socket->bytesAvailable();
        if (available <= 0)
            break;
        m_buffer += m_socket->read(std::min<qint64>(available, BufferBytes - m_buffer.size()));
    }
}

void Winsock1::replyArrived()
{
    if (m_awaitedReplies > 0)
        --m_awaitedReplies;
    if (m_awaitedReplies > 0)
        m_deadline.start(m_timeout);
    else
        m_deadline.stop();
}

void Winsock1::releaseSocket()
{
    m_deadline.stop();
    m_connecting = false;
    m_awaitedReplies = 0;
    m_peerClosed = false;
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    // Close may run inside one of this socket's own signals.
    socket->deleteLater();
}

void Winsock1::fail(qint16 number, const QString &description)
{
    releaseSocket();
    m_buffer.clear();
    if (!m_pendingError)
        m_pendingError = PendingError{number, description};
    scheduleDelivery();
}
