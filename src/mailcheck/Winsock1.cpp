#include "mailcheck/Winsock1.h"

#include "mailcheck/TlsTrust.h"
#include "wording/Wording.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

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

bool Winsock1::isEncrypted() const
{
    return m_ssl && m_ssl->isEncrypted();
}

// What is held at most: our undelivered bytes, and as much again in the socket's own buffer.
// Past that the kernel holds the rest and TCP slows the server down.
qsizetype Winsock1::bufferBytes() const
{
    return 4 * m_maxLineBytes;
}

void Winsock1::Close()
{
    releaseSocket();
    m_buffer.clear();
    m_current.clear();
    m_currentBytes.clear();
    m_pendingError.reset();
}

void Winsock1::setLocalPort(quint16 port)
{
    m_localPort = port;
}

bool Winsock1::Connect(const QString &host, quint16 port, QString *errorText)
{
    return open(host, port, std::nullopt, errorText);
}

bool Winsock1::connectSecure(const QString &host, quint16 port, TlsStart start, QString *errorText)
{
    return open(host, port, start, errorText);
}

bool Winsock1::open(const QString &host, quint16 port, std::optional<TlsStart> tls,
                    QString *errorText)
{
    Close();
    const auto refuse = [errorText](const QString &why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    if (port == 0)
        return refuse(Wording::portZero());
    if (holdsControlCharacter(host))
        return refuse(Wording::controlCharacterInServerName());
    if (tls && !QSslSocket::supportsSsl())
        return refuse(Wording::noTlsLibrary(QSslSocket::sslLibraryBuildVersionString()));

    // "[::1]" as in a URL: the brackets are not part of the address.
    QString target = host;
    if (target.size() > 2 && target.startsWith(u'[') && target.endsWith(u']') &&
        QHostAddress(target.mid(1, target.size() - 2)).protocol() == QAbstractSocket::IPv6Protocol)
        target = target.mid(1, target.size() - 2);

    // A plain check keeps to a plain socket: no TLS library is loaded for it.
    QSslSocket *ssl = tls ? new QSslSocket(this) : nullptr;
    QTcpSocket *socket = ssl ? ssl : new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(bufferBytes());
    if (m_localPort != 0 && !socket->bind(QHostAddress::Any, m_localPort)) {
        const QString why = Wording::localPortUnusable(m_localPort, socket->errorString());
        delete socket;
        return refuse(why);
    }
    m_socket = socket;
    m_ssl = ssl;
    connect(socket, &QTcpSocket::connected, this, &Winsock1::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &Winsock1::scheduleDelivery);
    connect(socket, &QTcpSocket::errorOccurred, this, &Winsock1::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &Winsock1::onPeerClosed);
    if (ssl) {
        ssl->setSslConfiguration(TlsTrust::clientConfiguration());
        // The certificate must name the server as the user typed it.
        ssl->setPeerVerifyName(target);
        // A certificate that fails verification holds the handshake until it has been decided
        // on, outside the socket's own signal.
        ssl->setPauseMode(QAbstractSocket::PauseOnSslErrors);
        connect(ssl, &QSslSocket::encrypted, this, &Winsock1::onEncrypted);
        connect(ssl, &QSslSocket::sslErrors, this, &Winsock1::onSslErrors);
    }

    m_connecting = true;
    m_deadline.start(m_timeout);
    // A failure found at once (a literal address that refuses) is queued like any other, so the
    // Error event comes from the event loop after this call has returned.
    if (ssl && *tls == TlsStart::AtOnce)
        ssl->connectToHostEncrypted(target, port, target);
    else
        socket->connectToHost(target, port);
    return true;
}

QString Winsock1::GetData()
{
    return std::exchange(m_current, QString());
}

QByteArray Winsock1::lineBytes() const
{
    return m_currentBytes;
}

bool Winsock1::hasPendingData()
{
    pull();
    return !m_buffer.isEmpty() || (m_socket && m_socket->bytesAvailable() > 0);
}

void Winsock1::setMaxLineBytes(qsizetype bytes)
{
    m_maxLineBytes = std::max<qsizetype>(bytes, MaxLineBytes);
}

bool Winsock1::SendData(const QString &line)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    // Nothing leaves while the handshake is under way: it would go out once it ends, before
    // anyone has seen whether it ended well.
    if (m_ssl && m_ssl->mode() != QSslSocket::UnencryptedMode && !m_ssl->isEncrypted())
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

bool Winsock1::startTls()
{
    if (!m_ssl || m_ssl->mode() != QSslSocket::UnencryptedMode ||
        m_ssl->state() != QAbstractSocket::ConnectedState) {
        fail(NoEncryption, Wording::startTlsImpossible());
        return false;
    }
    // A server says nothing between its "+OK" and the handshake; whatever stands there was put in
    // by someone on the way, to be read as if it had come encrypted.
    pull();
    if (!m_buffer.isEmpty() || m_ssl->bytesAvailable() > 0) {
        fail(ClearTextInjected, Wording::clearTextAfterStls());
        return false;
    }
    m_handshaking = true;
    m_deadline.start(m_timeout);
    m_ssl->startClientEncryption();
    return true;
}

void Winsock1::trustCertificate()
{
    if (!m_certificatePending || !m_ssl)
        return;
    m_certificatePending = false;
    // Exactly the errors seen for exactly this certificate: anything else still fails.
    m_ssl->ignoreSslErrors(m_sslErrors);
    m_deadline.start(m_timeout);
    m_ssl->resume();
}

void Winsock1::refuseCertificate(const QString &description)
{
    if (!m_certificatePending)
        return;
    m_certificatePending = false;
    fail(CertificateRefused, description);
}

QString Winsock1::tlsProtocol() const
{
    if (!isEncrypted())
        return {};
    switch (m_ssl->sessionProtocol()) {
    case QSsl::TlsV1_3:
        return u"TLS 1.3"_s;
    case QSsl::TlsV1_2:
        return u"TLS 1.2"_s;
    default:
        return u"TLS"_s;
    }
}

void Winsock1::onConnected()
{
    m_connecting = false;
    m_awaitedReplies = 1; // the greeting
    m_handshaking = m_ssl && m_ssl->mode() != QSslSocket::UnencryptedMode;
    m_deadline.start(m_timeout);
}

void Winsock1::onEncrypted()
{
    m_handshaking = false;
    m_encryptedPending = true;
    // POP3S: the greeting comes now, with a deadline of its own; STLS: nothing is awaited.
    if (m_awaitedReplies > 0)
        m_deadline.start(m_timeout);
    else
        m_deadline.stop();
    scheduleDelivery();
}

void Winsock1::onSslErrors(const QList<QSslError> &errors)
{
    // The handshake now waits (pause mode); whoever decides may take longer than any deadline.
    m_deadline.stop();
    m_certificatePending = true;
    m_certificateAsked = false;
    m_sslErrors = errors;
    m_peerCertificate = m_ssl->peerCertificate();
    scheduleDelivery();
}

void Winsock1::onPeerClosed()
{
    if (m_handshaking) {
        fail(TlsHandshakeFailed, Wording::closedDuringHandshake());
        return;
    }
    m_peerClosed = true;
    scheduleDelivery();
}

void Winsock1::onSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // Whether that cut a reply short is known once every whole line has been delivered.
        onPeerClosed();
        return;
    }

    const QString reason = m_socket ? m_socket->errorString() : QString();
    const QString description = Wording::socketFailure(error, reason);
    qint16 number = InvalidArgument;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        number = ConnectionRefused;
        break;
    case QAbstractSocket::HostNotFoundError:
        number = HostNotFound;
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
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        number = TlsHandshakeFailed;
        break;
    default:
        break;
    }

    // Whole lines that came before the failure are still delivered first; the socket's own buffer
    // is bounded, so this stays small. Never after a failed handshake: those bytes are not
    // plaintext anyone vouched for.
    if (m_socket && !m_handshaking)
        m_buffer += m_socket->readAll();
    releaseSocket();
    if (!m_pendingError)
        m_pendingError = PendingError{number, description};
    scheduleDelivery();
}

