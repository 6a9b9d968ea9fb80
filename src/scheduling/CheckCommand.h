#pragma once

#include <QString>
#include <optional>

// What the check command needs of the main window.
class CheckCommandView
{
public:
    virtual ~CheckCommandView() = default;
    virtual void clearReportBoxes() = 0; // txtLastCheck, txtNewMail, txtMailSize, in that order
    virtual void letEventsRun() = 0;
    virtual void setProgress(int value) = 0;
    // Starts a check; an immediate failure comes back as a status line.
    virtual std::optional<QString> CheckEmail() = 0;
    virtual void setReportFrameVisible(bool visible) = 0;
    virtual void setStatusFrameVisible(bool visible) = 0;
    // On failure it has already told the user and returns false.
    virtual bool SaveSettings() = 0;
};

// The one entry of every check: the button, the tray menu, the timer and the start-up.
// Returns the failure that stopped it, for the caller to show; a failed save has been shown.
std::optional<QString> cmdCheckNow_Click(CheckCommandView &view);
