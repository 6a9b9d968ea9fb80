#pragma once

#include <QObject>
#include <QString>
#include <optional>

class CheckView;
class Clock;
class TcpControl;

// One mail check: the POP3 dialogue USER, PASS, STAT over `Winsock1`, driven by its DataArrival
// events, the check report made from the STAT reply, and the end of the session. The public
// members are the main window's variables of the check; the window owns one MailCheck for its
// lifetime and reads TotalOldEmail when it saves its settings.
class MailCheck : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 DefaultPort = 110;

    MailCheck(CheckView &view, TcpControl &socket, const Clock &clock, QObject *parent = nullptr);

    // The replies accepted so far: 0 greeting, 1 USER, 2 PASS, 3 STAT; 4 once the session has been
    // ended (the next reply, the goodbye, is logged and closes the connection; a socket error then
    // closes it without a line); 7 closes and logs out (no step enters it).
    qint32 CheckStep = 0;
    // Counts and octets in 64 bits: a big mailbox shows its true count and size.
    qint64 MessageCount = 0;
    qint64 MailboxSize = 0;
    qint64 NewEmailCount = 0;
    // The count remembered from the previous check whose count could be read.
    qint64 TotalOldEmail = 0;

    // The server's POP3 port; tests move it.
    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }

    // Checks the login fields and asks for the connection; the dialogue runs from the socket's
    // events. Holds the failure when the connect request failed at once (a line for the log).
    std::optional<QString> CheckEmail();
    // Says QUIT and notes it in the log; the socket stays as it is.
    void DisconnectMe();

    void Winsock1_DataArrival(qint32 bytesTotal);
    void Winsock1_Error(qint16 number, const QString &description);

private:
    // Returns false when the check was replaced while it let events run (in its save).
    bool statStep(const QString &reply);
    void endSession();
    void appendToStatus(const QString &text);

    CheckView &m_view;
    TcpControl &m_socket;
    const Clock &m_clock;
    quint16 m_port = DefaultPort;
    // Sessions started so far. A check started while another one lets events run (its save, its
    // yields) replaces it: the replaced one compares this number with its own and stops there.
    quint64 m_session = 0;
};
