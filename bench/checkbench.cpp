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
//   <µs to the report line> <µs to txtNewMail set> <µs to the goodbye> <txtNewMail> <txtMailSize>
// timed from the call of cmdCheckNow_Click(). The report line is "รับข้อมูลเรียบร้อย (ออกจากระบบ)",
// appended to txtStatus as QUIT goes out: the report boxes are filled and the count saved by then.
// The goodbye is the server's answer to QUIT, logged after it.
// The next command is read once the server's goodbye has been logged, so sessions never overlap.
// A check that brings no report within 20 s prints "ERROR <status log>" and ends with status 1.
#include "AppFakes.h"
#include "app/FrmMain.h"
#include "app/ThaiFonts.h"
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

    std::string command;
    while (std::getline(std::cin, command)) {
        if (command != "check") {
            std::fprintf(stderr, "checkbench: unknown command '%s'\n", command.c_str());
            return 2;
        }
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
        if (!reportAt || !newMailAt || !goodbyeAt) {
            std::printf("ERROR %s\n",
                        form.txtStatus->Text().replace(u"\r\n"_s, u" | "_s).toUtf8().constData());
            std::fflush(stdout);
            return 1;
        }
        std::printf("%lld %lld %lld %s %s\n", microsSince(started, *reportAt),
                    microsSince(started, *newMailAt), microsSince(started, *goodbyeAt),
                    form.txtNewMail->text().toUtf8().constData(),
                    form.txtMailSize->text().toUtf8().constData());
        std::fflush(stdout);
    }
    return 0;
}
