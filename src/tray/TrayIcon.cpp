#include "tray/TrayIcon.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{
// The window Qt embeds into an XEmbed tray; it is made anew whenever a tray appears.
bool isEmbeddedIcon(QObject *object)
{
    return object->isWidgetType() && object->objectName() == u"QSystemTrayIconSys"_s;
}
} // namespace

TrayIcon::TrayIcon(const QPixmap &picture, const QString &tooltip,
                   std::function<bool()> trayAvailable, QObject *parent)
    : QObject(parent), m_trayAvailable(std::move(trayAvailable))
{
    m_icon.setIcon(QIcon(picture));
    m_icon.setToolTip(tooltip);
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                const Host from = host();
                if (reason == QSystemTrayIcon::Trigger && from == Host::StatusNotifierItem) {
                    const bool secondOfPair =
                        m_lastActivate.isValid() &&
                        m_lastActivate.elapsed() < QApplication::doubleClickInterval();
                    m_lastActivate.start();
                    if (secondOfPair)
                        return;
                }
                if (const auto made = gestureFor(reason, from))
                    emit gesture(*made);
            });
    if (QCoreApplication *application = QCoreApplication::instance())
        application->installEventFilter(this);
}

bool TrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::RightButton || !isEmbeddedIcon(watched))
        return false;
    // The press goes no further, so Qt's own context request never comes on this path.
    if (type == QEvent::MouseButtonRelease &&
        static_cast<QWidget *>(watched)->rect().contains(mouse->position().toPoint()))
        emit gesture(Gesture::OpenMenu);
    return true;
}

void TrayIcon::add()
{
    m_icon.show();
}

void TrayIcon::remove()
{
    m_icon.hide();
}

void TrayIcon::setToolTip(const QString &tooltip)
{
    m_icon.setToolTip(tooltip);
}

bool TrayIcon::isInTray() const
{
    const bool available =
        m_trayAvailable ? m_trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
    return available && m_icon.isVisible();
}

TrayIcon::Host TrayIcon::host() const
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    const bool embedded = std::any_of(windows.cbegin(), windows.cend(), isEmbeddedIcon);
    return embedded ? Host::XEmbed : Host::StatusNotifierItem;
}

std::optional<TrayIcon::Gesture> TrayIcon::gestureFor(QSystemTrayIcon::ActivationReason reason,
                                                      Host host)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return Gesture::ToggleWindow;
    case QSystemTrayIcon::Context:
        return Gesture::OpenMenu;
    case QSystemTrayIcon::Trigger:
        if (host == Host::StatusNotifierItem)
            return Gesture::ToggleWindow;
        return std::nullopt;
    case QSystemTrayIcon::MiddleClick: // SecondaryActivate on a StatusNotifierItem host
    case QSystemTrayIcon::Unknown:
        return std::nullopt;
    }
    return std::nullopt;
}
