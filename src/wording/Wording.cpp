#include "wording/Wording.h"

using namespace Qt::StringLiterals;

namespace Wording
{

QString because(const QString &thai, const QString &english)
{
    return english.isEmpty() ? thai : thai + u" : "_s + english;
}

// ---- connection and transport

namespace
{
QString seconds(std::chrono::milliseconds duration)
{
    return QString::number(static_cast<double>(duration.count()) / 1000.0);
}
} // namespace

QString noTlsOnThisConnection()
{
    return because(u"การเชื่อมต่อนี้เข้ารหัสไม่ได้"_s, u"This connection cannot use TLS"_s);
}

QString portZero()
{
    return because(u"ใช้พอร์ต 0 เชื่อมต่อไม่ได้"_s, u"Port 0 is no port a server listens on"_s);
}

QString controlCharacterInServerName()
{
    return because(u"ชื่อเซิร์ฟเวอร์มีอักขระควบคุม"_s,
                   u"The server name holds a control character (a line break, a tab or NUL)"_s);
}

QString noTlsLibrary(const QString &buildVersion)
{
    return because(u"เครื่องนี้ใช้ TLS ไม่ได้ จึงไม่ได้เชื่อมต่อ"_s,
                   u"No TLS library could be loaded ("_s + buildVersion + u")"_s);
}

QString localPortUnusable(quint16 port, const QString &reason)
{
    return because(u"ใช้พอร์ต %1 ของเครื่องนี้ไม่ได้"_s.arg(port), reason);
}

QString startTlsImpossible()
{
    return because(u"เริ่ม TLS บนการเชื่อมต่อนี้ไม่ได้"_s, u"STARTTLS needs an open plain connection"_s);
}

QString clearTextAfterStls()
{
    return because(u"มีข้อมูลไม่เข้ารหัสแทรกมาหลังคำตอบ STLS (อาจมีผู้ดักกลางทาง) จึงยกเลิกการเชื่อมต่อ"_s,
                   u"The server sent data in the clear after its reply to STLS"_s);
}

QString closedDuringHandshake()
{
    return because(u"เซิร์ฟเวอร์ปิดการเชื่อมต่อระหว่างเจรจา TLS"_s,
                   u"The server closed the connection during the TLS handshake"_s);
}

QString socketFailure(QAbstractSocket::SocketError error, const QString &reason)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return because(u"เซิร์ฟเวอร์ไม่รับการเชื่อมต่อ"_s, u"Connection refused"_s);
    case QAbstractSocket::HostNotFoundError:
        return because(u"หาเซิร์ฟเวอร์ไม่พบ"_s, u"Host not found"_s);
    case QAbstractSocket::SocketTimeoutError:
        return because(u"หมดเวลา"_s, reason);
    case QAbstractSocket::NetworkError:
        return because(u"เครือข่ายใช้ไม่ได้"_s, reason);
    case QAbstractSocket::SocketAccessError:
        return because(u"ไม่ได้รับอนุญาตให้เชื่อมต่อ"_s, reason);
    case QAbstractSocket::SocketResourceError:
        return because(u"ทรัพยากรของระบบไม่พอ"_s, reason);
    case QAbstractSocket::UnsupportedSocketOperationError:
        return because(u"เครื่องนี้ใช้ที่อยู่ชนิดนี้ไม่ได้"_s, reason);
    case QAbstractSocket::AddressInUseError:
        return because(u"พอร์ตของเครื่องนี้ถูกใช้อยู่"_s, reason);
    case QAbstractSocket::SocketAddressNotAvailableError:
        return because(u"ใช้ที่อยู่นี้ไม่ได้"_s, reason);
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return because(u"เจรจา TLS กับเซิร์ฟเวอร์ไม่สำเร็จ (เซิร์ฟเวอร์อาจไม่ได้ใช้ TLS ที่พอร์ตนี้)"_s, reason);
    default:
        return because(u"การเชื่อมต่อผิดพลาด"_s, reason);
    }
}

QString handshakeTimedOut(std::chrono::milliseconds limit)
{
    return because(
        u"หมดเวลาเจรจา TLS"_s,
        u"Timed out: the TLS handshake did not finish within %1 seconds"_s.arg(seconds(limit)));
}

