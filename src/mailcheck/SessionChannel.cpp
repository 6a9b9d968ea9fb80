#include "mailcheck/SessionChannel.h"

SessionChannel::SessionChannel(TcpControl &channel, QObject *parent)
    : TcpControl(parent), m_channel(channel)
{
    connect(&m_channel, &TcpControl::DataArrival, this, [this](qint32 bytes) {
        if (m_turn)
            emit DataArrival(bytes);
    });
    connect(&m_channel, &TcpControl::Error, this, [this](qint16 number, const QString &text) {
        if (m_turn)
            emit Error(number, text);
    });
    connect(&m_channel, &TcpControl::encrypted, this, [this] {
        if (m_turn)
            emit encrypted();
    });
    connect(&m_channel, &TcpControl::certificateCheck, this,
            [this](const QSslCertificate &certificate, const QList<QSslError> &errors) {
                if (m_turn)
                    emit certificateCheck(certificate, errors);
            });
    connect(&m_channel, &TcpControl::closedByPeer, this, [this] {
        if (m_turn)
            emit closedByPeer();
    });
}

void SessionChannel::setTurn(bool turn)
{
    m_turn = turn;
    if (m_turn)
        m_channel.setMaxLineBytes(m_maxLineBytes);
}

void SessionChannel::Close()
{
    if (m_turn)
        m_channel.Close();
}

void SessionChannel::setLocalPort(quint16 port)
{
    if (m_turn)
        m_channel.setLocalPort(port);
}

bool SessionChannel::Connect(const QString &host, quint16 port, QString *errorText)
{
    // Without the turn nothing connects: the watcher gives it before any session starts.
    return m_turn && m_channel.Connect(host, port, errorText);
}

QString SessionChannel::GetData()
{
    return m_turn ? m_channel.GetData() : QString();
}

QByteArray SessionChannel::lineBytes() const
{
    return m_turn ? m_channel.lineBytes() : QByteArray();
}

bool SessionChannel::SendData(const QString &line)
{
    return m_turn && m_channel.SendData(line);
}

bool SessionChannel::hasPendingData()
{
    return m_turn && m_channel.hasPendingData();
}

bool SessionChannel::connectSecure(const QString &host, quint16 port, TlsStart start,
                                   QString *errorText)
{
    return m_turn && m_channel.connectSecure(host, port, start, errorText);
}

bool SessionChannel::startTls()
{
    return m_turn && m_channel.startTls();
}

void SessionChannel::trustCertificate()
{
    if (m_turn)
        m_channel.trustCertificate();
}

void SessionChannel::refuseCertificate(const QString &description)
{
    if (m_turn)
        m_channel.refuseCertificate(description);
}

std::chrono::milliseconds SessionChannel::replyTimeout() const
{
    return m_channel.replyTimeout();
}

QString SessionChannel::tlsProtocol() const
{
    return m_turn ? m_channel.tlsProtocol() : QString();
}

void SessionChannel::setMaxLineBytes(qsizetype bytes)
{
    m_maxLineBytes = bytes;
    if (m_turn)
        m_channel.setMaxLineBytes(bytes);
}
