#include "wording/Wording.h"

using namespace Qt::StringLiterals;

namespace Wording
{

QString because(const QString &thai, const QString &english)
{
    return english.isEmpty() ? thai : thai + u" : "_s + english;
}

// ---- connection and transport

// ---- POP3 session and new-mail detection

// ---- settings file and start-up

// ---- sound

// ---- desktop notifications

// ---- keyring

// ---- OAuth2 sign-in

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
