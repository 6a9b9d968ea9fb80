#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The SASL messages that carry an OAuth2 access token to a POP3 or IMAP server, base64-encoded as
// the AUTH command and its continuations send them.
namespace SaslOAuth
{

// XOAUTH2 (Google's and Microsoft's format): "user=" U ^A "auth=Bearer " T ^A ^A. Nothing when
// the user name holds a control character or the token is not a bearer token.
std::optional<QByteArray> xoauth2(const QString &user, const QString &accessToken);
// OAUTHBEARER (RFC 7628) with a GS2 header naming the user: "n,a=" U "," ^A "auth=Bearer " T ^A ^A,
// with "," and "=" in U written "=2C" and "=3D" (RFC 5801).
std::optional<QByteArray> oauthBearer(const QString &user, const QString &accessToken);

// What a client answers to the server's error challenge ("+ " and base64 JSON) so that the server
// can end the exchange with its -ERR: an empty line for XOAUTH2, %x01 for OAUTHBEARER.
QByteArray xoauth2ErrorReply();
QByteArray oauthBearerErrorReply();

// The error challenge's JSON for the status log, e.g. {"status":"401","schemes":"bearer"}.
QString errorChallengeText(const QByteArray &base64Challenge);

} // namespace SaslOAuth
