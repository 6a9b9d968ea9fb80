#include "signin/LoopbackRedirect.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace
{

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return QByteArrayLiteral("OK");
    case 400:
        return QByteArrayLiteral("Bad Request");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 405:
        return QByteArrayLiteral("Method Not Allowed");
    default:
        return QByteArrayLiteral("Request Header Fields Too Large");
    }
}

// The page the browser shows: Thai, no script, nothing loaded from elsewhere.
QByteArray page(const QString &text)
{
    return u"<!DOCTYPE html>\n<html lang=\"th\"><head><meta charset=\"utf-8\">"
           "<title>Larkspur</title></head>\n<body><p>"_s.toUtf8() +
           text.toHtmlEscaped().toUtf8() + QByteArrayLiteral("</p></body></html>\n");
}

// A query of application/x-www-form-urlencoded pairs: "+" stands for a blank.
QUrlQuery formQuery(const QByteArray &query)
{
    QByteArray spaced = query;
    spaced.replace('+', QByteArrayLiteral("%20"));
    return QUrlQuery(QString::fromLatin1(spaced));
}

} // namespace

LoopbackRedirect::LoopbackRedirect(QObject *parent)
    : QObject(parent), m_server(new QTcpServer(this))
{
    m_server->setMaxPendingConnections(MaxConnections);
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackRedirect::onNewConnection);
}

LoopbackRedirect::~LoopbackRedirect() = default;

bool LoopbackRedirect::listen(const QByteArray &state, QString *englishError)
{
    m_state = state;
    m_done = false;
    if (m_server->listen(QHostAddress::LocalHost, 0))
        return true;
    if (englishError)
        *englishError = u"cannot listen on 127.0.0.1: "_s + m_server->errorString();
    return false;
}

void LoopbackRedirect::close()
{
    m_server->close();
}

QString LoopbackRedirect::redirectUri() const
{
    return u"http://127.0.0.1:%1/"_s.arg(m_server->serverPort());
}

void LoopbackRedirect::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        // Loopback only, and only a few at a time: a browser opens some spare connections, nobody
        // needs more.
        if (!socket->peerAddress().isLoopback() || m_requests.size() >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_requests.insert(socket, QByteArray());
        socket->setReadBufferSize(MaxRequestBytes);
        auto *deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
        deadline->start(ConnectionDeadline);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_requests.remove(socket);
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void LoopbackRedirect::onReadyRead(QTcpSocket *socket)
{
    // Sockets already answered are no longer listed: what else they send is not read.
    auto request = m_requests.find(socket);
    if (request == m_requests.end())
        return;
    request->append(socket->read(MaxRequestBytes + 1 - request->size()));
    const qsizetype end = request->indexOf("\r\n\r\n");
    if (end >= 0) {
        const QByteArray head = request->left(end);
        m_requests.erase(request);
        handle(socket, head);
    } else if (request->size() > MaxRequestBytes) {
        m_requests.erase(request);
        answer(socket, 431, u"คำขอยาวเกินไป"_s);
    }
}

void LoopbackRedirect::handle(QTcpSocket *socket, const QByteArray &head)
{
    const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
    if (words.size() != 3 || !words.at(2).startsWith("HTTP/1."))
        return answer(socket, 400, u"คำขอไม่ถูกต้อง"_s);
    if (words.at(0) != "GET")
        return answer(socket, 405, u"คำขอไม่ถูกต้อง"_s);
    const QByteArray &target = words.at(1);
    const qsizetype mark = target.indexOf('?');
    if (target.left(mark) != "/")
        return answer(socket, 404, u"ไม่พบหน้านี้"_s);
    const QUrlQuery query = formQuery(mark < 0 ? QByteArray() : target.mid(mark + 1));
    const auto value = [&query](const QString &key) {
        return query.queryItemValue(key, QUrl::FullyDecoded);
    };
    // Anyone on this machine may send a browser here; only our own request's answer counts.
    if (m_done || value(u"state"_s).toUtf8() != m_state || m_state.isEmpty())
        return answer(socket, 400, u"คำขอนี้ไม่ใช่การลงชื่อเข้าใช้ที่ Larkspur รออยู่"_s);
    const QString error = value(u"error"_s);
    const QString code = value(u"code"_s);
    if (error.isEmpty() && code.isEmpty())
        return answer(socket, 400, u"คำขอไม่ถูกต้อง"_s);
    m_done = true;
    if (!error.isEmpty()) {
        answer(socket, 200, u"ลงชื่อเข้าใช้ไม่สำเร็จ ดูเหตุผลใน Larkspur แล้วปิดแท็บนี้ได้"_s);
        emit errorArrived(error, value(u"error_description"_s));
    } else {
        answer(socket, 200, u"ลงชื่อเข้าใช้เรียบร้อย ปิดแท็บนี้ได้"_s);
        emit codeArrived(code);
    }
}

void LoopbackRedirect::answer(QTcpSocket *socket, int status, const QString &text)
{
    const QByteArray body = page(text);
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                       "\r\nContent-Type: text/html; charset=utf-8"
                       "\r\nContent-Length: " +
                       QByteArray::number(body.size()) +
                       "\r\nCache-Control: no-store"
                       "\r\nReferrer-Policy: no-referrer"
                       "\r\nConnection: close\r\n\r\n" +
                       body;
    socket->write(reply);
    socket->disconnectFromHost();
}
