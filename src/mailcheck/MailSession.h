#pragma once

#include "mailcheck/NewMailVerdict.h"
#include "settings/SecuritySettings.h"
#include "signin/CredentialSource.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

// What one session needs: where, who, and the credential asked for before it started.
struct MailLogin {
    QString server; // txtPOP3Server as typed
    QString user;
    Credential credential;
    SecurityMode security = SecurityMode::Automatic;
};

// The raw header block of one message (dot-unstuffed, without POP3's dot line).
struct HeaderBlock {
    qint64 number = 0;
    QByteArray bytes;
};

// What one check read of the mailbox, for the report.
struct MailScan {
    std::optional<qint64> count;  // the messages, when the count could be read
    std::optional<qint64> octets; // their size, when the server told it
    NewMailVerdict verdict;
    QList<HeaderBlock> headers; // newest first
};

// How a session ended without its report.
enum class SessionFailure {
    Connection,   // the socket's own failures, time-outs, a runaway reply
    Security,     // TLS refused: a certificate, no encryption where it is required
    Refused,      // a negative reply (POP3's failed-reply path)
    LoginRefused, // the server refused the user name or the credential, not for a while only
    Protocol,     // the server broke the protocol (a reply before its command)
};

// One protocol's conversation with the mailbox, from the greeting to the goodbye, as one state
// machine over the line channel. It never saves, asks or lets events run: it emits, and the
// watcher above it decides.
class MailSession : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts over: any connection of this session is closed, then a new one is asked for. What the
    // session learns about the server's security goes into `memory`, which outlives it; what the
    // mailbox showed before is `remembered`, with the count of the last check. A failure found at
    // once comes back as a status line, and nothing is connected.
    virtual std::optional<QString> start(const MailLogin &login, SecurityMemory &memory,
                                         const SeenState &remembered, qint64 totalOldEmail,
                                         const QDateTime &now) = 0;
    // Ends the connection without a word.
    virtual void stop() = 0;
    // The user's answer to certificateQuestion.
    virtual void answerCertificate(bool trust) = 0;
    // Checks again on a connection that is still open for the same login, and reports as start()
    // does; false, with nothing done, when there is no such connection.
    virtual bool refresh(const MailLogin & /*login*/) { return false; }

signals:
    // txtStatus: the whole log replaced, or text (ending in CR LF) appended and brought into view.
    void statusReplaced(const QString &text);
    void statusAppended(const QString &text);
    void progressChanged(int value);
    // A certificate to be trusted or not by the user: answered through answerCertificate.
    void certificateQuestion(const QString &question);
    // The security memory has learnt something worth saving.
    void memoryChanged();
    // The server accepted the credential.
    void loggedIn();
    // The mailbox has been read.
    void scanned(const MailScan &scan);
    void failed(SessionFailure failure, const QString &reason);
};
