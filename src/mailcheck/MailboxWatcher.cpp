#include "mailcheck/MailboxWatcher.h"

#include "mailcheck/LineEnds.h"
#include "mailcheck/MessageHeaders.h"
#include "mailcheck/ReportFormat.h"
#include "mailcheck/ServerAddress.h"
#include "platform/Clock.h"
#include "wording/Wording.h"

#include <QLocale>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

using LineEnds::CrLf;

// A CR or LF would end the command early and let the rest through as commands of its own; a NUL
// ends it for many servers. Such a field is never sent.
bool breaksCommandLine(const QString &field)
{
    return std::any_of(field.cbegin(), field.cend(),
                       [](QChar c) { return c == u'\r' || c == u'\n' || c == u'\0'; });
}

} // namespace

MailboxWatcher::MailboxWatcher(TcpControl &channel, CredentialSource &credentials,
                               const Clock &clock, const SeenStore *seen, QObject *parent)
    : QObject(parent), m_credentials(credentials), m_clock(clock), m_seen(seen),
      m_pop3Channel(channel), m_imapChannel(channel), m_session(m_pop3Channel, m_security),
      m_imap(m_imapChannel, m_security)
{
    m_pop3Channel.setTurn(true);
    attach(m_session);
    attach(m_imap);
}

void MailboxWatcher::attach(MailSession &session)
{
    connect(&session, &MailSession::statusReplaced, this, &MailboxWatcher::statusReplaced);
    connect(&session, &MailSession::statusAppended, this, &MailboxWatcher::statusAppended);
    connect(&session, &MailSession::progressChanged, this, &MailboxWatcher::progressChanged);
    connect(&session, &MailSession::certificateQuestion, this,
            &MailboxWatcher::certificateQuestion);
    connect(&session, &MailSession::memoryChanged, this, &MailboxWatcher::learned);
    connect(&session, &MailSession::loggedIn, this, &MailboxWatcher::loggedIn);
    connect(&session, &MailSession::scanned, this, &MailboxWatcher::onScanned);
    connect(&session, &MailSession::failed, this, &MailboxWatcher::onFailed);
}

std::optional<QString> MailboxWatcher::loginProblem() const
{
    // A token signs in where the password would: the password box is not asked for then.
    const bool withPassword = m_settings.signIn == MailboxSettings::SignIn::Password;
    if (m_settings.loginName.isEmpty())
        return u"กรุณา พิมพ์ ''User Name'' !"_s;
    if (withPassword && m_settings.password.isEmpty())
        return u"กรุณา พิมพ์ ''Password'' !"_s;
    if (breaksCommandLine(m_settings.loginName))
        return u"ไม่ได้เชื่อมต่อ : ''User Name'' มีอักขระ CR, LF หรือ NUL ซึ่งส่งให้เซิร์ฟเวอร์ไม่ได้"_s;
    if (withPassword && breaksCommandLine(m_settings.password))
        return u"ไม่ได้เชื่อมต่อ : ''Password'' มีอักขระ CR, LF หรือ NUL ซึ่งส่งให้เซิร์ฟเวอร์ไม่ได้"_s;
    return std::nullopt;
}

MailboxKey MailboxWatcher::key() const
{
    const ServerAddress address = parseServerAddress(m_settings.server);
    const bool tls = m_settings.security == SecurityMode::Tls || address.tlsAtOnce;
    if (address.protocol == MailProtocol::Imap)
        return MailboxKey{
            u"imap"_s, address.host,
            address.port.value_or(tls ? ImapSession::TlsPort : ImapSession::PlainPort),
            m_settings.loginName};
    return MailboxKey{u"pop3"_s, address.host,
                      address.port.value_or(tls ? Pop3Session::TlsPort : Pop3Session::PlainPort),
                      m_settings.loginName};
}

MailSession &MailboxWatcher::takeTurn(const QString &server)
{
    const bool imap = parseServerAddress(server).protocol == MailProtocol::Imap;
    SessionChannel &wanted = imap ? m_imapChannel : m_pop3Channel;
    if (!wanted.hasTurn()) {
        // The other protocol's connection ends while it still holds the channel.
        (imap ? static_cast<MailSession &>(m_session) : m_imap).stop();
        (imap ? m_pop3Channel : m_imapChannel).setTurn(false);
        wanted.setTurn(true);
    }
    return imap ? static_cast<MailSession &>(m_imap) : m_session;
}

std::optional<QString> MailboxWatcher::check()
{
    // An open IMAP connection waits for the login: it may check again where it is.
    m_session.stop();
    const quint64 request = ++m_requests;
    m_inCheck = true;
    m_immediateFailure.reset();
    m_credentials.request(m_settings, [this, request](const std::optional<Credential> &credential,
                                                      const QString &failure) {
        if (request == m_requests)
            begin(credential, failure);
    });
    m_inCheck = false;
    return std::exchange(m_immediateFailure, std::nullopt);
}

void MailboxWatcher::stop()
{
    ++m_requests;
    m_session.stop();
    m_imap.stop();
}

