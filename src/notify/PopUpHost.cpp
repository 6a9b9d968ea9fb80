#include "notify/PopUpHost.h"

#include "notify/PopUp.h"

PopUpHost::PopUpHost(std::function<QString()> serverText, UrlOpener &urlOpener, QCursor handCursor)
    : m_serverText(std::move(serverText)), m_urlOpener(urlOpener),
      m_handCursor(std::move(handCursor))
{
}

PopUpHost::~PopUpHost()
{
    delete m_popUp.data();
}

void PopUpHost::setTexts(const QString &mail, const QString &email, const QString &caption)
{
    if (!m_popUp)
        load();
    m_popUp->setTexts(mail, email, caption);
}

void PopUpHost::show()
{
    if (!m_popUp)
        return;
    m_popUp->show();
    m_popUp->raise();
}

void PopUpHost::load()
{
    m_popUp = new PopUp(m_serverText, m_urlOpener, m_handCursor);
    // The unloaded window lingers until its deferred deletion; it is gone for us at once.
    QObject::connect(m_popUp, &PopUp::unloaded, m_popUp, [this] { m_popUp = nullptr; });
}
