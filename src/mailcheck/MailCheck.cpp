#include "mailcheck/MailCheck.h"

#include "mailcheck/CheckView.h"
#include "mailcheck/FieldExtractor.h"
#include "mailcheck/ReportFormat.h"
#include "mailcheck/TcpControl.h"
#include "platform/Clock.h"

#include <QLocale>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

const QString CrLf = u"\r\n"_s;

// A CR or LF would end the command early and let the rest through as commands of its own; a NUL
// ends it for many servers. Such a field is never sent.
bool breaksCommandLine(const QString &field)
{
    return std::any_of(field.cbegin(), field.cend(),
                       [](QChar c) { return c == u'\r' || c == u'\n' || c == u'\0'; });
}

} // namespace

MailCheck::MailCheck(CheckView &view, TcpControl &socket, const Clock &clock, QObject *parent)
    : QObject(parent), m_view(view), m_socket(socket), m_clock(clock)
{
    connect(&m_socket, &TcpControl::DataArrival, this, &MailCheck::Winsock1_DataArrival);
    connect(&m_socket, &TcpControl::Error, this, &MailCheck::Winsock1_Error);
}

std::optional<QString> MailCheck::CheckEmail()
{
    const QString userName = m_view.userNameText();
    const QString password = m_view.passwordText();
    if (userName.isEmpty()) {
        m_view.setStatusText(u"กรุณา พิมพ์ ''User Name'' !"_s);
        return std::nullopt;
    }
    if (password.isEmpty()) {
        m_view.setStatusText(u"กรุณา พิมพ์ ''Password'' !"_s);
        return std::nullopt;
    }
    if (breaksCommandLine(userName)) {
        m_view.setStatusText(
            u"ไม่ได้เชื่อมต่อ : ''User Name'' มีอักขระ CR, LF หรือ NUL ซึ่งส่งให้เซิร์ฟเวอร์ไม่ได้"_s);
        return std::nullopt;
    }
    if (breaksCommandLine(password)) {
        m_view.setStatusText(
            u"ไม่ได้เชื่อมต่อ : ''Password'' มีอักขระ CR, LF หรือ NUL ซึ่งส่งให้เซิร์ฟเวอร์ไม่ได้"_s);
        return std::nullopt;
    }

    m_view.setStatusText(QString());
    const quint64 before = m_session;
    m_view.letEventsRun();
    // A check started while this one let events run came after this request and serves it:
    // closing its connection to start again would only lose what it has done.
    if (m_session != before)
        return std::nullopt;
    ++m_session;
    CheckStep = 0;
    m_socket.Close();
    m_socket.setLocalPort(0);
    QString failure;
    if (!m_socket.Connect(m_view.serverText(), m_port, &failure))
        return failure;
    return std::nullopt;
}

void MailCheck::Winsock1_DataArrival(qint32 /*bytesTotal*/)
{
    m_view.setProgress(0);
    const QString reply = m_socket.GetData();
    appendToStatus(reply + CrLf);

    // In state 4 the session is over and whatever still comes is taken as it is.
    if (!reply.startsWith(u'+') && CheckStep != 4) {
        m_socket.Close();
        m_view.setStatusText(u"เกิดความผิดพลาด : "_s + reply + u"48"_s + u" POP3 Error"_s);
        return;
    }

    switch (CheckStep) {
    case 0:
        MessageCount = 0;
        CheckStep = 1;
        // How the connection is protected, right after the greeting; a plain one says nothing.
        if (const QString note = m_socket.SecurityNote(); !note.isEmpty())
            appendToStatus(note + CrLf);
        m_socket.SendData(u"USER "_s + m_view.userNameText() + CrLf);
        appendToStatus(u"ชื่อผู้ใช้ : "_s + m_view.userNameText() + CrLf);
        m_view.setProgress(20);
        break;
    case 1:
        CheckStep = 2;
        m_socket.SendData(u"PASS "_s + m_view.passwordText() + CrLf);
        // Twelve x whatever the length: the log never tells anything about the password.
        appendToStatus(u"รหัสผ่าน : xxxxxxxxxxxx "_s + CrLf);
        m_view.setProgress(40);
        break;
    case 2:
        CheckStep = 3;
        m_socket.SendData(u"STAT"_s + CrLf);
        appendToStatus(u"รับข้อมูลจาก "_s + m_view.serverText() + CrLf);
        m_view.setProgress(60);
        break;
    case 3:
        if (statStep(reply))
            endSession();
        break;
    case 4:
        // The goodbye (or whatever came instead) is the last line a finished session takes: a
        // server that keeps talking after QUIT would otherwise fill the log without end.
        m_socket.Close();
        break;
    case 7:
        m_socket.Close();
        DisconnectMe();
        break;
    default:
        break;
    }
}

