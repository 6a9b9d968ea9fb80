#include "signin/OAuth2Provider.h"

#include <algorithm>

using namespace Qt::StringLiterals;

OAuth2Provider OAuth2Provider::microsoft()
{
    // "common" takes personal and work accounts alike; a tenant of its own goes in the custom keys.
    const QString base = u"https://login.microsoftonline.com/common/oauth2/v2.0/"_s;
    return {u"microsoft"_s,
            QUrl(base + u"authorize"_s),
            QUrl(base + u"token"_s),
            QUrl(base + u"devicecode"_s),
            u"https://outlook.office.com/POP.AccessAsUser.All "
            "https://outlook.office.com/IMAP.AccessAsUser.All offline_access"_s,
            OAuth2Flow::Device};
}

OAuth2Provider OAuth2Provider::google()
{
    return {u"google"_s,
            QUrl(u"https://accounts.google.com/o/oauth2/v2/auth"_s),
            QUrl(u"https://oauth2.googleapis.com/token"_s),
            QUrl(),
            u"https://mail.google.com/"_s,
            OAuth2Flow::Loopback};
}

OAuth2SettingTexts
OAuth2SettingTexts::read(const std::function<QString(const QString &key)> &valueOf)
{
    return {valueOf(u"oauth2provider"_s),     valueOf(u"oauth2clientid"_s),
            valueOf(u"oauth2clientsecret"_s), valueOf(u"oauth2authurl"_s),
            valueOf(u"oauth2tokenurl"_s),     valueOf(u"oauth2deviceurl"_s),
            valueOf(u"oauth2scope"_s),        valueOf(u"oauth2flow"_s)};
}

namespace
{

bool holdsControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// An endpoint we send codes, secrets or tokens to: https, a host, nothing hidden in it.
std::optional<QUrl> endpoint(const QString &text, const QString &key, QString *why)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || holdsControlCharacter(text) || text.contains(u' ')) {
        *why = key + u" is not a valid address"_s;
        return std::nullopt;
    }
    if (url.scheme() != u"https"_s || url.host().isEmpty()) {
        *why = key + u" must be an https address"_s;
        return std::nullopt;
    }
    if (!url.userInfo().isEmpty() || url.hasFragment()) {
        *why = key + u" must not hold a user name, password or fragment"_s;
        return std::nullopt;
    }
    return url;
}

} // namespace

std::optional<OAuth2Client> oauth2ClientFromSettings(const OAuth2SettingTexts &texts,
                                                     QString *englishError)
{
    QString why;
    const auto refuse = [&](const QString &reason) -> std::optional<OAuth2Client> {
        if (englishError)
            *englishError = reason;
        return std::nullopt;
    };

    OAuth2Client client;
    const QString name = texts.provider.trimmed().toLower();
    if (name == u"microsoft"_s)
        client.provider = OAuth2Provider::microsoft();
    else if (name == u"google"_s)
        client.provider = OAuth2Provider::google();
    else if (name.isEmpty() || name == u"custom"_s)
        client.provider.name = u"custom"_s;
    else
        return refuse(u"oauth2provider '"_s + texts.provider.left(40) +
                      u"' is none of microsoft, google, custom"_s);

    struct Override {
        const QString &text;
        QString key;
        QUrl &url;
    };
    for (const Override &o :
         {Override{texts.authUrl, u"oauth2authurl"_s, client.provider.authorizationUrl},
          Override{texts.tokenUrl, u"oauth2tokenurl"_s, client.provider.tokenUrl},
          Override{texts.deviceUrl, u"oauth2deviceurl"_s,
                   client.provider.deviceAuthorizationUrl}}) {
        const QString text = o.text.trimmed();
        if (text.isEmpty())
            continue;
        const std::optional<QUrl> url = endpoint(text, o.key, &why);
        if (!url)
            return refuse(why);
        o.url = *url;
    }
    if (const QString scope = texts.scope.simplified(); !scope.isEmpty())
        client.provider.scope = scope;
    if (holdsControlCharacter(client.provider.scope))
        return refuse(u"oauth2scope holds a control character"_s);

    const QString flow = texts.flow.trimmed().toLower();
    if (flow.isEmpty())
        client.flow = client.provider.defaultFlow;
    else if (flow == u"loopback"_s)
        client.flow = OAuth2Flow::Loopback;
    else if (flow == u"device"_s)
        client.flow = OAuth2Flow::Device;
    else
        return refuse(u"oauth2flow '"_s + texts.flow.left(40) +
                      u"' is neither loopback nor device"_s);

    client.clientId = texts.clientId.trimmed();
    client.clientSecret = texts.clientSecret.trimmed();
    if (client.clientId.isEmpty())
        return refuse(u"oauth2clientid is empty: register a client with the provider"_s);
    if (holdsControlCharacter(client.clientId) || holdsControlCharacter(client.clientSecret))
        return refuse(u"oauth2clientid or oauth2clientsecret holds a control character"_s);

    if (client.provider.tokenUrl.isEmpty())
        return refuse(u"oauth2tokenurl is empty"_s);
    if (client.provider.scope.isEmpty())
        return refuse(u"oauth2scope is empty"_s);
    if (client.flow == OAuth2Flow::Loopback && client.provider.authorizationUrl.isEmpty())
        return refuse(u"oauth2authurl is empty, and the loopback flow needs it"_s);
    if (client.flow == OAuth2Flow::Device && client.provider.deviceAuthorizationUrl.isEmpty())
        return refuse(client.provider.name == u"google"_s
                          ? u"Google refuses its mail scope in the device flow: use loopback"_s
                          : u"oauth2deviceurl is empty, and the device flow needs it"_s);
    return client;
}
