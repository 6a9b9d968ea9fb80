#include "platform/DesktopPrompt.h"

#include "platform/RegexEngine.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

using namespace Qt::StringLiterals;

void MessageBoxPrompt::message(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}

bool MessageBoxPrompt::question(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, caption, text);
    // In Thai like the rest of the window, whatever language the desktop's Qt speaks.
    QPushButton *yes = box.addButton(u"ใช่"_s, QMessageBox::YesRole);
    QPushButton *no = box.addButton(u"ไม่ใช่"_s, QMessageBox::NoRole);
    // A trust question asked in passing must not be answered yes by a stray Enter.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool DesktopUrlOpener::open(const QString &address)
{
    // The browser this may start is not ours to tune.
    RegexEngine::keepFromChildren();
    // The address is passed as typed: a user's server name is not ours to correct.
    return QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}
