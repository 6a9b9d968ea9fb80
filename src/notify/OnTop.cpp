#include "notify/OnTop.h"

#include <QWidget>

void SetTopMost(QWidget *window, bool topMost)
{
    if (!window)
        return;
    // A tool window has no taskbar button; one that refuses focus is never activated by the
    // window manager, and WA_ShowWithoutActivating keeps Qt from asking it to.
    Qt::WindowFlags flags =
        window->windowFlags() | Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus;
    flags.setFlag(Qt::WindowStaysOnTopHint, topMost);
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    if (flags != window->windowFlags()) {
        // Changing the flags recreates the native window, which forgets where it stood.
        const QPoint pos = window->pos();
        window->setWindowFlags(flags);
        window->move(pos);
    }
    window->show();
}
