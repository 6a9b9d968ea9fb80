#include "mailcheck/Pop3Session.h"

#include "mailcheck/FieldExtractor.h"
#include "mailcheck/LineEnds.h"
#include "mailcheck/ReportFormat.h"
#include "mailcheck/TcpControl.h"
#include "mailcheck/Winsock1.h"
#include "signin/SaslOAuth.h"
#include "wording/Wording.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

using LineEnds::CrLf;
using LineEnds::withoutLineEnd;

QByteArray withoutLineEnd(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

bool isTerminator(const QString &line)
{
    return withoutLineEnd(line) == u"."_s;
}

// A unique id as RFC 1939 has it (printable, no blanks), of any length the line allows: servers
// exceed the 70 characters it names. Control bytes would break the state file's lines.
bool usableId(const QByteArray &id)
{
    return !id.isEmpty() && std::all_of(id.cbegin(), id.cend(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte != 0x7f;
    });
}

// "n id", as a line of the listing or after "+OK " in the reply to UIDL n.
std::optional<UidlEntry> uidlFields(const QByteArray &text)
{
    const QList<QByteArray> fields = withoutLineEnd(text).split(' ');
    if (fields.size() != 2)
        return std::nullopt;
    bool ok = false;
    const qint64 number = fields[0].toLongLong(&ok);
    if (!ok || number < 1 || !usableId(fields[1]))
        return std::nullopt;
    return UidlEntry{number, fields[1]};
}

// A "-" to PASS that asks to come back later is no verdict on the password.
bool temporaryRefusal(const QString &reply)
{
    for (const QString &code : {u"[SYS/TEMP]"_s, u"[IN-USE]"_s, u"[LOGIN-DELAY]"_s})
        if (reply.contains(code, Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

Pop3Session::Pop3Session(TcpControl &channel, SecureChannel &security, QObject *parent)
    : MailSession(parent), m_channel(channel), m_security(security)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &Pop3Session::onDeadline);
    connect(&m_channel, &TcpControl::DataArrival, this, &Pop3Session::onDataArrival);
    connect(&m_channel, &TcpControl::Error, this, &Pop3Session::onError);
    connect(&m_channel, &TcpControl::encrypted, this, &Pop3Session::onEncrypted);
    connect(&m_channel, &TcpControl::certificateCheck, this, &Pop3Session::onCertificateCheck);
}

std::optional<QString> Pop3Session::start(const MailLogin &login, SecurityMemory &memory,
                                          const SeenState &remembered, qint64 totalOldEmail,
                                          const QDateTime &now)
{
    if (m_state != State::Idle)
        stop();
    m_login = login;
    m_memory = &memory;
    m_rule.emplace(totalOldEmail, remembered, now);
    m_scan = MailScan();
    m_capabilities.clear();
    m_stlsOffered = false;
    m_capaFor = CapaFor::StartTls;
    m_mechanism.clear();
    m_greeting.clear();
    m_note.clear();
    m_inBody = false;

    m_route = m_security.route(login.server, login.security, m_plainPort, TlsPort, memory);
    if (!m_route.refusal.isEmpty())
        return m_route.refusal;
    m_state = State::Greeting;
    return SecureChannel::open(m_channel, m_route);
}

void Pop3Session::stop()
{
    m_channel.Close();
    m_deadline.stop();
    m_asking = false;
    m_state = State::Idle;
}

void Pop3Session::answerCertificate(bool trust)
{
    if (m_memory && m_security.answer(trust, *m_memory))
        emit memoryChanged();
    // A newer check may have replaced the connection that asked: the answer is remembered all the
    // same, and that check's handshake meets it.
    if (std::exchange(m_asking, false))
        m_security.resume(trust, m_channel);
}

// ---------------------------------------------------------------- the replies

void Pop3Session::onDataArrival()
{
    const QString line = m_channel.GetData();
    const QByteArray bytes = m_channel.lineBytes();
    switch (m_state) {
    case State::Greeting:
        if (m_route.tls == SecureChannel::Tls::Later) {
            // Held back until TLS is up, so the dialogue sees what it always saw; a negative
            // greeting is the dialogue's to report.
            if (!line.startsWith(u'+')) {
                dialogueReply(line, SessionFailure::Refused);
                return;
            }
            m_greeting = line;
            send(u"CAPA"_s + CrLf, State::Capabilities);
            return;
        }
        if (dialogueReply(line, SessionFailure::Refused))
            greeted();
        return;
    case State::Capabilities:
        // A server that does not know CAPA has no STLS either, and no SASL.
        if (!line.startsWith(u'+')) {
            switch (m_capaFor) {
            case CapaFor::SignIn:
                fail(SessionFailure::Refused, Wording::oauth2NotOffered(u"CAPA"_s));
                break;
            case CapaFor::Learning:
                m_knownCapabilities.insert(m_login.server, {});
                login();
                break;
            case CapaFor::StartTls:
                withoutStartTls();
                break;
            }
            return;
        }
        m_state = State::CapabilityList;
        startReplyDeadline();
        return;
    case State::CapabilityList:
        capabilityLine(line);
        return;
    case State::StartTls:
        if (!line.startsWith(u'+')) {
            fail(SessionFailure::Security, QString::number(Winsock1::NoEncryption) + u" : "_s +
                                               Wording::startTlsRefused(withoutLineEnd(line)));
            return;
        }
        m_state = State::Handshake;
        // On failure (bytes in the clear behind the reply) the channel reports it.
        m_channel.startTls();
        return;
    case State::User:
        if (dialogueReply(line, SessionFailure::Refused)) {
            if (!send(u"PASS "_s + m_login.credential.secret + CrLf, State::Pass))
                return;
            // Twelve x whatever the length: the log never tells anything about the password.
            emit statusAppended(u"รหัสผ่าน : xxxxxxxxxxxx "_s + CrLf);
            emit progressChanged(40);
        }
        return;
    case State::Pass:
        if (dialogueReply(line, temporaryRefusal(line) ? SessionFailure::Refused
                                                       : SessionFailure::LoginRefused))
            loginAccepted();
        return;
    case State::AuthStart:
    case State::AuthResponse:
    case State::AuthError:
        authReply(line);
        return;
    case State::Stat:
        if (dialogueReply(line, SessionFailure::Refused))
            statReply(line);
        return;
    case State::UidlOne:
        uidlReply(bytes);
        return;
    case State::UidlList:
        listingLine(line, bytes);
        return;
    case State::Top:
        topLine(line, bytes);
        return;
    case State::Quit:
        // The goodbye (or whatever came instead) is the last line a finished session takes: a
        // server that keeps talking after QUIT would otherwise fill the log without end.
        emit progressChanged(0);
        emit statusAppended(line + CrLf);
        m_channel.Close();
        m_state = State::Ended;
        return;
    case State::Handshake:
    case State::Idle:
    case State::Ended:
        return;
    }
}

// A reply of the dialogue of old (greeting, USER, PASS, STAT): logged, then judged by its first
// character.
bool Pop3Session::dialogueReply(const QString &line, SessionFailure failure)
{
    emit progressChanged(0);
    emit statusAppended(line + CrLf);
    if (line.startsWith(u'+'))
        return true;
    m_channel.Close();
    emit statusReplaced(u"เกิดความผิดพลาด : "_s + line + u"48"_s + u" POP3 Error"_s);
    emit failed(failure, withoutLineEnd(line));
    return false;
}

// Every command goes out only when nothing is waiting unread: a reply that came before its
// command was sent would otherwise be taken for that command's answer.
bool Pop3Session::send(const QString &command, State next)
{
    if (m_channel.hasPendingData()) {
        fail(SessionFailure::Protocol, Wording::replyBeforeCommand());
        return false;
    }
    m_state = next;
    m_inBody = false;
    m_channel.SendData(command);
    return true;
}

bool Pop3Session::bearer() const
{
    return m_login.credential.kind == Credential::Kind::BearerToken;
}

void Pop3Session::greeted()
{
    if (bearer()) {
        // The mechanisms are what the server lists now: after STLS the list before it counts for
        // nothing.
        if (!m_note.isEmpty())
            emit statusAppended(m_note + CrLf);
        m_note.clear();
        m_capabilities.clear();
        m_capaFor = CapaFor::SignIn;
        send(u"CAPA"_s + CrLf, State::Capabilities);
        return;
    }
    // Once a run, what a secured server lists is learnt (its LOGIN-DELAY among it); the plain
    // dialogue keeps to its own commands.
    if (m_route.tls != SecureChannel::Tls::None && !m_knownCapabilities.contains(m_login.server)) {
        m_capabilities.clear();
        m_capaFor = CapaFor::Learning;
        send(u"CAPA"_s + CrLf, State::Capabilities);
        return;
    }
    login();
}

void Pop3Session::login()
{
    if (!send(u"USER "_s + m_login.user + CrLf, State::User))
        return;
    // How the connection is protected, right after the greeting; a plain one says nothing.
    if (!m_note.isEmpty())
        emit statusAppended(m_note + CrLf);
    emit statusAppended(u"ชื่อผู้ใช้ : "_s + m_login.user + CrLf);
    emit progressChanged(20);
}

void Pop3Session::startDialogue()
{
    const QString greeting = std::exchange(m_greeting, QString());
    if (dialogueReply(greeting, SessionFailure::Refused))
        greeted();
}

void Pop3Session::withoutStartTls()
{
    m_deadline.stop();
    if (const auto refusal = m_security.refusalWithoutStartTls(*m_memory)) {
        fail(SessionFailure::Security,
             QString::number(Winsock1::NoEncryption) + u" : "_s + *refusal);
        return;
    }
    startDialogue();
}

void Pop3Session::capabilityLine(const QString &line)
{
    if (isTerminator(line)) {
        m_deadline.stop();
        m_knownCapabilities.insert(m_login.server, m_capabilities);
        if (m_capaFor == CapaFor::SignIn) {
            authenticate();
            return;
        }
        if (m_capaFor == CapaFor::Learning) {
            login();
            return;
        }
        if (!m_stlsOffered) {
            withoutStartTls();
            return;
        }
        send(u"STLS"_s + CrLf, State::StartTls);
        return;
    }
    if (m_capabilities.size() >= MaxCapabilities) {
        fail(SessionFailure::Protocol, QString::number(Winsock1::MessageTooLong) + u" : "_s +
                                           Wording::capabilitiesTooLong(MaxCapabilities));
        return;
    }
    const QString capability = withoutLineEnd(line);
    m_capabilities.append(capability);
    if (capability.section(u' ', 0, 0).compare(u"STLS"_s, Qt::CaseInsensitive) == 0)
        m_stlsOffered = true;
}

// SASL (RFC 5034) with the token: XOAUTH2 in the two-line form Microsoft requires, or OAUTHBEARER
// (RFC 7628) with its initial response, whichever the server lists; XOAUTH2 where it lists both.
void Pop3Session::authenticate()
{
    QStringList mechanisms;
    for (const QString &capability : std::as_const(m_capabilities)) {
        const QStringList words = capability.split(u' ', Qt::SkipEmptyParts);
        if (!words.isEmpty() && words.first().compare(u"SASL"_s, Qt::CaseInsensitive) == 0)
            for (const QString &word : words.mid(1))
                mechanisms.append(word.toUpper());
    }
    const QString &token = m_login.credential.secret;
    if (mechanisms.contains(u"XOAUTH2"_s)) {
        m_mechanism = u"XOAUTH2"_s;
        if (!send(u"AUTH XOAUTH2"_s + CrLf, State::AuthStart))
            return;
        emit statusAppended(u"ชื่อผู้ใช้ : "_s + m_login.user + CrLf);
        emit progressChanged(20);
        return;
    }
    if (!mechanisms.contains(u"OAUTHBEARER"_s)) {
        fail(SessionFailure::Refused, Wording::oauth2NotOffered(u"SASL"_s));
        return;
    }
    m_mechanism = u"OAUTHBEARER"_s;
    const auto response = SaslOAuth::oauthBearer(m_login.user, token);
    if (!response) {
        fail(SessionFailure::Protocol, Wording::oauth2NotSendable());
        return;
    }
    if (!send(u"AUTH OAUTHBEARER "_s + QString::fromLatin1(*response) + CrLf, State::AuthResponse))
        return;
    emit statusAppended(u"ชื่อผู้ใช้ : "_s + m_login.user + CrLf);
    emit statusAppended(Wording::oauth2LoginLine(m_mechanism) + CrLf);
    emit progressChanged(40);
}

void Pop3Session::authReply(const QString &line)
{
    const SessionFailure refusal =
        temporaryRefusal(line) ? SessionFailure::Refused : SessionFailure::LoginRefused;
    if (!dialogueReply(line, refusal))
        return;
    switch (m_state) {
    case State::AuthStart: {
        const auto response = SaslOAuth::xoauth2(m_login.user, m_login.credential.secret);
        if (!response) {
            fail(SessionFailure::Protocol, Wording::oauth2NotSendable());
            return;
        }
        if (!send(QString::fromLatin1(*response) + CrLf, State::AuthResponse))
            return;
        emit statusAppended(Wording::oauth2LoginLine(m_mechanism) + CrLf);
        emit progressChanged(40);
        return;
    }
    case State::AuthResponse:
        if (line.startsWith(u"+OK"_s)) {
            loginAccepted();
            return;
        }
        // "+" and a base64 JSON: the token was refused. The exchange ends with the server's -ERR
        // once the client has answered the challenge.
        emit statusAppended(Wording::oauth2MailServerRefusedToken(SaslOAuth::errorChallengeText(
                                withoutLineEnd(line).mid(1).trimmed().toLatin1())) +
                            CrLf);
        send(QString::fromLatin1(m_mechanism == u"XOAUTH2"_s ? SaslOAuth::xoauth2ErrorReply()
                                                             : SaslOAuth::oauthBearerErrorReply()) +
                 CrLf,
             State::AuthError);
        return;
    default:
        // Anything but -ERR after an error challenge breaks the exchange.
        fail(SessionFailure::Protocol, Wording::replyBeforeCommand());
        return;
    }
}

void Pop3Session::loginAccepted()
{
    emit loggedIn();
    if (!send(u"STAT"_s + CrLf, State::Stat))
        return;
    emit statusAppended(u"รับข้อมูลจาก "_s + m_login.server + CrLf);
    emit progressChanged(60);
}

void Pop3Session::statReply(const QString &line)
{
    // A field that is missing or no number tells nothing.
    if (const auto count = Get_After_Seperator(line, 1, u" "_s))
        m_scan.count = ReportFormat::statNumber(*count);
    if (const auto size = Get_After_Seperator(line, 2, u" "_s))
        m_scan.octets = ReportFormat::statNumber(*size);
    m_rule->statRead(m_scan.count, m_scan.octets);
    askNext();
}

void Pop3Session::askNext()
{
    const NewMailRule::Question question = m_rule->next();
    switch (question.kind) {
    case NewMailRule::Question::Kind::One:
        send(u"UIDL %1"_s.arg(question.number) + CrLf, State::UidlOne);
        return;
    case NewMailRule::Question::Kind::All:
        m_listing.clear();
        m_listingUsable = true;
        send(u"UIDL"_s + CrLf, State::UidlList);
        return;
    case NewMailRule::Question::Kind::None:
        m_scan.verdict = m_rule->verdict();
        m_headerQueue = m_scan.verdict.newNumbers;
        fetchNextHeaders();
        return;
    }
}

void Pop3Session::uidlReply(const QByteArray &bytes)
{
    const qint64 asked = m_rule->next().number;
    std::optional<QByteArray> id;
    if (bytes.startsWith("+OK ")) {
        const auto entry = uidlFields(bytes.mid(4));
        if (entry && entry->number == asked)
            id = entry->id;
    }
    m_rule->answerOne(asked, id);
    askNext();
}

void Pop3Session::listingLine(const QString &line, const QByteArray &lineBytes)
{
    if (!m_inBody) {
        if (!line.startsWith(u'+')) {
            m_rule->answerAll(std::nullopt);
            askNext();
            return;
        }
        m_inBody = true;
        startReplyDeadline();
        return;
    }
    if (isTerminator(line)) {
        m_deadline.stop();
        m_inBody = false;
        m_rule->answerAll(m_listingUsable ? std::optional(m_listing) : std::nullopt);
        m_listing.clear();
        askNext();
        return;
    }
    // Read to the dot line whatever it holds; kept only while it makes sense.
    if (!m_listingUsable)
        return;
    QByteArray bytes = lineBytes;
    if (bytes.startsWith("..")) // dot-stuffed
        bytes.remove(0, 1);
    const auto entry = uidlFields(bytes);
    if (!entry || entry->number > m_scan.count.value_or(0) || m_listing.size() >= m_scan.count) {
        m_listingUsable = false;
        m_listing.clear();
        return;
    }
    m_listing.append(*entry);
}

void Pop3Session::fetchNextHeaders()
{
    if (m_headerQueue.isEmpty()) {
        finishScan();
        return;
    }
    m_header = HeaderBlock{m_headerQueue.takeFirst(), QByteArray()};
    m_headerLines = 0;
    send(u"TOP %1 0"_s.arg(m_header.number) + CrLf, State::Top);
}

void Pop3Session::topLine(const QString &line, const QByteArray &bytes)
{
    if (!m_inBody) {
        // A server without TOP still has its count told; the others would fail the same way.
        if (!line.startsWith(u'+')) {
            m_headerQueue.clear();
            finishScan();
            return;
        }
        m_inBody = true;
        startReplyDeadline();
        return;
    }
    if (isTerminator(line)) {
        m_deadline.stop();
        m_inBody = false;
        m_scan.headers.append(m_header);
        fetchNextHeaders();
        return;
    }
    if (m_headerLines >= MaxHeaderLines || m_header.bytes.size() + bytes.size() > MaxHeaderBytes) {
        // Full for good: a later line kept after a dropped one would join the wrong field.
        m_headerLines = MaxHeaderLines;
        return;
    }
    ++m_headerLines;
    m_header.bytes += bytes.startsWith("..") ? bytes.mid(1) : bytes;
}

// The mailbox has been read: the report is made above, and the server gets its QUIT; its answer is
// taken in Quit, where it can neither repeat the report nor wipe it as a failure.
void Pop3Session::finishScan()
{
    m_deadline.stop();
    emit scanned(m_scan);
    m_state = State::Quit;
    m_inBody = false;
    m_channel.SendData(u"QUIT"_s + CrLf);
    emit statusAppended(u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s + CrLf);
}

// ---------------------------------------------------------------- the channel's other events

void Pop3Session::onError(qint16 number, const QString &description)
{
    m_deadline.stop();
    m_channel.Close();
    m_asking = false;
    switch (m_state) {
    // After the report and its QUIT nothing is left to fail: a goodbye that never comes, or a
    // connection dropped instead of it, ends the session without a word.
    case State::Quit:
    case State::Ended:
    case State::Idle:
        m_state = State::Ended;
        return;
    case State::Top:
        // What is new is known by now; only the senders of some messages are missing.
        m_state = State::Ended;
        emit statusAppended(QString::number(number) + u" : "_s + description + CrLf);
        emit scanned(m_scan);
        return;
    default:
        emit statusAppended(QString::number(number) + u" : "_s + description + CrLf);
        // Winsock's numbers are the network's; ours from 12000 on are TLS's.
        emit failed(number >= Winsock1::TlsHandshakeFailed ? SessionFailure::Security
                                                           : SessionFailure::Connection,
                    description);
        return;
    }
}

void Pop3Session::onDeadline()
{
    m_channel.Close();
    if (m_state == State::CapabilityList)
        onError(Winsock1::TimedOut, Wording::capabilitiesTimedOut(m_channel.replyTimeout()));
    else
        onError(Winsock1::TimedOut, Wording::replyTimedOut(m_channel.replyTimeout()));
}

void Pop3Session::onEncrypted()
{
    if (m_memory && m_security.encrypted(*m_memory))
        emit memoryChanged();
    m_note = m_security.note(m_channel.tlsProtocol());
    // STLS: what the server said before TLS counts for nothing now, but its greeting. TLS at once:
    // the greeting comes now, encrypted.
    if (m_route.tls == SecureChannel::Tls::Later)
        startDialogue();
}

void Pop3Session::onCertificateCheck(const QSslCertificate &certificate,
                                     const QList<QSslError> &errors)
{
    if (!m_memory)
        return;
    if (const auto question = m_security.settle(m_channel, certificate, errors, *m_memory)) {
        m_asking = true;
        emit certificateQuestion(*question);
    }
}

void Pop3Session::fail(SessionFailure failure, const QString &line)
{
    m_deadline.stop();
    m_channel.Close();
    emit statusAppended(line + CrLf);
    emit failed(failure, line);
}

// The reply's first line came within the channel's reply time; its rest must come within as much
// again.
void Pop3Session::startReplyDeadline()
{
    m_deadline.start(m_channel.replyTimeout());
}
