#pragma once

#include <QString>
#include <chrono>
#include <optional>

class QJsonObject;

// What a token endpoint hands out. Only the refresh token is worth keeping (in the keyring); the
// access token lives in memory (AccessTokenCache).
struct OAuth2Tokens {
    QString accessToken;
    // The one to keep: the new one when the server rotated it, else the one that was used.
    QString refreshToken;
    // The access token's lifetime as the server gave it when it answered.
    std::chrono::seconds expiresIn{0};
};

// What a failed sign-in or refresh means for the user.
enum class OAuth2FailureKind {
    InvalidGrant,  // the refresh token (or code) is no longer good: drop the tokens, sign in again
    Temporary,     // no answer, a time-out, HTTP 5xx or 429: try again later
    Denied,        // the user or the organisation said no
    Expired,       // the sign-in was not finished in time
    Misconfigured, // invalid_client, invalid_scope, a wrong address, an answer we cannot use
};

struct OAuth2Failure {
    OAuth2FailureKind kind = OAuth2FailureKind::Misconfigured;
    // The OAuth2 error code when the server sent one ("invalid_grant"), else empty.
    QString error;
    // English, for the status log: the server's code and description, or the network's reason.
    // Never a token, a code, a verifier or a secret.
    QString reason;

    // The status line: what happened and what to do, in Thai, then the reason.
    QString logLine() const;
};

namespace OAuth2Answers
{

// The tokens in a successful token answer (RFC 6749 5.1). Where the server sent no refresh token
// the previous one stays. Without a usable access token, *englishError says why.
std::optional<OAuth2Tokens> tokensFrom(const QJsonObject &answer,
                                       const QString &previousRefreshToken,
                                       QString *englishError = nullptr);

// What an error answer from a token or device endpoint (RFC 6749 5.2, RFC 8628 3.5) means.
OAuth2Failure failureFrom(int httpStatus, const QJsonObject &answer);

// A text the server sent, fit for one log line: its first line, no control characters, bounded.
QString loggable(const QString &text);

} // namespace OAuth2Answers
