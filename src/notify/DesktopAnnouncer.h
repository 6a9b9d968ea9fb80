#pragma once

#include "notify/Announcer.h"

#include <functional>

class DesktopNotifier;
class PopUpHost;

// New mail told on the desktop: the popup in the corner, with the new messages in its tooltip,
// the sound, and a desktop notification where the user chose one or the popup cannot be placed.
class DesktopAnnouncer final : public Announcer
{
public:
    // `notifier` may be null: no notifications at all.
    DesktopAnnouncer(PopUpHost &popUp, std::function<void()> playSound, DesktopNotifier *notifier);

    // Where the popup cannot be placed (Wayland without XWayland), the notification tells always.
    void setNotifyAlways(bool always) { m_notifyAlways = always; }

    void prepare(const Announcement &announcement) override;
    void show(const Announcement &announcement) override;

private:
    PopUpHost &m_popUp;
    std::function<void()> m_playSound;
    DesktopNotifier *m_notifier;
    bool m_notifyAlways = false;
};
