#include "mailcheck/ServerAddress.h"

#include <QHostAddress>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

bool allDigits(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The port after the colon, or why it is none.
std::optional<quint16> portNumber(QStringView digits, QString *why)
{
    // More than five digits can be no port; the bound also keeps the conversion small.
    if (allDigits(digits) && digits.size() <= 5) {
        const uint value = digits.toUInt();
        if (value >= 1 && value <= 65535)
            return static_cast<quint16>(value);
    }
    *why = u"พอร์ตของเซิร์ฟเวอร์ต้องเป็นตัวเลข 1 ถึง 65535 : \"%1\" is no port"_s.arg(digits);
    return std::nullopt;
}

ServerAddress hostAndPort(const QString &text)
{
    ServerAddress address;
    address.host = text;

    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return address; // no address at all: the lookup says so
        const QString inside = text.mid(1, close - 1);
        const QStringView rest = QStringView(text).mid(close + 1);
        if (QHostAddress(inside).protocol() != QAbstractSocket::IPv6Protocol)
            return address;
        address.host = inside;
        if (rest.isEmpty())
            return address;
        if (!rest.startsWith(u':')) {
            address.host = text;
            return address;
        }
        address.port = portNumber(rest.mid(1), &address.invalidPort);
        return address;
    }

    // Two colons or more without brackets: a bare IPv6 address, which has no room for a port.
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0 || text.indexOf(u':', colon + 1) >= 0)
        return address;
    address.host = text.left(colon);
    address.port = portNumber(QStringView(text).mid(colon + 1), &address.invalidPort);
    return address;
}

struct Scheme {
    QStringView prefix;
    MailProtocol protocol;
    bool tlsAtOnce;
};

constexpr Scheme Schemes[] = {
    {u"imaps://", MailProtocol::Imap, true},
    {u"imap://", MailProtocol::Imap, false},
    {u"pop3s://", MailProtocol::Pop3, true},
    {u"pop3://", MailProtocol::Pop3, false},
};

} // namespace

ServerAddress parseServerAddress(const QString &text)
{
    for (const Scheme &scheme : Schemes) {
        if (!text.startsWith(scheme.prefix, Qt::CaseInsensitive))
            continue;
        QString rest = text.mid(scheme.prefix.size());
        // As a URL is often copied, with the slash that ends its authority.
        if (rest.endsWith(u'/'))
            rest.chop(1);
        ServerAddress address = hostAndPort(rest);
        address.protocol = scheme.protocol;
        address.tlsAtOnce = scheme.tlsAtOnce;
        return address;
    }
    ServerAddress address = hostAndPort(text);
    if (address.port == ImapPort || address.port == ImapsPort)
        address.protocol = MailProtocol::Imap;
    return address;
}

QString webAddressFor(const QString &serverText)
{
    for (const Scheme &scheme : Schemes) {
        if (!serverText.startsWith(scheme.prefix, Qt::CaseInsensitive))
            continue;
        const QString host = parseServerAddress(serverText).host;
        // An IPv6 address goes in brackets, as in any URL.
        return u"http://"_s + (host.contains(u':') ? u'[' + host + u']' : host);
    }
    return u"http://"_s + serverText;
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}
