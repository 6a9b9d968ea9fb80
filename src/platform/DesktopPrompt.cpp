#include "platform/DesktopPrompt.h"

#include "platform/RegexEngine.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

void MessageBoxPrompt::message(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}

bool MessageBoxPrompt::question(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No);
    // A trust question asked in passing must not be answered yes by a stray Enter.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool DesktopUrlOpener::open(const QString &address)
{
    // The browser this may start is not ours to tune.
    RegexEngine::keepFromChildren();
    // The address is passed as typed: a user's server name is not ours to correct.
    return QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}
