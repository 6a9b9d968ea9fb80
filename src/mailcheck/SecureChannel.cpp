#include "mailcheck/SecureChannel.h"

#include "mailcheck/ServerAddress.h"
#include "mailcheck/TlsTrust.h"
#include "mailcheck/Winsock1.h"
#include "platform/Prompt.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace
{

constexpr quint16 TlsPort = 995;
const QString CrLf = u"\r\n"_s;

QString because(const QString &thai, const QString &english)
{
    return english.isEmpty() ? thai : thai + u" : "_s + english;
}

QString englishOf(const QList<QSslError> &errors)
{
    QStringList texts;
    for (const QSslError &error : errors)
        if (!texts.contains(error.errorString()))
            texts += error.errorString();
    return texts.join(u"; "_s);
}

QString withoutLineEnd(QString line)
{
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

} // namespace

SecureChannel::SecureChannel(TcpControl &inner, Prompt &prompt, std::function<SecurityMode()> mode,
                             QObject *parent)
    : TcpControl(parent), m_inner(inner), m_prompt(prompt), m_mode(std::move(mode))
{
    m_capaDeadline.setSingleShot(true);
    connect(&m_capaDeadline, &QTimer::timeout, this, [this] {
        refuse(Winsock1::TimedOut,
               because(u"หมดเวลารอรายการความสามารถ (CAPA) ของเซิร์ฟเวอร์"_s,
                       u"Timed out: the server's CAPA list did not arrive whole within %1 seconds"_s
                           .arg(static_cast<double>(m_inner.replyTimeout().count()) / 1000.0)));
    });
    connect(&m_inner, &TcpControl::DataArrival, this, &SecureChannel::onDataArrival);
    connect(&m_inner, &TcpControl::Error, this, &SecureChannel::onError);
    connect(&m_inner, &TcpControl::Encrypted, this, &SecureChannel::onEncrypted);
    connect(&m_inner, &TcpControl::CertificateCheck, this, &SecureChannel::onCertificateCheck);
}

void SecureChannel::Close()
{
    ++m_session;
    m_inner.Close();
    m_capaDeadline.stop();
    m_phase = Phase::Idle;
    m_greeting.clear();
    m_current.clear();
    m_note.clear();
    m_trustedByUser = false;
}

void SecureChannel::setLocalPort(quint16 port)
{
    m_inner.setLocalPort(port);
}

bool SecureChannel::Connect(const QString &server, quint16 plainPort, QString *errorText)
{
    Close();
    m_chosen = m_mode();
    m_server = server;
    // What was learnt about another server says nothing about this one.
    m_memory = m_memory.forServer(server);

    const ServerAddress address = parseServerAddress(server);
    if (!address.invalidPort.isEmpty()) {
        if (errorText)
            *errorText = address.invalidPort;
        return false;
    }
    m_host = address.host;

    if (m_chosen == SecurityMode::None) {
        m_phase = Phase::Dialogue;
        return m_inner.Connect(m_host, address.port.value_or(plainPort), errorText);
    }
    const bool atOnce = m_chosen == SecurityMode::Tls ||
                        (m_chosen == SecurityMode::Automatic && address.port == TlsPort);
    m_startTls = !atOnce;
    m_phase = atOnce ? Phase::Handshake : Phase::Greeting;
    return m_inner.ConnectSecure(m_host, address.port.value_or(atOnce ? TlsPort : plainPort),
                                 atOnce ? TlsStart::AtOnce : TlsStart::Later, errorText);
}

QString SecureChannel::GetData()
{
    return std::exchange(m_current, QString());
}

bool SecureChannel::SendData(const QString &line)
{
    // The dialogue speaks only once the connection is what the mode asks for.
    if (m_phase != Phase::Dialogue)
        return false;
    return m_inner.SendData(line);
}

QString SecureChannel::TlsProtocol() const
{
    return m_inner.TlsProtocol();
}

void SecureChannel::onDataArrival()
{
    const QString line = m_inner.GetData();
    switch (m_phase) {
    case Phase::Dialogue:
        pass(line);
        return;
    case Phase::Greeting:
        // A negative greeting is the dialogue's to report, as it always was.
        if (!line.startsWith(u'+')) {
            m_phase = Phase::Dialogue;
            pass(line);
            return;
        }
        m_greeting = line;
        m_phase = Phase::Capa;
        m_inner.SendData(u"CAPA"_s + CrLf);
        return;
    case Phase::Capa:
        // A server that does not know CAPA has no STLS either.
        if (!line.startsWith(u'+')) {
            withoutStls();
            return;
        }
        m_phase = Phase::CapaList;
        m_stlsOffered = false;
        m_capabilities = 0;
        // The whole list within one reply's time: the inner control times the first line only.
        m_capaDeadline.start(m_inner.replyTimeout());
        return;
    case Phase::CapaList:
        if (withoutLineEnd(line) == u"."_s) {
            m_capaDeadline.stop();
            if (!m_stlsOffered) {
                withoutStls();
                return;
            }
            m_phase = Phase::Stls;
            m_inner.SendData(u"STLS"_s + CrLf);
            return;
        }
        if (++m_capabilities > MaxCapabilities) {
            refuse(
                Winsock1::MessageTooLong,
                because(u"รายการความสามารถ (CAPA) ของเซิร์ฟเวอร์ยาวเกินไป"_s,
                        u"The server's CAPA list is longer than %1 lines"_s.arg(MaxCapabilities)));
            return;
        }
        if (withoutLineEnd(line).section(u' ', 0, 0).compare(u"STLS"_s, Qt::CaseInsensitive) == 0)
            m_stlsOffered = true;
        return;
    case Phase::Stls:
        if (!line.startsWith(u'+')) {
            refuse(Winsock1::NoEncryption,
                   because(u"เซิร์ฟเวอร์ไม่ยอมเริ่ม TLS จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน"_s, withoutLineEnd(line)));
            return;
        }
        m_phase = Phase::Handshake;
        // On failure (bytes in the clear behind the reply) the inner control reports it.
        m_inner.StartTls();
        return;
    case Phase::Handshake:
    case Phase::Idle:
        return;
    }
}

void SecureChannel::withoutStls()
{
    if (m_chosen == SecurityMode::StartTls) {
        refuse(Winsock1::NoEncryption,
               u"เซิร์ฟเวอร์ไม่มี STLS จึงเริ่ม STARTTLS ตามที่ตั้งไว้ไม่ได้ และไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน"_s);
        return;
    }
    if (!m_memory.tlsServer.isEmpty()) {
        refuse(Winsock1::NoEncryption,
               u"เซิร์ฟเวอร์นี้เคยเชื่อมต่อแบบเข้ารหัส TLS ได้ แต่ครั้งนี้ไม่มี STLS (อาจมีผู้ดักกลางทาง) "
               u"จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน ถ้าเซิร์ฟเวอร์เลิกใช้ TLS จริง ให้เลือกการเข้ารหัสใหม่ในหน้าตั้งค่า"_s);
        return;
    }
    // A server on this machine: nobody can be in the middle.
    if (isLoopbackHost(m_host)) {
        startDialogue();
        return;
    }
    refuse(Winsock1::NoEncryption, u"เซิร์ฟเวอร์นี้ไม่มีการเข้ารหัส (ไม่มี STLS) จึงไม่ได้ส่งชื่อผู้ใช้และรหัสผ่าน "
                                   u"ถ้าจะเชื่อมต่อแบบไม่เข้ารหัส ให้เลือก \"ไม่เข้ารหัส\" ในหน้าตั้งค่า"_s);
}

void SecureChannel::startDialogue()
{
    m_phase = Phase::Dialogue;
    pass(std::exchange(m_greeting, QString()));
}

void SecureChannel::pass(const QString &line)
{
    m_current = line;
    emit DataArrival(static_cast<qint32>(line.toUtf8().size()));
    m_current.clear();
}

void SecureChannel::onError(qint16 number, const QString &description)
{
    m_capaDeadline.stop();
    m_phase = Phase::Idle;
    emit Error(number, description);
}

void SecureChannel::refuse(qint16 number, const QString &description)
{
    m_inner.Close();
    m_capaDeadline.stop();
    m_phase = Phase::Idle;
    m_greeting.clear();
    emit Error(number, description);
}

void SecureChannel::onEncrypted()
{
    const quint64 session = m_session;
    m_note = u"เชื่อมต่อแบบเข้ารหัส "_s + m_inner.TlsProtocol() +
             (m_startTls ? u" ด้วย STARTTLS"_s : QString()) +
             (m_trustedByUser ? u" ใบรับรองที่เชื่อถือไว้"_s : QString());
    if (m_memory.tlsServer != m_server) {
        m_memory.tlsServer = m_server;
        if (!rememberAndSave(session))
            return;
    }
    if (m_startTls)
        startDialogue(); // what the server said before TLS counts for nothing now, but its greeting
    else
        m_phase = Phase::Dialogue; // the greeting comes now, encrypted
}

void SecureChannel::onCertificateCheck(const QSslCertificate &certificate,
                                       const QList<QSslError> &errors)
{
    // Out of date, for another name, revoked: not the user's to overlook. Left unanswered, the
    // inner control refuses it with its reason.
    if (!TlsTrust::userMayTrust(errors))
        return;

    const QByteArray sha256 = TlsTrust::sha256(certificate);
    if (!m_memory.trustedServer.isEmpty()) {
        if (sha256 == m_memory.trustedSha256) {
            m_trustedByUser = true;
            m_inner.TrustCertificate();
            return;
        }
        m_inner.RefuseCertificate(
            because(u"ใบรับรองของเซิร์ฟเวอร์ไม่ใช่ใบที่เคยเชื่อถือไว้ (อาจมีผู้ดักกลางทาง) จึงไม่ได้ส่งรหัสผ่าน "
                    u"ถ้าเซิร์ฟเวอร์เปลี่ยนใบรับรองจริง ให้เลือกการเข้ารหัสใหม่ในหน้าตั้งค่า แล้วจะถามอีกครั้ง"_s,
                    englishOf(errors)));
        return;
    }

    // Asked once a run: a periodic check must not raise the same box again and again.
    const QString asked = m_server + u' ' + QString::fromLatin1(sha256);
    if (m_asked.contains(asked)) {
        m_inner.RefuseCertificate(TlsTrust::describe(errors));
        return;
    }
    m_asked.insert(asked);
    const quint64 session = m_session;
    const QString server = m_server;
    const bool trusted = m_prompt.question(
        u"larkspur "_s, u"เซิร์ฟเวอร์ %1 ใช้ใบรับรองที่ไม่มีผู้ออกใบรับรองที่เครื่องนี้เชื่อถือ\n(%2)\n\n"
                        u"ลายนิ้วมือ SHA-256 ของใบรับรอง:\n%3\n\n"
                        u"ถ้าเป็นเซิร์ฟเวอร์ของคุณเองและลายนิ้วมือตรงกับของเซิร์ฟเวอร์ ตอบ ใช่ "
                        u"เพื่อเชื่อถือใบรับรองนี้สำหรับเซิร์ฟเวอร์นี้เท่านั้น ใบรับรองอื่นจะถูกปฏิเสธ"_s.arg(
                            server, englishOf(errors), TlsTrust::fingerprintForDisplay(sha256)));
    // While the box was open a newer check may have taken over: the answer still holds for the
    // certificate, and that check meets it when its own handshake is decided.
    const bool sameCheck = session == m_session;
    if (!trusted) {
        if (sameCheck)
            m_inner.RefuseCertificate(TlsTrust::describe(errors));
        return;
    }
    m_memory.trustedServer = server;
    m_memory.trustedSha256 = sha256;
    if (sameCheck) {
        m_trustedByUser = true;
        m_inner.TrustCertificate();
    }
    rememberAndSave(session);
}

bool SecureChannel::rememberAndSave(quint64 session)
{
    if (m_memoryChanged)
        m_memoryChanged();
    return session == m_session;
}
