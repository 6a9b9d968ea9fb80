#include "signin/OAuth2Tokens.h"

#include "wording/Wording.h"

#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>

using namespace Qt::StringLiterals;

QString OAuth2Failure::logLine() const
{
    switch (kind) {
    case OAuth2FailureKind::InvalidGrant:
        return Wording::oauth2TokenRefused(reason);
    case OAuth2FailureKind::Temporary:
        return Wording::oauth2ServerUnreachable(reason);
    case OAuth2FailureKind::Denied:
        return Wording::oauth2SignInRefused(reason);
    case OAuth2FailureKind::Expired:
        return Wording::oauth2SignInExpired(reason);
    case OAuth2FailureKind::Misconfigured:
        break;
    }
    return Wording::oauth2Misconfigured(reason);
}

namespace OAuth2Answers
{

namespace
{

// Bytes of a token we accept: access tokens of both big providers are JWTs of a few KiB.
constexpr qsizetype MaxTokenLength = 16 * 1024;
// When the answer gives no lifetime: the usual hour. The mail server stays the judge.
constexpr std::chrono::seconds AssumedLifetime{3600};
constexpr std::chrono::seconds LongestLifetime{365 * 24 * 3600};

// A token goes into a SASL response and a POP3 or IMAP line: visible ASCII only, no blank.
bool usableToken(const QString &token)
{
    return !token.isEmpty() && token.size() <= MaxTokenLength &&
           std::all_of(token.cbegin(), token.cend(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

std::chrono::seconds lifetime(const QJsonValue &value)
{
    // Some servers send the number as a string.
    bool ok = value.isDouble();
    double seconds = value.toDouble();
    if (value.isString())
        seconds = value.toString().toDouble(&ok);
    if (!ok || !(seconds >= 0))
        return AssumedLifetime;
    return std::min(std::chrono::seconds(static_cast<qint64>(seconds)), LongestLifetime);
}

OAuth2FailureKind kindOf(const QString &error)
{
    if (error == u"invalid_grant"_s)
        return OAuth2FailureKind::InvalidGrant;
    if (error == u"access_denied"_s)
        return OAuth2FailureKind::Denied;
    if (error == u"expired_token"_s)
        return OAuth2FailureKind::Expired;
    if (error == u"temporarily_unavailable"_s || error == u"server_error"_s)
        return OAuth2FailureKind::Temporary;
    return OAuth2FailureKind::Misconfigured;
}

} // namespace

QString loggable(const QString &text)
{
    QString line = text.section(u'\n', 0, 0).trimmed();
    std::replace_if(
        line.begin(), line.end(), [](QChar c) { return c.category() == QChar::Other_Control; },
        QChar(u' '));
    constexpr qsizetype Longest = 200;
    if (line.size() > Longest)
        line = line.left(Longest) + u"..."_s;
    return line;
}

std::optional<OAuth2Tokens> tokensFrom(const QJsonObject &answer,
                                       const QString &previousRefreshToken, QString *englishError)
{
    const auto refuse = [englishError](const QString &why) -> std::optional<OAuth2Tokens> {
        if (englishError)
            *englishError = why;
        return std::nullopt;
    };
    const QString type = answer.value(u"token_type"_s).toString();
    if (answer.contains(u"token_type"_s) && type.compare(u"bearer"_s, Qt::CaseInsensitive) != 0)
        return refuse(u"the token is of type '"_s + loggable(type).left(20) + u"', not Bearer"_s);
    OAuth2Tokens tokens;
    tokens.accessToken = answer.value(u"access_token"_s).toString();
    if (!usableToken(tokens.accessToken))
        return refuse(u"the answer holds no usable access_token"_s);
    tokens.refreshToken = answer.value(u"refresh_token"_s).toString();
    if (tokens.refreshToken.isEmpty())
        tokens.refreshToken = previousRefreshToken;
    else if (!usableToken(tokens.refreshToken))
        return refuse(u"the answer holds an unusable refresh_token"_s);
    tokens.expiresIn = lifetime(answer.value(u"expires_in"_s));
    return tokens;
}

OAuth2Failure failureFrom(int httpStatus, const QJsonObject &answer)
{
    OAuth2Failure failure;
    failure.error = loggable(answer.value(u"error"_s).toString()).left(64);
    const QString description = loggable(answer.value(u"error_description"_s).toString());
    failure.reason =
        failure.error.isEmpty() ? u"HTTP "_s + QString::number(httpStatus) : failure.error;
    if (!description.isEmpty())
        failure.reason += u": "_s + description;
    // An overloaded or failing server is worth another try whatever its body says.
    if (httpStatus >= 500 || httpStatus == 429)
        failure.kind = OAuth2FailureKind::Temporary;
    else
        failure.kind = kindOf(failure.error);
    return failure;
}

} // namespace OAuth2Answers
