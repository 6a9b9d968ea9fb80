#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <chrono>

class QTcpServer;
class QTcpSocket;

// The loopback end of a browser sign-in (RFC 8252 section 7.3): a listener on 127.0.0.1 at a port
// the system picks, which reads no more of each request than its first line and headers, answers
// with a small page in Thai and reports the redirect that carries our state. Any other request
// (a stray page, a favicon, a wrong or missing state) is answered and changes nothing.
class LoopbackRedirect final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxRequestBytes = 8 * 1024;
    static constexpr int MaxConnections = 8;
    static constexpr std::chrono::milliseconds ConnectionDeadline{10'000};

    explicit LoopbackRedirect(QObject *parent = nullptr);
    ~LoopbackRedirect() override;

    // Starts listening for a redirect that carries state. False, with the reason in
    // *englishError, when nothing can listen on 127.0.0.1.
    bool listen(const QByteArray &state, QString *englishError = nullptr);
    // Stops taking connections; answers already written still go out.
    void close();
    // http://127.0.0.1:<port>/ while listening.
    QString redirectUri() const;

signals:
    // The redirect with our state: the authorization code, or the server's error and its
    // description (RFC 6749 section 4.1.2.1).
    void codeArrived(const QString &code);
    void errorArrived(const QString &error, const QString &description);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void handle(QTcpSocket *socket, const QByteArray &head);
    void answer(QTcpSocket *socket, int status, const QString &text);

    QTcpServer *m_server;
    QByteArray m_state;
    QHash<QTcpSocket *, QByteArray> m_requests;
    bool m_done = false;
};
