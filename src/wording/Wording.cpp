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

QString oauth2BrowserSignInStarted()
{
    return u"เปิดหน้าลงชื่อเข้าใช้ในเบราว์เซอร์แล้ว โปรดลงชื่อเข้าใช้ให้เสร็จในเบราว์เซอร์"_s;
}

QString oauth2BrowserNotOpened(const QString &address)
{
    return u"เปิดเบราว์เซอร์ไม่ได้ โปรดเปิดที่อยู่นี้เอง: "_s + address;
}

QString oauth2EnterDeviceCode(const QString &userCode, const QString &address)
{
    return u"โปรดเปิด "_s + address + u" แล้วใส่รหัส "_s + userCode + u" เพื่อลงชื่อเข้าใช้"_s;
}

QString oauth2SignedIn()
{
    return u"ลงชื่อเข้าใช้เรียบร้อย"_s;
}

QString oauth2TokenRefreshed()
{
    return u"ต่ออายุโทเค็นเรียบร้อย"_s;
}

QString oauth2SignInRefused(const QString &english)
{
    return because(u"การลงชื่อเข้าใช้ถูกปฏิเสธ"_s, english);
}

QString oauth2SignInExpired(const QString &english)
{
    return because(u"หมดเวลาลงชื่อเข้าใช้ โปรดลงชื่อเข้าใช้ใหม่"_s, english);
}

QString oauth2TokenRefused(const QString &english)
{
    return because(u"โทเค็นใช้ไม่ได้แล้ว โปรดลงชื่อเข้าใช้ใหม่"_s, english);
}

QString oauth2ServerUnreachable(const QString &english)
{
    return because(u"ติดต่อเซิร์ฟเวอร์ยืนยันตัวตนไม่ได้ จะลองใหม่ภายหลัง"_s, english);
}

QString oauth2Misconfigured(const QString &english)
{
    return because(u"ผู้ให้บริการไม่รับคำขอ โปรดตรวจการตั้งค่า OAuth2 (client id, scope และที่อยู่)"_s, english);
}

QString oauth2SettingsInvalid(const QString &english)
{
    return because(u"การตั้งค่า OAuth2 ไม่ถูกต้อง"_s, english);
}

QString oauth2MailServerRefusedToken(const QString &english)
{
    return because(u"เซิร์ฟเวอร์อีเมลไม่รับโทเค็น"_s, english);
}

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
