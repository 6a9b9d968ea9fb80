#pragma once

#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/TcpControl.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <utility>

// What the window would show of one watcher, as plain values, and a journal of every signal in
// the order it came (shared with ScriptedSocket, so sends and log writes interleave). Connected
// directly: a test sees each signal's effect as soon as the line that caused it is delivered.
class WatcherJournal final : public QObject
{
public:
    WatcherJournal(MailboxWatcher &watcher, QStringList &journal) : m_journal(journal)
    {
        connect(&watcher, &MailboxWatcher::statusReplaced, this, [this](const QString &text) {
            status = text;
            caret = 0;
            m_journal << QStringLiteral("status=") + text;
        });
        connect(&watcher, &MailboxWatcher::statusAppended, this, [this](const QString &text) {
            status += text;
            caret = status.size();
            m_journal << QStringLiteral("append ") + text;
        });
        connect(&watcher, &MailboxWatcher::progressChanged, this, [this](int value) {
            progress << value;
            m_journal << QStringLiteral("progress=%1").arg(value);
        });
        connect(&watcher, &MailboxWatcher::reported, this, [this](const CheckReport &report) {
            reports << report;
            m_journal << QStringLiteral("report");
        });
        connect(&watcher, &MailboxWatcher::certificateQuestion, this,
                [this](const QString &question) { questions << question; });
        connect(&watcher, &MailboxWatcher::learned, this, [this] { ++learned; });
        connect(&watcher, &MailboxWatcher::finished, this,
                [this](CheckOutcome outcome, const QString &reason) {
                    outcomes << outcome;
                    reasons << reason;
                });
    }

    QString status;
    qsizetype caret = 0;
    QList<int> progress;
    QList<CheckReport> reports;
    QStringList questions;
    int learned = 0;
    QList<CheckOutcome> outcomes;
    QStringList reasons;

    // The last report's announcement line, or nothing.
    QString popupMail() const
    {
        if (reports.isEmpty() || !reports.last().announcement)
            return {};
        return reports.last().announcement->mailLine;
    }

private:
    QStringList &m_journal;
};

// A socket that connects nowhere: it records what it is asked and delivers the lines a test
// hands it, one DataArrival each.
class ScriptedSocket final : public TcpControl
{
public:
    explicit ScriptedSocket(QStringList &journal) : m_journal(journal) {}

    bool open = false;
    bool refuseConnect = false;
    QStringList sent;
    // Lines that came in behind the one being delivered: asked before every command.
    QStringList early;

    void Close() override
    {
        open = false;
        m_journal << QStringLiteral("Close");
    }
    void setLocalPort(quint16 port) override
    {
        m_journal << QStringLiteral("LocalPort %1").arg(port);
    }
    bool Connect(const QString &host, quint16 port, QString *errorText) override
    {
        m_journal << QStringLiteral("Connect %1:%2").arg(host).arg(port);
        if (refuseConnect) {
            if (errorText)
                *errorText = QStringLiteral("no such network here");
            return false;
        }
        open = true;
        return true;
    }
    // TLS as far as the sessions see it: the test says when the handshake has ended, by emitting
    // encrypted().
    bool connectSecure(const QString &host, quint16 port, TlsStart /*start*/,
                       QString *errorText) override
    {
        return Connect(host, port, errorText);
    }
    bool startTls() override
    {
        m_journal << QStringLiteral("startTls");
        return open;
    }
    QString GetData() override { return std::exchange(m_pending, QString()); }
    QByteArray lineBytes() const override { return m_pendingBytes; }
    bool hasPendingData() override { return !early.isEmpty(); }
    bool SendData(const QString &line) override
    {
        m_journal << QStringLiteral("send ") + line;
        if (!open)
            return false;
        sent << line;
        return true;
    }

    void arrive(const QString &line)
    {
        m_pending = line;
        m_pendingBytes = line.toUtf8();
        emit DataArrival(static_cast<qint32>(m_pendingBytes.size()));
        m_pendingBytes.clear();
    }
    void raise(qint16 number, const QString &description) { emit Error(number, description); }

private:
    QStringList &m_journal;
    QString m_pending;
    QByteArray m_pendingBytes;
};

// A clock that gives the times it is handed, one per reading, and then the last one again.
class SteppingClock final : public Clock
{
public:
    QList<QDateTime> times{QDateTime(QDate(2024, 3, 7), QTime(14, 5, 9))};
    mutable int readings = 0;

    QDateTime now() const override
    {
        const int index = std::min(readings, static_cast<int>(times.size()) - 1);
        ++readings;
        return times.at(index);
    }
};
