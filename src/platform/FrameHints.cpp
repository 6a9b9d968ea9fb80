#include "platform/FrameHints.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstring>
#include <xcb/xcb.h>

namespace
{
// The Motif window manager hints (Xm/MwmUtil.h): flags, functions, decorations, input mode, status.
constexpr quint32 HintsFunctions = 1 << 0;
constexpr quint32 HintsDecorations = 1 << 1;
constexpr quint32 FunctionMove = 1 << 2;
constexpr quint32 FunctionClose = 1 << 5;
constexpr quint32 DecorationBorder = 1 << 1;
constexpr quint32 DecorationTitle = 1 << 3;
constexpr quint32 DecorationMenu = 1 << 4;
} // namespace

void FrameHints::closeBoxOnly(QWidget *window)
{
    if (!window || QGuiApplication::platformName() != QLatin1StringView("xcb"))
        return;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const char name[] = "_MOTIF_WM_HINTS";
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    if (!reply)
        return;
    const xcb_atom_t hints = reply->atom;
    std::free(reply);
    const quint32 data[5] = {HintsFunctions | HintsDecorations, FunctionMove | FunctionClose,
                             DecorationBorder | DecorationTitle | DecorationMenu, 0, 0};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window->winId()), hints, hints, 32, 5, data);
    xcb_flush(connection);
}
