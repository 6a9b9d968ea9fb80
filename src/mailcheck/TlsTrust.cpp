#include "mailcheck/TlsTrust.h"

#include "wording/Wording.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QSslCertificate>
#include <QStringList>
#include <algorithm>
#include <initializer_list>

using namespace Qt::StringLiterals;

namespace TlsTrust
{

namespace
{

// Whether a path is (in) the system's own store, which Qt already consults on demand: reading its
// hundreds of certificates again would only cost time at the first secure check.
bool isSystemStore(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const QString &folder : {u"/etc/ssl/certs"_s, u"/usr/lib/ssl/certs"_s,
                                  u"/etc/pki/tls/certs"_s, u"/etc/pki/ca-trust"_s}) {
        const QString store = QFileInfo(folder).canonicalFilePath();
        if (!store.isEmpty() && (canonical == store || canonical.startsWith(store + u'/')))
            return true;
    }
    return false;
}

QList<QSslCertificate> certificatesFromEnvironment()
{
    QList<QSslCertificate> found;
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (!file.isEmpty() && !isSystemStore(file))
        found +=
            QSslCertificate::fromPath(file, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    // A list of folders, split like PATH, as OpenSSL reads it.
    const QStringList folders =
        qEnvironmentVariable("SSL_CERT_DIR").split(u':', Qt::SkipEmptyParts);
    for (const QString &folder : folders)
        if (!isSystemStore(folder))
            found += QSslCertificate::fromPath(folder + u"/*"_s, QSsl::Pem,
                                               QSslCertificate::PatternSyntax::Wildcard);
    return found;
}

bool isOneOf(QSslError::SslError error, std::initializer_list<QSslError::SslError> kinds)
{
    return std::find(kinds.begin(), kinds.end(), error) != kinds.end();
}

bool isUnknownIssuer(QSslError::SslError error)
{
    return isOneOf(error,
                   {QSslError::UnableToGetIssuerCertificate,
                    QSslError::UnableToGetLocalIssuerCertificate,
                    QSslError::UnableToVerifyFirstCertificate, QSslError::CertificateUntrusted});
}

bool isSelfSigned(QSslError::SslError error)
{
    return isOneOf(error,
                   {QSslError::SelfSignedCertificate, QSslError::SelfSignedCertificateInChain});
}

// The most telling fault first: a certificate out of date or for another name is wrong whoever
// issued it. NoError stands for "not usable" in general.
QSslError::SslError mostTelling(const QList<QSslError> &errors)
{
    const auto any = [&errors](auto predicate) {
        return std::any_of(errors.cbegin(), errors.cend(),
                           [&](const QSslError &e) { return predicate(e.error()); });
    };
    for (const QSslError::SslError kind :
         {QSslError::CertificateExpired, QSslError::CertificateNotYetValid,
          QSslError::CertificateRevoked, QSslError::HostNameMismatch}) {
        if (any([kind](QSslError::SslError error) { return error == kind; }))
            return kind;
    }
    if (any(isSelfSigned))
        return QSslError::SelfSignedCertificate;
    if (any(isUnknownIssuer))
        return QSslError::UnableToGetLocalIssuerCertificate;
    return QSslError::NoError;
}

} // namespace

QSslConfiguration clientConfiguration()
{
    static const QSslConfiguration configuration = [] {
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        c.setProtocol(QSsl::TlsV1_2OrLater);
        c.setPeerVerifyMode(QSslSocket::VerifyPeer);
        // Added beside the system's store, which stays loaded on demand.
        if (const QList<QSslCertificate> extra = certificatesFromEnvironment(); !extra.isEmpty())
            c.addCaCertificates(extra);
        return c;
    }();
    return configuration;
}

QString describe(const QList<QSslError> &errors)
{
    QStringList english;
    for (const QSslError &error : errors)
        if (!english.contains(error.errorString()))
            english += error.errorString();
    QString line = Wording::certificateFault(mostTelling(errors));
    if (!english.isEmpty())
        line += u" : "_s + english.join(u"; "_s);
    return line;
}

bool userMayTrust(const QList<QSslError> &errors)
{
    return !errors.isEmpty() && std::all_of(errors.cbegin(), errors.cend(), [](const QSslError &e) {
        return isSelfSigned(e.error()) || isUnknownIssuer(e.error());
    });
}

QByteArray sha256(const QSslCertificate &certificate)
{
    return certificate.digest(QCryptographicHash::Sha256).toHex();
}

QString fingerprintForDisplay(const QByteArray &sha256Hex)
{
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < sha256Hex.size(); i += 2)
        pairs += QString::fromLatin1(sha256Hex.mid(i, 2)).toUpper();
    const qsizetype half = pairs.size() / 2;
    return pairs.mid(0, half).join(u':') + u":\n"_s + pairs.mid(half).join(u':');
}

} // namespace TlsTrust