bool MailCheck::statStep(const QString &reply)
{
    // A field that is missing or no number leaves the value as it was.
    bool countRead = false;
    if (const auto count = Get_After_Seperator(reply, 1, u" "_s)) {
        if (const auto value = ReportFormat::statNumber(*count)) {
            MessageCount = *value;
            countRead = true;
        }
    }
    if (const auto size = Get_After_Seperator(reply, 2, u" "_s))
        if (const auto value = ReportFormat::statNumber(*size))
            MailboxSize = *value;

    const QLocale locale = QLocale::system();
    const QString date = locale.toString(m_clock.now().date(), QLocale::ShortFormat);
    const QString time =
        locale.toString(m_clock.now().time(),
                        ReportFormat::withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
    m_view.setLastCheckText(u"เช็คเมื่อ "_s + date + u" เวลา "_s + time + u" น."_s);
    m_view.setNewMailText(QString::number(MessageCount));
    m_view.setMailSizeText(u"อีเมลล์ทั้งหมดมีขนาด "_s + ReportFormat::kilobytes(MailboxSize) +
                           u" กิโลไบต์"_s);
    m_view.setProgress(100);
    m_view.setStatusFrameVisible(false);
    m_view.setReportFrameVisible(true);

    // The save lets events run; a check started there owns the session from then on.
    const quint64 session = m_session;
    if (MessageCount == 0) {
        // A reply whose count could not be read says nothing about the mailbox: what is
        // remembered stays.
        if (!countRead)
            return true;
        // An emptied mailbox is remembered as empty, so that the next message is news: a client
        // that downloads and deletes empties it at every fetch.
        NewEmailCount = 0;
        TotalOldEmail = 0;
        m_view.SaveSettings();
        if (m_session != session)
            return false;
        m_view.setNewEmailText(QString::number(NewEmailCount));
        return true;
    }

    NewEmailCount = MessageCount - TotalOldEmail;
    if (NewEmailCount > 0) {
        m_view.setPopupTexts(u"มีอีเมลล์ใหม่ "_s + QString::number(NewEmailCount) + u" ["_s +
                                 QString::number(MessageCount) + u"] ฉบับ "_s,
                             u"ถึงคุณ "_s + m_view.userNameText() + u" ครับ"_s,
                             u"Alert New E-Mail (Inbox)"_s);
        if (m_view.openSoundState() == 1)
            m_view.PlaySound();
        m_view.setNewEmailText(QString::number(NewEmailCount));
        TotalOldEmail = MessageCount;
        m_view.SaveSettings();
        // Last: after the sound has ended and the count is safely saved. Shown even when another
        // check has started meanwhile: the count is remembered, so no later check announces it.
        m_view.showPopup();
    } else {
        TotalOldEmail = MessageCount;
        m_view.SaveSettings();
    }
    if (m_session != session)
        return false;
    m_view.setNewEmailText(QString::number(NewEmailCount));
    return true;
}

// Every session ends here, with the report made: the server gets its QUIT and its answer is taken
// in state 4, where it can neither repeat the report nor wipe it as a failure.
void MailCheck::endSession()
{
    m_socket.SendData(u"QUIT"_s + CrLf);
    appendToStatus(u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s + CrLf);
    CheckStep = 4;
}

void MailCheck::DisconnectMe()
{
    m_socket.SendData(u"QUIT"_s + CrLf);
    appendToStatus(u"QUIT"_s + CrLf);
    m_view.letEventsRun();
    m_view.letEventsRun();
}

void MailCheck::Winsock1_Error(qint16 number, const QString &description)
{
    m_socket.Close();
    // After the report and its QUIT nothing is left to fail: a goodbye that never comes, or a
    // connection dropped instead of it, ends the session without a word.
    if (CheckStep == 4)
        return;
    appendToStatus(QString::number(number) + u" : "_s + description + CrLf);
}

void MailCheck::appendToStatus(const QString &text)
{
    m_view.appendStatusText(text);
    m_view.moveStatusCaretToEnd();
}
