#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

// A POP3 server that is only a script and may speak TLS: from the first byte, after STLS, never,
// or not at all (silence). QSslServer is not in Qt 6.4: each connection is a QSslSocket given
// the accepted descriptor. It records every line it receives (decrypted), answers each with the
// next of `answers`, and serves the certificate `certificate` of tests/support/make-test-certs
// from $LARKSPUR_TEST_CERTS.
class TlsScriptedServer : public QTcpServer
{
public:
    enum class Tls {
        AtOnce,    // the handshake first, the greeting after it
        AfterStls, // plain; the answer to "STLS" is `stlsAnswer`, then the handshake
        Never,     // plain throughout
        Silent,    // accepts and never says a word, TLS or not
    };

    explicit TlsScriptedServer(Tls mode,
                               const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
        : tls(mode)
    {
        m_listening = listen(address, 0);
    }

    Tls tls;
    QString certificate = QStringLiteral("server");
    QByteArray greeting = "+OK scripted\r\n";
    QList<QByteArray> answers;
    QByteArray stlsAnswer = "+OK Begin TLS negotiation\r\n";
    QList<QByteArray> received;

    bool isListening() const { return m_listening; }
    bool receivedCommand(const QByteArray &command) const
    {
        for (const QByteArray &line : received)
            if (line.startsWith(command))
                return true;
        return false;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        m_client = socket;
        const QString folder = qEnvironmentVariable("LARKSPUR_TEST_CERTS") + u'/';
        socket->setLocalCertificate(folder + certificate + QStringLiteral(".pem"));
        socket->setPrivateKey(folder + certificate + QStringLiteral(".key"), QSsl::Ec);
        connect(socket, &QSslSocket::readyRead, this, [this, socket] { take(socket); });
        connect(socket, &QSslSocket::encrypted, this, [this, socket] {
            if (tls == Tls::AtOnce)
                send(socket, greeting);
        });
        switch (tls) {
        case Tls::AtOnce:
            socket->startServerEncryption();
            break;
        case Tls::AfterStls:
        case Tls::Never:
            send(socket, greeting);
            break;
        case Tls::Silent:
            break;
        }
    }

private:
    void send(QSslSocket *socket, const QByteArray &bytes)
    {
        socket->write(bytes);
        socket->flush();
    }

    void take(QSslSocket *socket)
    {
        m_pending += socket->readAll();
        for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            const QByteArray line = m_pending.left(end + 1);
            received << line;
            m_pending.remove(0, end + 1);
            if (tls == Tls::AfterStls && line == "STLS\r\n" && !socket->isEncrypted()) {
                send(socket, stlsAnswer);
                socket->startServerEncryption();
                continue;
            }
            if (!answers.isEmpty())
                send(socket, answers.takeFirst());
        }
    }

    bool m_listening = false;
    QPointer<QSslSocket> m_client;
    QByteArray m_pending;
};
