#pragma once

#include "notify/PopUpSlide.h"

#include <QCursor>
#include <QTimer>
#include <QWidget>
#include <functional>

class QLabel;
class UrlOpener;

// The new-mail window: it rises from below the screen into the bottom-right corner, stays above
// all other windows without taking the focus, and goes away through one of its two links.
// Loading it (constructing it) runs its Load handler: it is shown at once, still below the screen.
class PopUp final : public QWidget
{
    Q_OBJECT

public:
    // `serverText` reads txtPOP3Server of the main window when "open e-mail" is clicked.
    PopUp(std::function<QString()> serverText, UrlOpener &urlOpener, const QCursor &handCursor,
          QWidget *parent = nullptr);

    // The texts that come from outside: the labels `Mail` and `email`, and the window title.
    void setTexts(const QString &mail, const QString &email, const QString &caption);

    bool SlidingUp() const { return m_slide.SlidingUp(); }

signals:
    // Emitted once, when a link has unloaded the window; it is deleted soon after.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Timer1_Timer();
    void labMailServer_Click();
    void LaOK_Click();
    void Unload();
    void moveToSlide();

    std::function<QString()> m_serverText;
    UrlOpener &m_urlOpener;
    double m_twipsPerPixelX;
    double m_twipsPerPixelY;
    QPoint m_screenOrigin;
    PopUpSlide m_slide;
    QTimer m_timer1;
    QLabel *m_image1;
    QLabel *m_mail;
    QLabel *m_email;
    QLabel *m_labMailServer;
    QLabel *m_laOK;
    bool m_unloaded = false;
};
