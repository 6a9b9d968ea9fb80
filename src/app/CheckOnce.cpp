#include "app/CheckOnce.h"

#include "app/CommandLine.h"
#include "app/KeyringWrites.h"
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/SeenStore.h"
#include "mailcheck/Winsock1.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/UrlOpener.h"
#include "settings/SettingsFile.h"
#include "signin/CredentialSource.h"
#include "signin/OAuth2Credentials.h"
#include "signin/SecretServiceStore.h"
#include "wording/Wording.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTimer>
#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace CheckOnce
{

namespace
{

// A check from the command line opens no browser.
class NoBrowser final : public UrlOpener
{
public:
    bool open(const QString & /*address*/) override { return false; }
};

// The remembered password: the one the settings hold, else the keyring's.
class RememberedOrKept final : public QObject, public CredentialSource
{
public:
    explicit RememberedOrKept(SecretStore *keyring) : m_keyring(keyring)
    {
        if (m_keyring)
            connect(m_keyring, &SecretStore::finished, this, &RememberedOrKept::onFinished);
    }
    void request(const MailboxSettings &mailbox, Answer answer) override
    {
        if (!mailbox.password.isEmpty() || !m_keyring) {
            if (mailbox.password.isEmpty())
                answer(std::nullopt, Wording::checkPasswordNotRemembered());
            else
                answer(Credential{Credential::Kind::Password, mailbox.password}, QString());
            return;
        }
        m_answer = std::move(answer);
        m_reading =
            m_keyring->read(SecretKey{mailbox.server, mailbox.loginName, SecretKind::Password});
    }

private:
    void onFinished(SecretStore::RequestId id, SecretStore::Request, const SecretResult &result)
    {
        if (id != m_reading || !m_answer)
            return;
        const Answer answer = std::exchange(m_answer, nullptr);
        if (result.status == SecretResult::Status::Found)
            answer(Credential{Credential::Kind::Password, result.value}, QString());
        else if (result.status == SecretResult::Status::Problem)
            answer(std::nullopt, secretProblemLine(result.problem, result.reason));
        else
            answer(std::nullopt, Wording::checkPasswordNotRemembered());
    }

    SecretStore *m_keyring;
    SecretStore::RequestId m_reading = 0;
    Answer m_answer;
};

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
    // As the start-up: a check without the window needs the password the settings remember (in
    // the file or the keyring), unless a token signs in.
    if (!loaded.oauth2Chosen && !loaded.passwordRead)
        return Wording::checkPasswordNotRemembered();

    MailboxSettings mailbox;
    mailbox.signIn =
        loaded.oauth2Chosen ? MailboxSettings::SignIn::OAuth2 : MailboxSettings::SignIn::Password;
    mailbox.oauth2 = loaded.oauth2;
    mailbox.server = loaded.server;
    mailbox.loginName = loaded.loginName;
    mailbox.password = loaded.password;
    mailbox.totalOldEmail = loaded.totalOldEmail.value_or(0);
    mailbox.security = loaded.security.mode;
    mailbox.securityMemory = loaded.security.memory;
    return mailbox;
}

Result check(const MailboxSettings &mailbox, TcpControl &channel, const Clock &clock,
             const SeenStore &seen, const Sources &sources)
{
    RememberedOrKept password(sources.keyring);
    QNetworkAccessManager ownNetwork;
    NoBrowser noBrowser;
    OAuth2Credentials tokens(sources.network ? sources.network : &ownNetwork, noBrowser,
                             sources.keyring, clock);
    tokens.setSignInAllowed(false);
    ChosenCredentials credentials(password, tokens);
    MailboxWatcher watcher(channel, credentials, clock, &seen);
    watcher.settings() = mailbox;
    watcher.setReadOnly(true);
    Result result;
    // The keyring's password is asked when the check starts: an empty one is not missing yet.
    if (mailbox.password.isEmpty() && sources.keyring)
        watcher.settings().password = u"*"_s;
    const auto problem = watcher.loginProblem();
    watcher.settings().password = mailbox.password;
    if (problem) {
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
    // An IMAP connection left open to idle has nothing more to say to a check that only looks.
    QObject::connect(&watcher, &MailboxWatcher::reported, &loop, [&] {
        if (watcher.imapSession().isIdling())
            watcher.stop();
    });
    if (const auto failure = watcher.check()) {
        result.errors << Wording::checkFailed(*failure);
        return result;
    }
    poll.start();
    loop.exec();
    waitForKeyringWrites(tokens);

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
    SecretServiceStore keyring(QDBusConnection::sessionBus());
    QNetworkAccessManager network;
    const Result result =
        check(std::get<MailboxSettings>(mailbox), socket, clock, seen, {&keyring, &network});
    print(stdout, result.report, QString());
    print(stderr, result.errors, prefix);
    return result.exitCode;
}

} // namespace CheckOnce
