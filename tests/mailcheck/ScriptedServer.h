#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <sys/socket.h>

// A POP3 server that is only a script, on a loopback address only: it greets with `greeting`,
// answers each whole line it receives with the next of `answers`, and records what it got. Tests
// also send raw bytes, close or reset the connection themselves.
class ScriptedServer : public QObject
{
public:
    explicit ScriptedServer(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        m_listening = m_server.listen(address, 0);
        connect(&m_server, &QTcpServer::newConnection, this, &ScriptedServer::accept);
    }

    QByteArray greeting;
    QList<QByteArray> answers;
    QList<QByteArray> received;
    // Closes the connection once the answers have run out and the last one is sent.
    bool closeAfterAnswers = false;

    bool isListening() const { return m_listening; }
    quint16 port() const { return m_server.serverPort(); }
    QTcpSocket *client() const { return m_client; }

    [[nodiscard]] bool waitForClient(int timeoutMs = 10'000)
    {
        return QTest::qWaitFor([this] { return !m_client.isNull(); }, timeoutMs);
    }
    // True once the client has closed its side (or the connection is otherwise gone).
    [[nodiscard]] bool waitForClientGone(int timeoutMs = 10'000)
    {
        return QTest::qWaitFor(
            [this] {
                return m_client.isNull() || m_client->state() != QAbstractSocket::ConnectedState;
            },
            timeoutMs);
    }
    [[nodiscard]] bool waitForLines(qsizetype count, int timeoutMs = 10'000)
    {
        return QTest::qWaitFor([this, count] { return received.size() >= count; }, timeoutMs);
    }

    void send(const QByteArray &bytes)
    {
        m_client->write(bytes);
        m_client->flush();
    }
    // A FIN: everything sent so far still arrives.
    void close() { m_client->disconnectFromHost(); }
    // An RST: linger with a zero time-out makes close() drop the connection on the spot.
    void reset()
    {
        const linger hard{1, 0};
        ::setsockopt(static_cast<int>(m_client->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                     sizeof hard);
        m_client->abort();
    }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_client = socket;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { take(socket); });
            if (!greeting.isEmpty())
                send(greeting);
        }
    }

    void take(QTcpSocket *socket)
    {
        m_pending += socket->readAll();
        for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            received << m_pending.left(end + 1);
            m_pending.remove(0, end + 1);
            if (!answers.isEmpty()) {
                send(answers.takeFirst());
                if (answers.isEmpty() && closeAfterAnswers)
                    close();
            }
        }
    }

    QTcpServer m_server;
    bool m_listening = false;
    QPointer<QTcpSocket> m_client;
    QByteArray m_pending;
};
