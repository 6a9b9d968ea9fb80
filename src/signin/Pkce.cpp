#include "signin/Pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <array>

namespace Pkce
{

namespace
{

constexpr auto Base64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

template <std::size_t Words> QByteArray randomText()
{
    std::array<quint32, Words> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.data()),
                      static_cast<qsizetype>(sizeof(words)))
        .toBase64(Base64Url);
}

} // namespace

QByteArray newVerifier()
{
    return randomText<16>();
}

QByteArray challenge(const QByteArray &verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(Base64Url);
}

QByteArray newState()
{
    return randomText<8>();
}

} // namespace Pkce
