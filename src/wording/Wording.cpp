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

QString settingsKeptAside(const QString &path, const QString &kept)
{
    return because(u"อ่านค่าการตั้งค่าจาก %1 ไม่ได้เลย จึงเก็บไฟล์เดิมไว้ที่ %2"_s.arg(path, kept),
                   u"it holds no key of a [settings] section"_s);
}

QString settingsNotKeptAside(const QString &path, const QString &why)
{
    return because(u"เก็บสำเนาของ %1 ไว้ก่อนไม่ได้"_s.arg(path), why);
}

// ---- sound

QString soundDeviceGivenUp()
{
    return because(u"เลิกรออุปกรณ์เสียง เสียงแจ้งเตือนจึงเล่นไม่จบ"_s,
                   u"ALSA's default device did not take the sound in time"_s);
}

// ---- desktop notifications

// ---- keyring

// ---- OAuth2 sign-in

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
