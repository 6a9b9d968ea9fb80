#pragma once

class QWidget;

// Keeps `window` above all other windows (or lets others cover it again) and shows it, without
// moving, resizing or activating it. The window stays frameless and off the taskbar either way.
void SetTopMost(QWidget *window, bool topMost);
