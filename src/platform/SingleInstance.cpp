#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{
// The whole conversation: one line each way.
constexpr QByteArrayView ShowRequest = "show\n";
constexpr QByteArrayView ShownReply = "shown\n";
// Longer than any line of ours; anything past it is not one of our programs talking.
constexpr qint64 MaxLine = 64;
// A client that has not said its line by then is dropped (ms).
constexpr int ClientTimeout = 2000;
// Between two attempts to reach a program that holds the lock but is not listening yet (ms).
constexpr unsigned long RetryPause = 50;
} // namespace

SingleInstance::SingleInstance(const QString &settingsFolder, const QString &runtimeFolder,
                               QObject *parent)
    : QObject(parent)
{
    const QString folder = runtimeFolder.isEmpty()
                               ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                               : runtimeFolder;
    if (!folder.isEmpty())
        m_base = QDir::cleanPath(folder) + u"/larkspur-"_s + keyFor(settingsFolder);
}

SingleInstance::~SingleInstance()
{
    // The socket goes first: a later start that finds the lock free finds no socket either.
    if (m_server)
        m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::keyFor(const QString &settingsFolder)
{
    const QFileInfo info(settingsFolder);
    QString path = info.canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(info.absoluteFilePath());
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha256);
    return QString::fromLatin1(hash.toHex().left(24));
}

SingleInstance::Outcome SingleInstance::start(std::chrono::milliseconds answerWithin)
{
    if (m_base.isEmpty()) {
        m_error = u"no runtime folder (XDG_RUNTIME_DIR)"_s;
        return Outcome::Unguarded;
    }
    const QDeadlineTimer deadline(answerWithin);
    for (;;) {
        // Taken again on every round: the holder may end while we wait for it.
        switch (takeLock()) {
        case Lock::Taken:
            listen();
            return Outcome::First;
        case Lock::Failed:
            return Outcome::Unguarded;
        case Lock::Held:
            break;
        }
        if (askToShow(std::chrono::milliseconds(deadline.remainingTime())))
            return Outcome::HandedOver;
        if (deadline.hasExpired())
            return Outcome::NoAnswer;
        QThread::msleep(RetryPause);
    }
}

SingleInstance::Lock SingleInstance::takeLock()
{
    const QString path = lockPath();
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) {
        m_error = path + u": "_s + qt_error_string(errno);
        return Lock::Failed;
    }
    // flock, not a PID in a file: the kernel lets go of it when its holder ends in any way.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_lockFd = fd;
        m_error.clear();
        return Lock::Taken;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
        return Lock::Held;
    m_error = path + u": "_s + qt_error_string(error);
    return Lock::Failed;
}

bool SingleInstance::askToShow(std::chrono::milliseconds within)
{
    const QDeadlineTimer deadline(within);
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    bool answered = false;
    if (socket.waitForConnected(int(deadline.remainingTime()))) {
        socket.write(ShowRequest.data(), ShowRequest.size());
        socket.waitForBytesWritten(int(deadline.remainingTime()));
        while (!socket.canReadLine() && socket.bytesAvailable() < MaxLine &&
               socket.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        answered = socket.readLine(MaxLine) == ShownReply;
    }
    if (!answered)
        m_error = u"the program that holds %1 did not answer on %2: %3"_s.arg(
            lockPath(), socketPath(), socket.errorString());
    return answered;
}

void SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Whatever socket is there was left by a program that ended without closing it: we hold the
    // lock now.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath())) {
        m_error = socketPath() + u": "_s + m_server->errorString();
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection())
            serve(client);
    });
}

void SingleInstance::serve(QLocalSocket *client)
{
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    QTimer::singleShot(ClientTimeout, client, [client] {
        client->abort();
        client->deleteLater();
    });
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        if (!client->canReadLine() && client->bytesAvailable() < MaxLine)
            return;
        if (client->readLine(MaxLine) == ShowRequest) {
            showRequested();
            client->write(ShownReply.data(), ShownReply.size());
        }
        client->disconnectFromServer();
    });
}

void SingleInstance::showRequested()
{
    if (m_show)
        m_show();
    else
        ++m_pendingShows;
}

void SingleInstance::setShowHandler(std::function<void()> show)
{
    m_show = std::move(show);
    if (m_show && m_pendingShows > 0) {
        // One showing answers them all.
        m_pendingShows = 0;
        m_show();
    }
}
