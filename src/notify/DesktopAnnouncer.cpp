#include "notify/DesktopAnnouncer.h"

#include "notify/DesktopNotifier.h"
#include "notify/PopUp.h"
#include "notify/PopUpHost.h"

using namespace Qt::StringLiterals;

namespace
{

// Rich text on purpose: a subject that happens to look like markup must show as it is written.
QString messageList(const QStringList &messages)
{
    QStringList lines;
    for (const QString &message : messages)
        lines.append(message.toHtmlEscaped());
    return lines.isEmpty() ? QString() : u"<qt>"_s + lines.join(u"<br>"_s) + u"</qt>"_s;
}

} // namespace

DesktopAnnouncer::DesktopAnnouncer(PopUpHost &popUp, std::function<void()> playSound,
                                   DesktopNotifier *notifier)
    : m_popUp(popUp), m_playSound(std::move(playSound)), m_notifier(notifier)
{
}

void DesktopAnnouncer::prepare(const Announcement &announcement)
{
    m_popUp.setTexts(announcement.mailLine, announcement.emailLine, announcement.caption);
    if (PopUp *window = m_popUp.window())
        window->setToolTip(messageList(announcement.messages));
    if (announcement.playSound)
        m_playSound();
}

void DesktopAnnouncer::show(const Announcement &announcement)
{
    m_popUp.show();
    if (m_notifier && (announcement.desktopNotification || m_notifyAlways))
        m_notifier->notify(announcement.mailLine, announcement.messages.isEmpty()
                                                      ? QStringList{announcement.emailLine}
                                                      : announcement.messages);
}
