#include "scheduling/CheckCommand.h"

std::optional<QString> cmdCheckNow_Click(CheckCommandView &view)
{
    view.clearReportBoxes();
    // Let the emptied boxes repaint before the connection starts.
    view.letEventsRun();
    view.setProgress(0);
    if (auto failure = view.CheckEmail())
        return failure;
    view.setReportFrameVisible(false);
    view.setStatusFrameVisible(true);
    view.SaveSettings();
    return std::nullopt;
}
