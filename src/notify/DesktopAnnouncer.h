#pragma once

#include "notify/Announcer.h"

#include <functional>

class PopUpHost;

// New mail told on the desktop: the popup in the corner, with the new messages in its tooltip,
// and the sound.
class DesktopAnnouncer final : public Announcer
{
public:
    DesktopAnnouncer(PopUpHost &popUp, std::function<void()> playSound);

    void prepare(const Announcement &announcement) override;
    void show(const Announcement &announcement) override;

private:
    PopUpHost &m_popUp;
    std::function<void()> m_playSound;
};
