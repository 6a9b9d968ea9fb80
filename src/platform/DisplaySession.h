#pragma once

#include <QByteArray>
#include <QString>

// Which window system the program draws on. The new-mail popup places itself in a corner of the
// screen and stays above the other windows; X11 lets a window do both, a Wayland compositor lets
// it do neither. On a Wayland session that offers XWayland the program therefore runs through it;
// only without XWayland does it run on Wayland itself.
namespace DisplaySession
{
struct Environment {
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM: the user's own choice wins
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray display;        // DISPLAY: XWayland's (or a plain X server's)
    QByteArray sessionType;    // XDG_SESSION_TYPE
};

Environment current();

// The Qt platform to ask for in `environment`, or an empty array to leave the choice to Qt.
QByteArray platformFor(const Environment &environment);

// Asks Qt for platformFor(current()) while the QApplication is made, and no longer: programs
// started from here (the web browser) choose for themselves.
class PlatformChoice
{
public:
    PlatformChoice();
    // Call once the QApplication exists.
    void restore();

private:
    bool m_set = false;
};

// The status line for a program running on `platformName` (QGuiApplication::platformName()),
// or an empty text where the popup can place itself.
QString popupPlacementNote(const QString &platformName);
} // namespace DisplaySession
