#include "tray/TrayIcon.h"

TrayIcon::TrayIcon(const QPixmap &picture, const QString &tooltip,
                   std::function<bool()> trayAvailable, QObject *parent)
    : QObject(parent), m_trayAvailable(std::move(trayAvailable))
{
    m_icon.setIcon(QIcon(picture));
    m_icon.setToolTip(tooltip);
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (const int message = messageFor(reason))
                    emit mouseMessage(message);
            });
}

void TrayIcon::add()
{
    m_icon.show();
}

void TrayIcon::remove()
{
    m_icon.hide();
}

bool TrayIcon::isInTray() const
{
    const bool available =
        m_trayAvailable ? m_trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
    return available && m_icon.isVisible();
}

int TrayIcon::messageFor(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return 0x203;
    case QSystemTrayIcon::Context:
        return 0x205;
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        return 0;
    }
    return 0;
}
