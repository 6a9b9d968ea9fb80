#pragma once

#include "mailcheck/TcpControl.h"

#include <QStringList>

// A socket that connects nowhere and records what the window asks of it.
class FakeSocket final : public TcpControl
{
public:
    QStringList connects;
    QStringList sent;
    int closes = 0;
    QString pending;
    QByteArray pendingBytes;

    void Close() override { ++closes; }
    void setLocalPort(quint16) override {}
    bool Connect(const QString &host, quint16 port, QString * = nullptr) override
    {
        connects.append(host + u':' + QString::number(port));
        return true;
    }
    // Recorded the same way: whether it encrypts is the security layer's business, tested there.
    bool connectSecure(const QString &host, quint16 port, TlsStart, QString * = nullptr) override
    {
        return Connect(host, port);
    }
    QString GetData() override { return std::exchange(pending, QString()); }
    QByteArray lineBytes() const override { return pendingBytes; }
    bool SendData(const QString &line) override
    {
        sent.append(line);
        return true;
    }
    // Delivers one server line as the real socket would.
    void arrive(const QString &line)
    {
        pending = line;
        pendingBytes = line.toUtf8();
        emit DataArrival(qint32(line.size()));
        pendingBytes.clear();
    }
};