QString connectTimedOut(std::chrono::milliseconds limit)
{
    return because(u"หมดเวลาเชื่อมต่อ"_s,
                   u"Connection timed out: no connection within %1 seconds"_s.arg(seconds(limit)));
}

QString replyTimedOut(std::chrono::milliseconds limit)
{
    return because(u"หมดเวลารอคำตอบจากเซิร์ฟเวอร์"_s,
                   u"Timed out: the server's reply did not arrive whole within %1 seconds"_s.arg(
                       seconds(limit)));
}

QString replyLineTooLong(qsizetype bytes)
{
    return because(u"บรรทัดคำตอบของเซิร์ฟเวอร์ยาวเกิน %1 ไบต์"_s.arg(bytes),
                   u"The server's reply line is longer than %1 bytes"_s.arg(bytes));
}

QString closedBeforeReplyComplete()
{
    return because(u"เซิร์ฟเวอร์ปิดการเชื่อมต่อก่อนตอบครบ"_s,
                   u"The server closed the connection before its reply was complete"_s);
}

QString certificateFault(QSslError::SslError fault)
{
    switch (fault) {
    case QSslError::CertificateExpired:
        return u"ใบรับรองของเซิร์ฟเวอร์หมดอายุแล้ว"_s;
    case QSslError::CertificateNotYetValid:
        return u"ใบรับรองของเซิร์ฟเวอร์ยังไม่ถึงวันที่เริ่มใช้ได้"_s;
    case QSslError::CertificateRevoked:
        return u"ใบรับรองของเซิร์ฟเวอร์ถูกเพิกถอนแล้ว"_s;
    case QSslError::HostNameMismatch:
        return u"ใบรับรองของเซิร์ฟเวอร์ออกให้ชื่ออื่น ไม่ตรงกับชื่อเซิร์ฟเวอร์ที่ตั้งไว้"_s;
    case QSslError::SelfSignedCertificate:
        return u"ใบรับรองของเซิร์ฟเวอร์รับรองตัวเอง (self-signed) ไม่มีผู้ออกใบรับรองที่เชื่อถือได้"_s;
    case QSslError::UnableToGetLocalIssuerCertificate:
        return u"ไม่รู้จักผู้ออกใบรับรองของเซิร์ฟเวอร์"_s;
    default:
        return u"ใบรับรองของเซิร์ฟเวอร์ใช้ไม่ได้"_s;
    }
}

QString noStartTlsAsChosen()
{
    return u"เซิร์ฟเวอร์ไม่มี STLS จึงเริ่ม STARTTLS ตามที่ตั้งไว้ไม่ได้ และไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน"_s;
}

QString startTlsGoneSinceLastTime()
{
    return u"เซิร์ฟเวอร์นี้เคยเชื่อมต่อแบบเข้ารหัส TLS ได้ แต่ครั้งนี้ไม่มี STLS (อาจมีผู้ดักกลางทาง) "
           u"จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน ถ้าเซิร์ฟเวอร์เลิกใช้ TLS จริง ให้เลือกการเข้ารหัสใหม่ในหน้าตั้งค่า"_s;
}

QString noEncryptionOffered()
{
    return u"เซิร์ฟเวอร์นี้ไม่มีการเข้ารหัส (ไม่มี STLS) จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน "
           u"ถ้าจะเชื่อมต่อแบบไม่เข้ารหัส ให้เลือก \"ไม่เข้ารหัส\" ในหน้าตั้งค่า"_s;
}

QString startTlsRefused(const QString &reply)
{
    return because(u"เซิร์ฟเวอร์ไม่ยอมเริ่ม TLS จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน"_s, reply);
}

QString capabilitiesTimedOut(std::chrono::milliseconds limit)
{
    return because(
        u"หมดเวลารอรายการความสามารถ (CAPA) ของเซิร์ฟเวอร์"_s,
        u"Timed out: the server's CAPA list did not arrive whole within %1 seconds"_s.arg(
            seconds(limit)));
}

QString capabilitiesTooLong(int lines)
{
    return because(u"รายการความสามารถ (CAPA) ของเซิร์ฟเวอร์ยาวเกินไป"_s,
                   u"The server's CAPA list is longer than %1 lines"_s.arg(lines));
}

