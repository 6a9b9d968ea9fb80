#pragma once

class QWidget;

// What a window asks of the window manager for its frame, beyond Qt's own hints.
namespace FrameHints
{
// A fixed border with the title and the close box alone: no minimise or maximise button, no
// resizing. Qt's Motif hints always allow resizing and moving; on X11 this writes them anew.
// Elsewhere (Wayland) the compositor decides, and nothing is asked.
void closeBoxOnly(QWidget *window);
} // namespace FrameHints
