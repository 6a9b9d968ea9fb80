#include "platform/DisplaySession.h"

using namespace Qt::StringLiterals;

namespace DisplaySession
{

Environment current()
{
    return {qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"),
            qgetenv("XDG_SESSION_TYPE")};
}

QByteArray platformFor(const Environment &environment)
{
    if (!environment.qpaPlatform.isEmpty())
        return {};
    const bool wayland =
        !environment.waylandDisplay.isEmpty() || environment.sessionType == "wayland";
    if (!wayland)
        return {};
    return environment.display.isEmpty() ? QByteArrayLiteral("wayland") : QByteArrayLiteral("xcb");
}

PlatformChoice::PlatformChoice()
{
    const QByteArray platform = platformFor(current());
    if (!platform.isEmpty())
        m_set = qputenv("QT_QPA_PLATFORM", platform);
}

void PlatformChoice::restore()
{
    if (m_set)
        qunsetenv("QT_QPA_PLATFORM");
    m_set = false;
}

QString popupPlacementNote(const QString &platformName)
{
    if (!platformName.startsWith(u"wayland"_s))
        return {};
    return u"บน Wayland หน้าต่างแจ้งอีเมลใหม่จะเลื่อนขึ้นที่มุมขวาล่างของจอและอยู่บนสุดเองไม่ได้ : "
           u"the Wayland compositor decides where windows go and which stay on top"_s;
}

} // namespace DisplaySession