QString encryptedNote(const QString &protocol, bool startTls, bool trustedByUser)
{
    return u"เชื่อมต่อแบบเข้ารหัส "_s + protocol + (startTls ? u" ด้วย STARTTLS"_s : QString()) +
           (trustedByUser ? u" ใบรับรองที่เชื่อถือไว้"_s : QString());
}

QString certificateChanged(const QString &english)
{
    return because(u"ใบรับรองของเซิร์ฟเวอร์ไม่ใช่ใบที่เคยเชื่อถือไว้ (อาจมีผู้ดักกลางทาง) จึงไม่ได้ส่งรหัสผ่าน "
                   u"ถ้าเซิร์ฟเวอร์เปลี่ยนใบรับรองจริง ให้เลือกการเข้ารหัสใหม่ในหน้าตั้งค่า แล้วจะถามอีกครั้ง"_s,
                   english);
}

QString trustQuestion(const QString &server, const QString &english, const QString &fingerprint)
{
    return u"เซิร์ฟเวอร์ %1 ใช้ใบรับรองที่ไม่มีผู้ออกใบรับรองที่เครื่องนี้เชื่อถือ\n(%2)\n\n"
           u"ลายนิ้วมือ SHA-256 ของใบรับรอง:\n%3\n\n"
           u"ถ้าเป็นเซิร์ฟเวอร์ของคุณเองและลายนิ้วมือตรงกับของเซิร์ฟเวอร์ ตอบ ใช่ "
           u"เพื่อเชื่อถือใบรับรองนี้สำหรับเซิร์ฟเวอร์นี้เท่านั้น ใบรับรองอื่นจะถูกปฏิเสธ"_s.arg(server, english,
                                                                           fingerprint);
}

// ---- POP3 session and new-mail detection

QString checkTotal(qint64 count)
{
    return u"อีเมลล์ทั้งหมด %1 ฉบับ"_s.arg(count);
}

QString checkNew(qint64 count)
{
    return u"อีเมลล์ใหม่ %1 ฉบับ"_s.arg(count);
}

QString checkNoSettings(const QString &path)
{
    return because(u"ไม่พบการตั้งค่าใน %1"_s.arg(path),
                   u"No settings: start the program with its window once"_s);
}

QString checkSettingsUnreadable(const QString &path, const QString &reason)
{
    return because(u"อ่านการตั้งค่าจาก %1 ไม่ได้"_s.arg(path), reason);
}

QString checkNoServer()
{
    return because(u"ยังไม่ได้ตั้งชื่อเซิร์ฟเวอร์ POP3"_s, u"No POP3 server is set"_s);
}

QString checkPasswordNotRemembered()
{
    return because(u"ไม่ได้จำรหัสผ่านไว้ จึงเช็คอีเมลล์โดยไม่เปิดหน้าต่างไม่ได้"_s,
                   u"The password is not remembered (tick จำรหัสผ่าน in the window)"_s);
}

QString checkCountUnread()
{
    return because(u"อ่านจำนวนอีเมลล์จากคำตอบของคำสั่ง STAT ไม่ได้"_s,
                   u"The reply to STAT gave no message count"_s);
}

QString checkFailed(const QString &reason)
{
    return because(u"เช็คอีเมลล์ไม่สำเร็จ"_s, reason);
}

QString checkLoginRefused(const QString &reason)
{
    return because(u"เซิร์ฟเวอร์ไม่รับชื่อผู้ใช้หรือรหัสผ่าน"_s, reason);
}

QString checkCannotAskAboutCertificate()
{
    return because(
        u"ถามเรื่องใบรับรองของเซิร์ฟเวอร์โดยไม่เปิดหน้าต่างไม่ได้ จึงไม่เชื่อถือใบรับรองนี้"_s,
        u"A certificate the system does not trust can only be accepted from the window"_s);
}

QString seenIdsNotSaved(const QString &path, const QString &reason)
{
    return because(u"บันทึกรายการอีเมลล์ที่แจ้งแล้วไม่ได้ ครั้งหน้าอาจแจ้งซ้ำ : "_s + path, reason);
}