void MailboxWatcher::forgetIdleConnection()
{
    if (m_imap.isIdling())
        m_imap.stop();
}

QStringList MailboxWatcher::pop3Capabilities() const
{
    return imapHasTurn() ? QStringList() : m_session.capabilities();
}

void MailboxWatcher::answerCertificate(bool trust)
{
    if (imapHasTurn())
        m_imap.answerCertificate(trust);
    else
        m_session.answerCertificate(trust);
}

void MailboxWatcher::begin(const std::optional<Credential> &credential, const QString &failure)
{
    std::optional<QString> problem;
    if (!credential) {
        problem = failure;
    } else {
        const MailLogin login{m_settings.server, m_settings.loginName, *credential,
                              m_settings.security};
        MailSession &session = takeTurn(login.server);
        if (session.refresh(login))
            return;
        const SeenState seen = m_seen ? m_seen->load(key()) : SeenState();
        MessageCount = 0;
        problem = session.start(login, m_settings.securityMemory, seen, m_settings.totalOldEmail,
                                m_clock.now().toUTC());
    }
    if (!problem)
        return;
    // Told by whoever asked for the check when it was asked; else here.
    if (m_inCheck)
        m_immediateFailure = problem;
    else
        emit statusAppended(*problem + CrLf);
    emit finished(CheckOutcome::Failed, *problem);
}

void MailboxWatcher::onScanned(const MailScan &scan)
{
    MessageCount = scan.count.value_or(0);
    if (scan.octets)
        MailboxSize = *scan.octets;
    // POP3's size stays from an earlier STAT, as described; IMAP's would be a wrong number.
    const bool sizeUnknown = !scan.octets && imapHasTurn();

    CheckReport report;
    const QLocale locale = QLocale::system();
    // Date first, then the time, each its own reading of the clock.
    const QDate date = m_clock.now().date();
    const QTime time = m_clock.now().time();
    report.lastCheckText = ReportFormat::lastCheckText(date, time, locale);
    report.newMailText = QString::number(MessageCount);
    report.mailSizeText =
        sizeUnknown ? Wording::imapMailSizeUnknown()
                    : u"อีเมลล์ทั้งหมดมีขนาด "_s + ReportFormat::kilobytes(MailboxSize) + u" กิโลไบต์"_s;

    const NewMailVerdict &verdict = scan.verdict;
    switch (verdict.basis) {
    case NewMailVerdict::Basis::Unread:
        // A reply whose count could not be read says nothing about the mailbox.
        break;
    case NewMailVerdict::Basis::Empty:
        m_settings.totalOldEmail = 0;
        report.save = true;
        report.newEmailText = u"0"_s;
        break;
    case NewMailVerdict::Basis::Baseline:
        report.notes.append(imapHasTurn() ? Wording::imapUidValidityChanged()
                                          : Wording::mailboxRebuilt());
        [[fallthrough]];
    case NewMailVerdict::Basis::Count:
    case NewMailVerdict::Basis::Ids:
        m_settings.totalOldEmail = verdict.totalOldEmail;
        report.save = true;
        report.newEmailText = QString::number(verdict.newCount);
        if (verdict.newCount > 0)
            report.announcement = announcementFor(verdict, scan.headers);
        break;
    }
    if (verdict.seenChanged && m_seen && !m_readOnly) {
        QString error;
        if (!m_seen->save(key(), verdict.seen, &error))
            report.notes.append(error);
    }
    const bool news = report.announcement.has_value();
    emit reported(report);
    emit finished(news ? CheckOutcome::NewMail : CheckOutcome::NoNewMail, QString());
}

void MailboxWatcher::onFailed(SessionFailure failure, const QString &reason)
{
    if (failure == SessionFailure::LoginRefused)
        m_credentials.refused(m_settings);
    switch (failure) {
    case SessionFailure::LoginRefused:
        emit finished(CheckOutcome::LoginRefused, reason);
        return;
    case SessionFailure::Connection:
        emit finished(CheckOutcome::Unreachable, reason);
        return;
    case SessionFailure::Security:
    case SessionFailure::Refused:
    case SessionFailure::Protocol:
        emit finished(CheckOutcome::Failed, reason);
        return;
    }
}

Announcement MailboxWatcher::announcementFor(const NewMailVerdict &verdict,
                                             const QList<HeaderBlock> &headers) const
{
    Announcement announcement;
    announcement.newCount = verdict.newCount;
    announcement.total = verdict.count;
    announcement.mailLine = u"มีอีเมลล์ใหม่ "_s + QString::number(verdict.newCount) + u" ["_s +
                            QString::number(verdict.count) + u"] ฉบับ "_s;
    announcement.emailLine = u"ถึงคุณ "_s + m_settings.loginName + u" ครับ"_s;
    announcement.caption = u"Alert New E-Mail (Inbox)"_s;
    announcement.playSound = m_settings.enableSound == 1;
    announcement.desktopNotification = m_settings.desktopNotify;
    for (const HeaderBlock &block : headers)
        announcement.messages.append(summaryLine(parseMessageHeaders(block.bytes)));
    return announcement;
}
