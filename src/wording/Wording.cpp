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

QString desktopNotificationFailed(const QString &english)
{
    return because(u"แสดงการแจ้งเตือนบนเดสก์ท็อปไม่ได้"_s, english);
}

QString desktopNotificationMore(qsizetype count)
{
    return u"และอีก %1 ฉบับ"_s.arg(count);
}

QString desktopNotificationOpenWindow()
{
    return u"เปิดหน้าต่าง"_s;
}

// ---- keyring

// ---- OAuth2 sign-in

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