QString replyBeforeCommand()
{
    return because(u"เซิร์ฟเวอร์ส่งคำตอบมาก่อนได้รับคำสั่ง จึงหยุดการเช็คครั้งนี้"_s,
                   u"The server sent a reply before the command it would answer was sent"_s);
}

QString mailboxRebuilt()
{
    return because(
        u"รหัสอีเมลล์ (UIDL) บนเซิร์ฟเวอร์เปลี่ยนใหม่ทั้งหมด จึงเริ่มนับใหม่ และไม่แจ้งว่าเป็นอีเมลล์ใหม่"_s,
        u"Every unique id in the mailbox changed at once (the server rebuilt its index)"_s);
}

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

QString oauth2SignInNeeded()
{
    return u"ต้องลงชื่อเข้าใช้ OAuth2 ใหม่ โปรดกดปุ่มลงชื่อเข้าใช้ในหน้าตั้งค่า"_s;
}

QString oauth2NoKeyring(const QString &english)
{
    return because(u"ไม่มีที่เก็บรหัสผ่านของระบบ (keyring) จึงจำการลงชื่อเข้าใช้ OAuth2 ได้เฉพาะขณะโปรแกรมทำงาน "
                   u"เปิดโปรแกรมครั้งหน้าจะต้องลงชื่อเข้าใช้ในเบราว์เซอร์อีกครั้ง"_s,
                   english);
}

QString oauth2LoginLine(const QString &mechanism)
{
    return u"ลงชื่อเข้าใช้ด้วยโทเค็น OAuth2 ("_s + mechanism + u") : xxxxxxxxxxxx "_s;
}

QString oauth2NotSendable()
{
    return because(u"ส่งโทเค็น OAuth2 ไม่ได้ เพราะชื่อผู้ใช้หรือโทเค็นมีอักขระที่ส่งไม่ได้"_s,
                   u"The user name or the token holds a character SASL cannot carry"_s);
}

QString oauth2NotOffered(const QString &protocol)
{
    return because(u"เซิร์ฟเวอร์ไม่รับการลงชื่อเข้าใช้ด้วย OAuth2 จึงไม่ได้ส่งโทเค็น"_s,
                   u"The server's "_s + protocol + u" offers neither XOAUTH2 nor OAUTHBEARER"_s);
}

// ---- IMAP

QString imapWaitingForNewMail()
{
    return u"รับข้อมูลเรียบร้อย (เชื่อมต่อค้างไว้ รออีเมลล์ใหม่)"_s;
}

QString imapMailSizeUnknown()
{
    return u"ไม่ทราบขนาดของอีเมลล์ทั้งหมด"_s;
}

QString imapNoStartTlsAsChosen()
{
    return u"เซิร์ฟเวอร์ไม่มี STARTTLS จึงเริ่ม STARTTLS ตามที่ตั้งไว้ไม่ได้ และไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน"_s;
}

QString imapStartTlsGoneSinceLastTime()
{
    return u"เซิร์ฟเวอร์นี้เคยเชื่อมต่อแบบเข้ารหัส TLS ได้ แต่ครั้งนี้ไม่มี STARTTLS (อาจมีผู้ดักกลางทาง) "
           u"จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน ถ้าเซิร์ฟเวอร์เลิกใช้ TLS จริง ให้เลือกการเข้ารหัสใหม่ในหน้าตั้งค่า"_s;
}

QString imapNoEncryptionOffered()
{
    return u"เซิร์ฟเวอร์นี้ไม่มีการเข้ารหัส (ไม่มี STARTTLS) จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน "
           u"ถ้าจะเชื่อมต่อแบบไม่เข้ารหัส ให้เลือก \"ไม่เข้ารหัส\" ในหน้าตั้งค่า"_s;
}

QString imapClearTextAfterStartTls()
{
    return because(u"มีข้อมูลไม่เข้ารหัสแทรกมาหลังคำตอบ STARTTLS (อาจมีผู้ดักกลางทาง) จึงยกเลิกการเชื่อมต่อ"_s,
                   u"The server sent data in the clear after its reply to STARTTLS"_s);
}

