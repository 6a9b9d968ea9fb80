#include "platform/DesktopPrompt.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

void MessageBoxPrompt::message(const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
    box.exec();
}

bool DesktopUrlOpener::open(const QString &address)
{
    // The address is passed as typed: a user's server name is not ours to correct.
    return QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}
