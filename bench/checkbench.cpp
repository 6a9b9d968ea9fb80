// Times Larkspur's own mail check through the path a user's click takes: the real FrmMain with its
// real Winsock1 socket, offscreen, the window hidden as it is while the program sits in the tray.
//
//   checkbench HOST USER PASSWORD KNOWN_COUNT [SECURITY]
//
// KNOWN_COUNT goes into Settings.inf as the remembered count, so that a check of an unchanged
// mailbox finds no new mail and raises no popup: the steady state of the periodic check. SECURITY
// is the connection security as Settings.inf holds it (auto, tls, starttls, none; default none,
// the plain dialogue); HOST may carry a port ("127.0.0.1:995").
// Reads one command per line from stdin; "check" runs one check and prints
//   <µs to the report line> <µs to txtNewMail set> <µs to the goodbye> <txtNewMail> <txtNewEmail>
//   <txtMailSize>
// timed from the call of cmdCheckNow_Click() (txtNewEmail "-" when empty). The report line is
// "รับข้อมูลเรียบร้อย (ออกจากระบบ)", appended to txtStatus as QUIT goes out: the report boxes are
// filled and the count saved by then. The goodbye is the server's answer to QUIT, logged after it.
// "check SCENARIO" first gives the window the seen ids of a scenario, untimed, so that every run
// of it starts from the same memory of the mailbox:
//   nothing-new     every message seen, and the check before it found nothing new either (an
//                   untimed one, made first): the periodic check's steady state
//   one-new         every message but the last seen, the STAT before it one message shorter
//   deleted-and-new every message but the last seen, and one that has gone since: STAT unchanged
// The ids come from one untimed check made before the first scenario (its full listing), and
// go through the window's own store, which keeps what it writes.
// The next command is read once the server's goodbye has been logged, so sessions never overlap.
// A check that brings no report within 20 s prints "ERROR <status log>" and ends with status 1.
#include "AppFakes.h"
#include "app/FrmMain.h"
#include "app/ThaiFonts.h"
#include "mailcheck/SeenStore.h"
#include "platform/Clock.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

using namespace Qt::StringLiterals;
using Clocked = std::chrono::steady_clock;

namespace
{

const QString reportLine = u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s;

long long microsSince(Clocked::time_point start, Clocked::time_point end)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(end - start).count();
}

// The line a writer of the log appended last: its text ends with CR LF, so the document's last
// block is the empty one after it. Looked up by block, not by converting the whole log, so that
// watching costs next to nothing inside the timed path.
QString lastLine(const QPlainTextEdit &box)
{
    const QTextDocument *document = box.document();
    const int count = document->blockCount();
    return count >= 2 ? document->findBlockByNumber(count - 2).text() : QString();
}

enum class Scenario { NothingNew, OneNew, DeletedAndNew };

std::optional<Scenario> scenarioNamed(const QString &name)
{
    if (name == u"nothing-new"_s)
        return Scenario::NothingNew;
    if (name == u"one-new"_s)
        return Scenario::OneNew;
    if (name == u"deleted-and-new"_s)
        return Scenario::DeletedAndNew;
    return std::nullopt;
}

// What the window remembers before a check of `scenario`, made from the memory of a check that
// saw every message. Dovecot's ids (its pop3_uidl_format %08Xu%08Xv) sort as the messages are
// numbered, so the greatest is the last message's and the one before it the last but one's.
std::optional<SeenState> scenarioState(const SeenState &all, Scenario scenario, QString *why)
{
    QList<QByteArray> ids(all.ids.cbegin(), all.ids.cend());
    std::sort(ids.begin(), ids.end());
    if (!all.known || ids.size() < 2 || ids.last() != all.lastId) {
        *why = u"the seen ids do not sort as the messages are numbered (last id %1)"_s.arg(
            QString::fromLatin1(all.lastId));
        return std::nullopt;
    }
    SeenState state = all;
    // Listed just now: no daily listing falls into a run.
    state.listedAt = QDateTime::currentDateTimeUtc();
    switch (scenario) {
    case Scenario::NothingNew:
        break;
    case Scenario::OneNew:
        state.ids.remove(ids.last());
        state.count = all.count - 1;
        state.lastId = ids.at(ids.size() - 2);
        break;
    case Scenario::DeletedAndNew:
        state.ids.remove(ids.last());
        state.ids.insert("bench-deleted-message");
        state.lastId = ids.at(ids.size() - 2);
        break;
    }
    return state;
}

