#pragma once

#include "AppFakes.h"
#include "app/FrmMain.h"

// The recording fakes a window test starts its window with, and the services that name them for
// a portable copy in `folder` (its seen ids below it), without a tray. A test adds the socket, the
// keyring and whatever else it needs.
struct RecordingServices {
    RecordingPrompt prompt;
    RecordingUrlOpener urlOpener;
    RecordingSoundOutput sound;
    RecordingAutostart autostart;
    FixedClock clock;

    FrmMainServices forFolder(const QString &folder)
    {
        FrmMainServices services;
        services.prompt = &prompt;
        services.urlOpener = &urlOpener;
        services.soundOutput = &sound;
        services.autostart = &autostart;
        services.clock = &clock;
        services.executablePath = folder + QStringLiteral("/larkspur");
        services.executableFolder = folder;
        services.stateFolder = folder + QStringLiteral("/state");
        services.useTray = false;
        return services;
    }
};
