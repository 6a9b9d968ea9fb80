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
QString keyringNoBus(const QString &english)
{
    return because(u"ติดต่อที่เก็บรหัสผ่านของระบบ (keyring) ไม่ได้ เพราะไม่มี D-Bus session bus"_s, english);
}

QString keyringNoService(const QString &english)
{
    return because(u"ไม่พบที่เก็บรหัสผ่านของระบบ (keyring) เช่น GNOME Keyring หรือ KeePassXC"_s, english);
}

QString keyringLocked(const QString &english)
{
    return because(u"ที่เก็บรหัสผ่านของระบบ (keyring) ถูกล็อกอยู่ และปลดล็อกไม่ได้"_s, english);
}

QString keyringRefused(const QString &english)
{
    return because(u"ผู้ใช้ยกเลิกการปลดล็อกที่เก็บรหัสผ่านของระบบ (keyring)"_s, english);
}

QString keyringFailed(const QString &english)
{
    return because(u"ที่เก็บรหัสผ่านของระบบ (keyring) ทำงานไม่สำเร็จ"_s, english);
}

QString passwordKeptScrambled(const QString &english)
{
    return because(u"ไม่มีที่เก็บรหัสผ่านของระบบ (keyring): รหัสผ่านถูกเก็บไว้ใน Settings.inf "
                   u"แบบเข้ารหัสอย่างง่ายเท่านั้น ซึ่งโปรแกรมอื่นถอดอ่านได้"_s,
                   english);
}

// ---- OAuth2 sign-in

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