bool writeSettings(const QString &path, const QString &host, const QString &user, qint64 known,
                   const QString &security)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // mempass=0: the harness types the password itself, and Form_Load starts no check of its own.
    const QString text = u"[settings]\r\nPOP3MailServer=%1\r\nloginname=%2\r\nmempass=0\r\n"
                         u"checkeveryon=0\r\ncheckeverymin=15\r\nlaunchatstartup=0\r\n"
                         u"enablesound=0\r\ntotaloldemail=%3\r\nsecurity=%4\r\n"_s.arg(host, user)
                             .arg(known)
                             .arg(security);
    return file.write(text.toLatin1()) > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ThaiFonts::installSubstitutions();

    const QStringList args = QCoreApplication::arguments();
    bool knownOk = false;
    const qint64 known = args.size() == 5 || args.size() == 6 ? args[4].toLongLong(&knownOk) : 0;
    if (!knownOk) {
        std::fprintf(stderr, "usage: checkbench HOST USER PASSWORD KNOWN_COUNT [SECURITY]\n");
        return 2;
    }
    const QString security = args.size() == 6 ? args[5] : u"none"_s;
    const QString host = args[1];
    const QString user = args[2];
    const QString password = args[3];

    QTemporaryDir folder;
    if (!folder.isValid() ||
        !writeSettings(folder.filePath(u"Settings.inf"_s), host, user, known, security)) {
        std::fprintf(stderr, "checkbench: cannot write Settings.inf in a temporary folder\n");
        return 1;
    }

    RecordingPrompt prompt;
    RecordingUrlOpener urlOpener;
    RecordingSoundOutput sound;
    RecordingAutostart autostart;
    SystemClock clock;
    FrmMainServices services;
    services.prompt = &prompt;
    services.urlOpener = &urlOpener;
    services.soundOutput = &sound;
    services.autostart = &autostart;
    services.clock = &clock;
    services.executablePath = folder.filePath(u"larkspur"_s);
    services.executableFolder = folder.path();
    services.stateFolder = folder.path() + QStringLiteral("/state");
    services.useTray = false;
    services.trayAvailable = [] { return false; };

    FrmMain form(services);
    form.Form_Load();
    form.hide();
    // Typed as a user would; the stored login already filled the other two.
    form.txtPOP3Server->setText(host);
    form.txtUserName->setText(user);
    form.txtPassword->setText(password);

    Clocked::time_point started;
    std::optional<Clocked::time_point> newMailAt;
    std::optional<Clocked::time_point> reportAt;
    std::optional<Clocked::time_point> goodbyeAt;
    bool goodbyeLogged = false;
    QEventLoop loop;
    QObject::connect(form.txtNewMail, &QLineEdit::textChanged, [&](const QString &text) {
        if (!newMailAt && !text.isEmpty())
            newMailAt = Clocked::now();
    });
    QObject::connect(form.txtStatus, &QPlainTextEdit::textChanged, [&] {
        if (!reportAt) {
            if (lastLine(*form.txtStatus) == reportLine)
                reportAt = Clocked::now();
        } else if (!goodbyeLogged && lastLine(*form.txtStatus) != reportLine) {
            goodbyeAt = Clocked::now();
            goodbyeLogged = true;
            loop.quit();
        }
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);

    const auto check = [&] {
        newMailAt.reset();
        reportAt.reset();
        goodbyeAt.reset();
        goodbyeLogged = false;
        deadline.start(std::chrono::seconds(20));
        started = Clocked::now();
        form.cmdCheckNow_Click();
        if (!goodbyeLogged)
            loop.exec();
        deadline.stop();
        if (reportAt && newMailAt && goodbyeAt)
            return true;
        std::printf("ERROR %s\n",
                    form.txtStatus->Text().replace(u"\r\n"_s, u" | "_s).toUtf8().constData());
        std::fflush(stdout);
        return false;
    };

    // The window's own store: what it saves it keeps, as after the tray program's own last check.
    const SeenStore &seen = *form.watcher().seenStore();
    std::optional<SeenState> everySeen;
    std::string command;
    while (std::getline(std::cin, command)) {
        const QStringList words = QString::fromStdString(command).split(u' ', Qt::SkipEmptyParts);
        const std::optional<Scenario> scenario =
            words.size() == 2 ? scenarioNamed(words[1]) : std::nullopt;
        if (words.isEmpty() || words[0] != u"check"_s || words.size() > 2 ||
            (words.size() == 2 && !scenario)) {
            std::fprintf(stderr, "checkbench: unknown command '%s'\n", command.c_str());
            return 2;
        }
        if (scenario) {
            const Scenario chosen = *scenario;
            if (!everySeen) {
                if (!check())
                    return 1;
                everySeen = seen.load(form.watcher().key());
            }
            QString why;
            const std::optional<SeenState> state = scenarioState(*everySeen, chosen, &why);
            if (!state || !seen.save(form.watcher().key(), *state, &why)) {
                std::fprintf(stderr, "checkbench: %s\n", qPrintable(why));
                return 1;
            }
            if (chosen == Scenario::NothingNew && !check())
                return 1;
        }
        if (!check())
            return 1;
        const QString newEmail = form.txtNewEmail->text();
        std::printf("%lld %lld %lld %s %s %s\n", microsSince(started, *reportAt),
                    microsSince(started, *newMailAt), microsSince(started, *goodbyeAt),
                    form.txtNewMail->text().toUtf8().constData(),
                    newEmail.isEmpty() ? "-" : newEmail.toUtf8().constData(),
                    form.txtMailSize->text().toUtf8().constData());
        std::fflush(stdout);
    }
    return 0;
}
