#include "mailcheck/SecureChannel.h"

#include "mailcheck/ServerAddress.h"
#include "mailcheck/TcpControl.h"
#include "mailcheck/TlsTrust.h"
#include "wording/Wording.h"

#include <QSslCertificate>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace
{

QString englishOf(const QList<QSslError> &errors)
{
    QStringList texts;
    for (const QSslError &error : errors)
        if (!texts.contains(error.errorString()))
            texts += error.errorString();
    return texts.join(u"; "_s);
}

} // namespace

SecureChannel::Route SecureChannel::route(const QString &server, SecurityMode mode,
                                          quint16 plainPort, quint16 tlsPort,
                                          SecurityMemory &memory)
{
    m_mode = mode;
    m_server = server;
    m_startTls = false;
    m_trustedByUser = false;
    // What was learnt about another server says nothing about this one.
    memory = memory.forServer(server);

    const ServerAddress address = parseServerAddress(server);
    Route route;
    if (!address.invalidPort.isEmpty()) {
        route.refusal = address.invalidPort;
        return route;
    }
    m_host = address.host;
    route.host = address.host;
    // "imaps://" and "pop3s://" ask for TLS in so many words: no choice makes that plain.
    if (mode == SecurityMode::None && !address.tlsAtOnce) {
        route.port = address.port.value_or(plainPort);
        return route;
    }
    const bool atOnce = mode == SecurityMode::Tls || address.tlsAtOnce ||
                        (mode == SecurityMode::Automatic && address.port == tlsPort);
    m_startTls = !atOnce;
    route.tls = atOnce ? Tls::AtOnce : Tls::Later;
    route.port = address.port.value_or(atOnce ? tlsPort : plainPort);
    return route;
}

std::optional<QString> SecureChannel::refusalWithoutStartTls(const SecurityMemory &memory) const
{
    switch (withoutStartTls(memory)) {
    case WithoutStartTls::GoOn:
        return std::nullopt;
    case WithoutStartTls::ChosenButMissing:
        return Wording::noStartTlsAsChosen();
    case WithoutStartTls::GoneSinceLastTime:
        return Wording::startTlsGoneSinceLastTime();
    case WithoutStartTls::NotOffered:
        break;
    }
    return Wording::noEncryptionOffered();
}

SecureChannel::WithoutStartTls SecureChannel::withoutStartTls(const SecurityMemory &memory) const
{
    if (m_mode == SecurityMode::StartTls)
        return WithoutStartTls::ChosenButMissing;
    if (!memory.tlsServer.isEmpty())
        return WithoutStartTls::GoneSinceLastTime;
    // A server on this machine: nobody can be in the middle.
    if (isLoopbackHost(m_host))
        return WithoutStartTls::GoOn;
    return WithoutStartTls::NotOffered;
}

bool SecureChannel::encrypted(SecurityMemory &memory)
{
    if (memory.tlsServer == m_server)
        return false;
    memory.tlsServer = m_server;
    return true;
}

QString SecureChannel::note(const QString &protocol) const
{
    return Wording::encryptedNote(protocol, m_startTls, m_trustedByUser);
}

SecureChannel::Verdict SecureChannel::judge(const QSslCertificate &certificate,
                                            const QList<QSslError> &errors,
                                            const SecurityMemory &memory)
{
    // Out of date, for another name, revoked: not the user's to overlook.
    if (!TlsTrust::userMayTrust(errors))
        return {Verdict::Kind::Refuse, TlsTrust::describe(errors)};

    const QByteArray sha256 = TlsTrust::sha256(certificate);
    if (!memory.trustedServer.isEmpty()) {
        if (sha256 == memory.trustedSha256) {
            m_trustedByUser = true;
            return {Verdict::Kind::Trust, QString()};
        }
        return {Verdict::Kind::Refuse, Wording::certificateChanged(englishOf(errors))};
    }

    const QString asked = m_server + u' ' + QString::fromLatin1(sha256);
    if (m_asked.contains(asked))
        return {Verdict::Kind::Refuse, TlsTrust::describe(errors)};
    m_asked.insert(asked);
    m_questionServer = m_server;
    m_questionSha256 = sha256;
    return {Verdict::Kind::Ask, Wording::trustQuestion(m_server, englishOf(errors),
                                                       TlsTrust::fingerprintForDisplay(sha256))};
}

bool SecureChannel::answer(bool trust, SecurityMemory &memory)
{
    const QString server = std::exchange(m_questionServer, QString());
    const QByteArray sha256 = std::exchange(m_questionSha256, QByteArray());
    if (!trust || server.isEmpty())
        return false;
    // The answer holds for the certificate even when a newer check has taken over meanwhile:
    // that check meets it when its own handshake is decided.
    memory.trustedServer = server;
    memory.trustedSha256 = sha256;
    if (server == m_server)
        m_trustedByUser = true;
    return true;
}

std::optional<QString> SecureChannel::settle(TcpControl &channel,
                                             const QSslCertificate &certificate,
                                             const QList<QSslError> &errors,
                                             const SecurityMemory &memory)
{
    const Verdict verdict = judge(certificate, errors, memory);
    switch (verdict.kind) {
    case Verdict::Kind::Trust:
        channel.trustCertificate();
        return std::nullopt;
    case Verdict::Kind::Refuse:
        channel.refuseCertificate(verdict.text);
        return std::nullopt;
    case Verdict::Kind::Ask:
        m_refusalIfNo = TlsTrust::describe(errors);
        return verdict.text;
    }
    return std::nullopt;
}

void SecureChannel::resume(bool trust, TcpControl &channel) const
{
    if (trust)
        channel.trustCertificate();
    else
        channel.refuseCertificate(m_refusalIfNo);
}

std::optional<QString> SecureChannel::open(TcpControl &channel, const Route &route)
{
    channel.setLocalPort(0);
    QString failure;
    bool requested = false;
    switch (route.tls) {
    case Tls::None:
        requested = channel.Connect(route.host, route.port, &failure);
        break;
    case Tls::AtOnce:
        requested =
            channel.connectSecure(route.host, route.port, TcpControl::TlsStart::AtOnce, &failure);
        break;
    case Tls::Later:
        requested =
            channel.connectSecure(route.host, route.port, TcpControl::TlsStart::Later, &failure);
        break;
    }
    if (requested)
        return std::nullopt;
    return failure;
}
