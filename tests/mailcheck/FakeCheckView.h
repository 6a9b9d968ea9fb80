#pragma once

#include "mailcheck/CheckView.h"
#include "mailcheck/TcpControl.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <utility>

// What the main window's controls would hold, as plain values, and a journal of every operation
// in the order it happened (shared with ScriptedSocket, so sends and log writes interleave).
class FakeCheckView final : public CheckView
{
public:
    explicit FakeCheckView(QStringList &journal) : m_journal(journal) {}

    QString server = QStringLiteral("mail.example.org");
    QString userName = QStringLiteral("demo");
    QString password = QStringLiteral("secret");
    QString status;
    qsizetype caret = 0;
    QList<int> progress;
    QString lastCheck, newMail, mailSize;
    QString newEmail;
    bool statusFrameVisible = true;
    bool reportFrameVisible = false;
    int openSound = 0;
    int eventRuns = 0;
    int saves = 0;
    int sounds = 0;
    QString popupMail, popupEmail, popupCaption;
    int popupShows = 0;
    // Run inside SaveSettings and inside letEventsRun, as events that arrive there would be.
    std::function<void()> onSave;
    std::function<void()> onEvents;

    QString serverText() const override { return server; }
    QString userNameText() const override { return userName; }
    QString passwordText() const override { return password; }
    QString statusText() const override { return status; }
    void setStatusText(const QString &text) override
    {
        status = text;
        caret = 0;
        m_journal << QStringLiteral("status=") + text;
    }
    void appendStatusText(const QString &text) override { setStatusText(status + text); }
    void moveStatusCaretToEnd() override
    {
        caret = status.size();
        m_journal << QStringLiteral("caret");
    }
    void setProgress(int value) override
    {
        progress << value;
        m_journal << QStringLiteral("progress=%1").arg(value);
    }
    void setLastCheckText(const QString &text) override { lastCheck = text; }
    void setNewMailText(const QString &text) override { newMail = text; }
    void setMailSizeText(const QString &text) override { mailSize = text; }
    QString newEmailText() const override { return newEmail; }
    void setNewEmailText(const QString &text) override
    {
        newEmail = text;
        m_journal << QStringLiteral("newEmail=") + text;
    }
    void setStatusFrameVisible(bool visible) override { statusFrameVisible = visible; }
    void setReportFrameVisible(bool visible) override { reportFrameVisible = visible; }
    int openSoundState() const override { return openSound; }
    void letEventsRun() override
    {
        ++eventRuns;
        m_journal << QStringLiteral("events");
        if (onEvents)
            onEvents();
        QCoreApplication::processEvents();
    }
    bool SaveSettings() override
    {
        ++saves;
        m_journal << QStringLiteral("save");
        if (onSave)
            onSave();
        return true;
    }
    void PlaySound() override
    {
        ++sounds;
        m_journal << QStringLiteral("sound");
    }
    void setPopupTexts(const QString &mailLine, const QString &emailLine,
                       const QString &caption) override
    {
        popupMail = mailLine;
        popupEmail = emailLine;
        popupCaption = caption;
        m_journal << QStringLiteral("popupTexts");
    }
    void showPopup() override
    {
        ++popupShows;
        m_journal << QStringLiteral("showPopup");
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
    QString GetData() override { return std::exchange(m_pending, QString()); }
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
        emit DataArrival(static_cast<qint32>(line.toUtf8().size()));
    }
    void raise(qint16 number, const QString &description) { emit Error(number, description); }

private:
    QStringList &m_journal;
    QString m_pending;
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
