#pragma once

#include "mailcheck/TcpControl.h"

// One session's way to the watcher's single line channel. Several sessions (one per protocol) sit
// on the same channel, and only the one whose turn it is may use it: the others neither hear its
// events nor touch its connection, so a session left from a check of another protocol can never
// answer a line, a handshake or a certificate meant for the one now talking.
class SessionChannel final : public TcpControl
{
    Q_OBJECT

public:
    explicit SessionChannel(TcpControl &channel, QObject *parent = nullptr);

    // Gives the channel to this session, with its own line length, or takes it away.
    void setTurn(bool turn);
    bool hasTurn() const { return m_turn; }

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
    std::chrono::milliseconds replyTimeout() const override;
    QString tlsProtocol() const override;
    void setMaxLineBytes(qsizetype bytes) override;

private:
    TcpControl &m_channel;
    bool m_turn = false;
    qsizetype m_maxLineBytes = 0; // 0: the channel's own
};
