#include "signin/SaslOAuth.h"

#include "signin/OAuth2Tokens.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace SaslOAuth
{

namespace
{

constexpr char Separator = '\x01';

bool usableUser(const QString &user)
{
    return !user.isEmpty() && std::none_of(user.cbegin(), user.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control;
    });
}

// Visible ASCII without a blank: nothing that could end the SASL field or the command line. (Wider
// than RFC 6750's b64token: some providers' tokens hold "!" or "*".)
bool usableToken(const QString &token)
{
    return !token.isEmpty() && std::all_of(token.cbegin(), token.cend(), [](QChar c) {
        return c.unicode() > 0x20 && c.unicode() < 0x7f;
    });
}

QByteArray bearerPart(const QString &accessToken)
{
    return QByteArrayLiteral("auth=Bearer ") + accessToken.toLatin1() + Separator + Separator;
}

} // namespace

std::optional<QByteArray> xoauth2(const QString &user, const QString &accessToken)
{
    if (!usableUser(user) || !usableToken(accessToken))
        return std::nullopt;
    return (QByteArrayLiteral("user=") + user.toUtf8() + Separator + bearerPart(accessToken))
        .toBase64();
}

std::optional<QByteArray> oauthBearer(const QString &user, const QString &accessToken)
{
    if (!usableUser(user) || !usableToken(accessToken))
        return std::nullopt;
    QByteArray name = user.toUtf8();
    // "=" first, so that the "=" of "=2C" is not escaped again.
    name.replace('=', QByteArrayLiteral("=3D")).replace(',', QByteArrayLiteral("=2C"));
    return (QByteArrayLiteral("n,a=") + name + ',' + Separator + bearerPart(accessToken))
        .toBase64();
}

QByteArray xoauth2ErrorReply()
{
    return QByteArray();
}

QByteArray oauthBearerErrorReply()
{
    return QByteArray(1, Separator).toBase64();
}

QString errorChallengeText(const QByteArray &base64Challenge)
{
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        base64Challenge.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return u"an undecodable challenge"_s;
    return OAuth2Answers::loggable(QString::fromUtf8(*decoded));
}

} // namespace SaslOAuth