QString imapLoginDisabled()
{
    return because(u"เซิร์ฟเวอร์ไม่รับการเข้าสู่ระบบบนการเชื่อมต่อนี้ (LOGINDISABLED) "
                   u"จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน"_s,
                   u"The server refuses LOGIN here and offers no other way to sign in"_s);
}

QString imapNoOAuthMechanism(const QString &offered)
{
    return because(
        u"เซิร์ฟเวอร์ไม่รับการลงชื่อเข้าใช้ด้วยโทเค็น OAuth2 จึงไม่ได้ส่งโทเค็น"_s,
        u"The server offers neither AUTH=OAUTHBEARER nor AUTH=XOAUTH2 (it offers: %1)"_s.arg(
            offered));
}

QString imapCredentialUnusable()
{
    return because(u"ส่งชื่อผู้ใช้หรือโทเค็นนี้ให้เซิร์ฟเวอร์ไม่ได้"_s,
                   u"The user name or the token holds a character no command can carry"_s);
}

QString imapBye(const QString &text)
{
    return because(u"เซิร์ฟเวอร์ยุติการเชื่อมต่อ"_s, u"The server said BYE: "_s + text);
}

QString imapClosedWhileIdle()
{
    return because(u"เซิร์ฟเวอร์ปิดการเชื่อมต่อที่ค้างไว้รออีเมลล์ใหม่"_s,
                   u"The server closed the connection that was waiting for new mail"_s);
}

QString imapClosed()
{
    return because(u"เซิร์ฟเวอร์ปิดการเชื่อมต่อก่อนตอบครบ"_s,
                   u"The server closed the connection before its reply was complete"_s);
}

QString imapUnreadable(const QString &english)
{
    return because(u"อ่านคำตอบของเซิร์ฟเวอร์ IMAP ไม่ได้ จึงหยุดการเช็คครั้งนี้"_s, english);
}

QString imapTooManyResponses(int count)
{
    return because(u"เซิร์ฟเวอร์ส่งข้อมูลมาไม่หยุด จึงหยุดการเช็คครั้งนี้"_s,
                   u"More than %1 untagged responses to one command"_s.arg(count));
}

QString imapReplyTimedOut(const QString &command, std::chrono::milliseconds limit)
{
    return because(u"หมดเวลารอคำตอบจากเซิร์ฟเวอร์"_s,
                   u"Timed out: no reply to %1 within %2 seconds"_s.arg(command, seconds(limit)));
}

QString imapUidValidityChanged()
{
    return because(u"รหัสอีเมลล์ (UIDVALIDITY) ของกล่องจดหมายเปลี่ยนใหม่ จึงเริ่มนับใหม่ "
                   u"และไม่แจ้งว่าเป็นอีเมลล์ใหม่"_s,
                   u"INBOX has a new UIDVALIDITY: its UIDs start afresh"_s);
}

// ---- staying connected (resume, network, backoff)

QString retryingIn(int seconds)
{
    return u"จะลองตรวจใหม่ในอีก %1 วินาที"_s.arg(seconds);
}

QString retriesUsedUp()
{
    return u"ลองตรวจใหม่ครบแล้วยังไม่สำเร็จ จะตรวจอีกครั้งตามรอบเวลาปกติ"_s;
}

QString stoppedAfterRefusals(const QString &english)
{
    return because(u"เซิร์ฟเวอร์ไม่รับการเข้าระบบสองครั้งติดกัน จึงหยุดตรวจอัตโนมัติไว้ก่อน "
                   u"เพื่อไม่ให้บัญชีถูกล็อก แก้ชื่อผู้ใช้หรือรหัสผ่าน หรือสั่งเช็คอีเมลล์เอง "
                   u"แล้วจะตรวจตามรอบอีกครั้ง"_s,
                   english);
}

QString loginDelayHonoured(int seconds)
{
    return because(u"เซิร์ฟเวอร์ขอให้เว้นการเข้าระบบแต่ละครั้งอย่างน้อย %1 วินาที "
                   u"การตรวจตามรอบครั้งต่อไปจึงรอให้ครบก่อน"_s.arg(seconds),
                   u"LOGIN-DELAY %1"_s.arg(seconds));
}

} // namespace Wording