void Winsock1::onDeadline()
{
    if (m_handshaking) {
        fail(TimedOut, Wording::handshakeTimedOut(m_timeout));
        return;
    }
    // A whole line already here has come in time; it waits only for its turn.
    if (m_buffer.contains('\n'))
        return;
    if (m_connecting)
        fail(TimedOut, Wording::connectTimedOut(m_timeout));
    else
        fail(TimedOut, Wording::replyTimedOut(m_timeout));
}

void Winsock1::scheduleDelivery()
{
    if (m_deliveryPosted)
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, &Winsock1::deliver, Qt::QueuedConnection);
}

// The one place that raises DataArrival, Error, Encrypted and CertificateCheck. A handler that
// lets events run in its middle does not get a second event inside the first: the loop below
// hands out the next one after it.
void Winsock1::deliver()
{
    m_deliveryPosted = false;
    if (m_delivering)
        return;
    m_delivering = true;
    for (;;) {
        if (m_encryptedPending) {
            m_encryptedPending = false;
            emit encrypted();
            continue;
        }
        if (m_certificatePending && !m_certificateAsked) {
            m_certificateAsked = true;
            // Answered now or once someone has decided; the handshake waits until then.
            emit certificateCheck(*m_peerCertificate, m_sslErrors);
            continue;
        }
        pull();
        const qsizetype end = m_buffer.indexOf('\n');
        if (end >= 0 && end < m_maxLineBytes) {
            m_currentBytes = m_buffer.left(end + 1);
            m_buffer.remove(0, end + 1);
            replyArrived();
            m_current = decodeLine(m_currentBytes);
            emit DataArrival(static_cast<qint32>(m_currentBytes.size()));
            m_current.clear();
            m_currentBytes.clear();
            continue;
        }
        if (end >= m_maxLineBytes || (end < 0 && m_buffer.size() >= m_maxLineBytes)) {
            fail(MessageTooLong, Wording::replyLineTooLong(m_maxLineBytes));
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
                emit Error(ConnectionReset, Wording::closedBeforeReplyComplete());
            else
                emit closedByPeer();
            continue;
        }
        break;
    }
    m_delivering = false;
}

void Winsock1::pull()
{
    // While the handshake runs there is nothing to read: a TLS socket gives decrypted bytes only.
    const qsizetype limit = bufferBytes();
    while (m_socket && m_buffer.size() < limit) {
        const qint64 available = m_socket->bytesAvailable();
        if (available <= 0)
            break;
        m_buffer += m_socket->read(std::min<qint64>(available, limit - m_buffer.size()));
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
    m_handshaking = false;
    m_encryptedPending = false;
    m_certificatePending = false;
    m_certificateAsked = false;
    m_sslErrors.clear();
    m_peerCertificate.reset();
    m_awaitedReplies = 0;
    m_peerClosed = false;
    if (!m_socket)
        return;
    ++m_generation;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    m_ssl = nullptr;
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
