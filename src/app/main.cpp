#include "app/CheckOnce.h"
#include "app/CommandLine.h"
#include "app/FrmMain.h"
#include "app/ThaiFonts.h"
#include "notify/DesktopNotifier.h"
#include "platform/AlsaSoundOutput.h"
#include "platform/Clock.h"
#include "platform/DesktopPrompt.h"
#include "platform/DisplaySession.h"
#include "platform/InstallLayout.h"
#include "platform/ProgramFolder.h"
#include "platform/RegexEngine.h"
#include "platform/SingleInstance.h"
#include "platform/SleepClocks.h"
#include "platform/WakeMonitor.h"
#include "platform/XdgAutostart.h"
#include "signin/SecretServiceStore.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    if (const auto exitCode = CommandLine::answerInformationOptions(argc, argv))
        return *exitCode;
    // One check without a window: no display, no tray, and beside a running copy.
    if (CommandLine::asksForCheck(argc, argv))
        return CheckOnce::run(argc, argv);
    RegexEngine::preferInterpreter();
    DisplaySession::PlatformChoice platform;
    QApplication app(argc, argv);
    platform.restore();
    if (const auto exitCode = CommandLine::refuseUnknownArguments())
        return *exitCode;
    QGuiApplication::setDesktopFileName(QStringLiteral(LARKSPUR_APP_ID));
    // A tray program: closing its window does not end it; only the tray menu does.
    QApplication::setQuitOnLastWindowClosed(false);
    ThaiFonts::installSubstitutions();

    MessageBoxPrompt prompt;
    DesktopUrlOpener urlOpener;
    AlsaSoundOutput soundOutput;
    XdgAutostart autostart;
    SystemClock clock;
    SecretServiceStore keyring(QDBusConnection::sessionBus());
    DesktopNotifier notifier;
    SystemSleepClocks sleepClocks;
    WakeMonitor wake(sleepClocks);
    wake.watchNetwork();

    FrmMainServices services;
    services.prompt = &prompt;
    services.urlOpener = &urlOpener;
    services.soundOutput = &soundOutput;
    services.autostart = &autostart;
    services.clock = &clock;
    services.secretStore = &keyring;
    services.notifier = &notifier;
    services.wake = &wake;
    // Where the popup cannot place itself, the desktop's notification tells of new mail.
    const QString placementNote =
        DisplaySession::popupPlacementNote(QGuiApplication::platformName());
    services.notifyAlways = !placementNote.isEmpty();
    services.executablePath = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    services.executableFolder = QDir::cleanPath(QCoreApplication::applicationDirPath());
    if (const QString data = installedDataFolder(services.executableFolder); !data.isEmpty())
        services.defaultSoundPath = data + u"/mail.wav"_s;

    // One program per settings folder: a second start shows the first one's window and ends.
    // Only located here: the start-up sets the folder up, and tells when it copies the settings.
    SingleInstance instance(locateProgramFolder(services.executableFolder));
    switch (instance.start()) {
    case SingleInstance::Outcome::HandedOver:
        return 0;
    case SingleInstance::Outcome::NoAnswer:
        std::fprintf(stderr, "larkspur: another copy runs with these settings: %s\n",
                     instance.error().toLocal8Bit().constData());
        return 1;
    case SingleInstance::Outcome::First:
    case SingleInstance::Outcome::Unguarded:
        break;
    }

    FrmMain form(services);
    form.Form_Load();
    instance.setShowHandler([&form] {
        form.MenuShow_Click();
        form.raise();
        form.activateWindow();
    });
    if (!instance.error().isEmpty())
        form.tellUser(u"ป้องกันการเปิดโปรแกรมซ้ำไม่ได้ : "_s + instance.error());
    if (!placementNote.isEmpty())
        form.tellUser(placementNote);
    const int exitCode = QApplication::exec();
    form.finishKeyringWrites();
    return exitCode;
}
