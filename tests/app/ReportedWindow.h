#pragma once

// The main window as the fullest report leaves it: a real check (over a fake socket) of a mailbox
// with the most messages a count holds, all of them new, and the largest size, on a two-digit
// day, month and hour, for a user name that is a whole address. The new-mail window is up.
#include "AppFakes.h"
#include "FakeSocket.h"
#include "TextInk.h"
#include "app/FrmMain.h"
#include "notify/PopUp.h"
#include "notify/PopUpHost.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <memory>

class ReportedWindow
{
public:
    // Empty when all went as a check goes, else what did not.
    QString build()
    {
        using namespace Qt::StringLiterals;
        QFile settings(m_folder.filePath(u"Settings.inf"_s));
        if (!settings.open(QIODevice::WriteOnly))
            return settings.errorString();
        settings.write("[settings]\r\nPOP3MailServer=pop.mail.example.co.th\r\n"
                       "loginname=somchai.jaidee@example.co.th\r\nmempass=1\r\n"
                       "loginpass=\xcc\xcd\xce\r\ncheckeveryon=1\r\ncheckeverymin=99\r\n"
                       "totaloldemail=0\r\nsecurity=none\r\n");
        settings.close();
        m_clock.at = QDateTime(QDate(2026, 12, 28), QTime(23, 58, 58));

        FrmMainServices services;
        services.prompt = &m_prompt;
        services.urlOpener = &m_urlOpener;
        services.soundOutput = &m_sound;
        services.autostart = &m_autostart;
        services.clock = &m_clock;
        services.socket = &m_socket;
        services.executablePath = m_folder.filePath(u"larkspur"_s);
        services.executableFolder = m_folder.path();
        services.stateFolder = m_folder.path() + QStringLiteral("/state");
        services.trayAvailable = [] { return true; };
        form = std::make_unique<FrmMain>(services);
        form->Form_Load();
        // A server without UIDL and TOP: the count alone tells.
        for (const QString &line :
             {u"+OK ready\r\n"_s, u"+OK\r\n"_s, u"+OK\r\n"_s, u"+OK 32767 2147483647\r\n"_s,
              u"-ERR\r\n"_s, u"-ERR\r\n"_s, u"-ERR\r\n"_s})
            m_socket.arrive(line);
        // The window takes the report once the socket's handler has returned.
        for (QDeadlineTimer bound(5000); !form->popUp().window() && !bound.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (form->txtNewEmail->text() != u"32767"_s || !form->popUp().window())
            return u"the check did not report: "_s + form->txtStatus->Text();
        // Shown, as the user opens it from the tray to read the report.
        form->show();
        form->MenuFile->ensurePolished();
        form->MenuFile->resize(form->MenuFile->sizeHint());
        return {};
    }

    // Every text of the main window, its tray menu and the new-mail window.
    QList<TextInk::Item> items() const
    {
        return TextInk::itemsOfWindow(form.get()) + TextInk::itemsOfWindow(form->popUp().window());
    }

    std::unique_ptr<FrmMain> form;

private:
    QTemporaryDir m_folder;
    RecordingPrompt m_prompt;
    RecordingUrlOpener m_urlOpener;
    RecordingSoundOutput m_sound;
    RecordingAutostart m_autostart;
    FixedClock m_clock;
    FakeSocket m_socket;
};
