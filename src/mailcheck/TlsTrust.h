#pragma once

#include <QByteArray>
#include <QList>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

class QSslCertificate;

// What a TLS connection trusts, and how a certificate that is not trusted is told.
namespace TlsTrust
{

// Where every connection starts: Qt's defaults (the system's trust store), TLS 1.2 at least, and,
// as OpenSSL's own tools, curl and git do, the certificates that SSL_CERT_FILE and SSL_CERT_DIR
// name when they are set (Qt's OpenSSL backend ignores both). The variables are read once, at the
// first secure connection.
QSslConfiguration clientConfiguration();

// One line for the status log: the reason in Thai, then the TLS library's own English texts.
QString describe(const QList<QSslError> &errors);

// Whether the only fault is that no trusted authority vouches for the certificate (self-signed, or
// issued privately): the case where a user may trust the certificate of a home server. Anything
// else (expired, not yet valid, another name, revoked) is refused whatever the user would say.
bool userMayTrust(const QList<QSslError> &errors);

// The certificate's SHA-256 as 64 lower-case hex digits, as Settings.inf keeps it.
QByteArray sha256(const QSslCertificate &certificate);
// The same for people: upper-case pairs joined by colons, in two lines of 16 pairs.
QString fingerprintForDisplay(const QByteArray &sha256Hex);

} // namespace TlsTrust
