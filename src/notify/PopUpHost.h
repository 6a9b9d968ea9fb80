#pragma once

#include <QCursor>
#include <QPointer>
#include <QString>
#include <functional>

class PopUp;
class UrlOpener;

// Owns the new-mail window across its lives: the first announcement loads it (it starts rising),
// a further one while it is loaded only changes its texts, and after a link has unloaded it the
// next announcement loads a fresh one.
class PopUpHost
{
public:
    PopUpHost(std::function<QString()> serverText, UrlOpener &urlOpener,
              QCursor handCursor = QCursor(Qt::PointingHandCursor));
    ~PopUpHost();
    PopUpHost(const PopUpHost &) = delete;
    PopUpHost &operator=(const PopUpHost &) = delete;

    // Loads the window when it is not loaded, then sets the two text lines and the title.
    void setTexts(const QString &mail, const QString &email, const QString &caption);
    // Shows the window (not modal, not activated); does nothing when it is not loaded.
    void show();

    // The loaded window, or nullptr.
    PopUp *window() const { return m_popUp; }

private:
    void load();

    std::function<QString()> m_serverText;
    UrlOpener &m_urlOpener;
    QCursor m_handCursor;
    QPointer<PopUp> m_popUp;
};
