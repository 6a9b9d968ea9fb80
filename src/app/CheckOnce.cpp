#include "app/CheckOnce.h"

#include "app/CommandLine.h"
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/SeenStore.h"
#include "mailcheck/Winsock1.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "settings/SettingsFile.h"
#include "signin/CredentialSource.h"
#include "wording/Wording.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace CheckOnce
{

namespace
{

void print(FILE *stream, const QStringList &lines, const QString &prefix)
{
    for (const QString &line : lines)
        std::fputs((prefix + line + u'\n').toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

std::variant<MailboxSettings, QString> mailboxFromSettings(const QString &executableFolder)
{
    const QString beside = QDir::cleanPath(executableFolder);
    QString path = settingsPath(locateProgramFolder(beside));
    // A folder the program moved to takes its first values from a Settings.inf beside the
    // executable, which the window copies at its start: read where it is, not copied.
    if (!QFileInfo::exists(path) && QFileInfo(settingsPath(beside)).isFile())
        path = settingsPath(beside);
    const QString shown = QDir::toNativeSeparators(path);
    QString error;
    const LoadedSettings loaded = loadSettings(path, &error);
    if (!error.isEmpty())
        return Wording::checkSettingsUnreadable(shown, error);
    if (!loaded.anyKeyRead)
        return Wording::checkNoSettings(shown);
    if (loaded.server.isEmpty())
        return Wording::checkNoServer();
    // As the start-up: a check without the window needs the password the settings remember.
    if (!loaded.passwordRead || loaded.password.isEmpty())
        return Wording::checkPasswordNotRemembered();

    MailboxSettings mailbox;
    mailbox.server = loaded.server;
    mailbox.loginName = loaded.loginName;
    mailbox.password = loaded.password;
    mailbox.totalOldEmail = loaded.totalOldEmail.value_or(0);
    mailbox.security = loaded.security.mode;
    mailbox.securityMemory = loaded.security.memory;
    return mailbox;
}

Result check(const MailboxSettings &mailbox, TcpControl &channel, const Clock &clock,
             const SeenStore &seen)
{
    TypedPassword password;
    MailboxWatcher watcher(channel, password, clock, &seen);
    watcher.settings() = mailbox;
    watcher.setReadOnly(true);
    Result result;
    if (const auto problem = watcher.loginProblem()) {
        result.errors << *problem;
        return result;
    }

    QEventLoop loop;
    std::optional<CheckReport> report;
    std::optional<CheckOutcome> outcome;
    QString reason;
    bool certificateAsked = false;
    QObject::connect(&watcher, &MailboxWatcher::reported, &loop,
                     [&](const CheckReport &reported) { report = reported; });
    QObject::connect(&watcher, &MailboxWatcher::finished, &loop,
                     [&](CheckOutcome finished, const QString &why) {
                         outcome = finished;
                         reason = why;
                     });
    // No one to ask: refused once the socket's handler has returned, as the window answers.
    QObject::connect(
        &watcher, &MailboxWatcher::certificateQuestion, &loop,
        [&] {
            certificateAsked = true;
            watcher.answerCertificate(false);
        },
        Qt::QueuedConnection);
    // After a report, the server's goodbye is waited for (the session's deadline bounds it), so
    // that QUIT has gone out before the program ends.
    QTimer poll;
    poll.setInterval(10ms);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        const Pop3Session::State state = watcher.session().state();
        if (outcome &&
            (!report || state == Pop3Session::State::Ended || state == Pop3Session::State::Idle))
            loop.quit();
    });
    if (const auto failure = watcher.check()) {
        result.errors << Wording::checkFailed(*failure);
        return result;
    }
    poll.start();
    loop.exec();

    if (!report) {
        if (certificateAsked)
            result.errors << Wording::checkCannotAskAboutCertificate();
        result.errors << (outcome == CheckOutcome::LoginRefused ? Wording::checkLoginRefused(reason)
                                                                : Wording::checkFailed(reason));
        return result;
    }
    result.errors << report->notes;
    // A count that could not be read tells nothing either way.
    if (!report->newEmailText) {
        result.errors << Wording::checkCountUnread();
        return result;
    }
    const std::optional<Announcement> &news = report->announcement;
    result.report << Wording::checkTotal(watcher.MessageCount) << report->mailSizeText
                  << Wording::checkNew(news ? news->newCount : 0);
    if (news)
        result.report << news->messages;
    result.exitCode = news ? NewMail : NoNewMail;
    return result;
}

int run(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    // 1 would read as "no new mail".
    if (const auto exitCode = CommandLine::refuseUnknownArguments(Failed))
        return *exitCode;
    const QString prefix = QCoreApplication::applicationName() + u": "_s;
    const auto mailbox = mailboxFromSettings(QCoreApplication::applicationDirPath());
    if (const QString *problem = std::get_if<QString>(&mailbox)) {
        print(stderr, {*problem}, prefix);
        return Failed;
    }
    Winsock1 socket;
    const SystemClock clock;
    const SeenStore seen(SeenStore::defaultFolder());
    const Result result = check(std::get<MailboxSettings>(mailbox), socket, clock, seen);
    print(stdout, result.report, QString());
    print(stderr, result.errors, prefix);
    return result.exitCode;
}

} // namespace CheckOnce
