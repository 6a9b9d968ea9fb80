#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <functional>
#include <optional>

// The program's one icon in the tray. Qt speaks StatusNotifierItem where the desktop offers it
// and XEmbed otherwise, and re-embeds the icon when a tray appears after us. Qt's XEmbed icon
// raises its context request when the right button goes down; here the menu belongs to the
// button's release over the icon, as a press alone must do nothing. One icon per program.
//
// On a StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator extension) the host sees the
// mouse, not us: a left click arrives as Activate, which Qt reports as a single trigger, and there
// is no double-click at all. There the trigger stands for the double-click, so that the icon can
// still show and hide the window; the menu comes through ContextMenu as Qt's context request.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    // `trayAvailable` tells whether a tray host is there; null asks the desktop.
    TrayIcon(const QPixmap &picture, const QString &tooltip,
             std::function<bool()> trayAvailable = {}, QObject *parent = nullptr);

    void add();
    void remove();
    void setToolTip(const QString &tooltip);
    bool isInTray() const;
    QSystemTrayIcon &icon() { return m_icon; }

    // How the icon reaches the tray, as Qt chose it when the icon was made.
    enum class Host { XEmbed, StatusNotifierItem };
    Q_ENUM(Host)
    // XEmbed while Qt's embedded icon window exists: activations come from the mouse on it then.
    Host host() const;

    // The two things a user does with the icon.
    enum class Gesture {
        ToggleWindow, // the left double-click (a StatusNotifierItem host's Activate stands for it)
        OpenMenu,     // the right button released over the icon
    };
    Q_ENUM(Gesture)

    // The gesture a tray activation stands for, or nothing for one that means nothing here.
    static std::optional<Gesture> gestureFor(QSystemTrayIcon::ActivationReason reason, Host host);

signals:
    void gesture(TrayIcon::Gesture gesture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The last Activate taken from a StatusNotifierItem host: a user's double-click, out of habit,
    // comes as two of them and must not hide the window and show it again at once.
    QElapsedTimer m_lastActivate;
    QSystemTrayIcon m_icon;
    std::function<bool()> m_trayAvailable;
};
