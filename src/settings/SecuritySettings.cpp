#include "settings/SecuritySettings.h"

#include <algorithm>

using namespace Qt::StringLiterals;

QString securityModeSetting(SecurityMode mode)
{
    switch (mode) {
    case SecurityMode::Tls:
        return u"tls"_s;
    case SecurityMode::StartTls:
        return u"starttls"_s;
    case SecurityMode::None:
        return u"none"_s;
    case SecurityMode::Automatic:
        break;
    }
    return u"auto"_s;
}

SecurityMode securityModeFromSetting(const QString &value)
{
    const QString v = value.trimmed().toLower();
    if (v == u"tls"_s)
        return SecurityMode::Tls;
    if (v == u"starttls"_s)
        return SecurityMode::StartTls;
    if (v == u"none"_s)
        return SecurityMode::None;
    return SecurityMode::Automatic;
}

SecurityMemory SecurityMemory::forServer(const QString &server) const
{
    SecurityMemory memory;
    if (!tlsServer.isEmpty() && tlsServer == server)
        memory.tlsServer = tlsServer;
    if (!trustedServer.isEmpty() && trustedServer == server && !trustedSha256.isEmpty()) {
        memory.trustedServer = trustedServer;
        memory.trustedSha256 = trustedSha256;
    }
    return memory;
}

QByteArray normalisedSha256(const QByteArray &text)
{
    QByteArray digits = text.trimmed().toLower();
    digits.replace(':', QByteArray());
    const bool hex = std::all_of(digits.cbegin(), digits.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
    return hex && digits.size() == 64 ? digits : QByteArray();
}
