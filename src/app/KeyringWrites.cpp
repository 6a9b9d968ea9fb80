#include "app/KeyringWrites.h"

#include "signin/OAuth2Credentials.h"

#include <QEventLoop>
#include <QTimer>

using namespace std::chrono_literals;

void waitForKeyringWrites(const OAuth2Credentials &tokens)
{
    if (!tokens.keyringBusy())
        return;
    QEventLoop keeping;
    QObject::connect(&tokens, &OAuth2Credentials::keyringAnswered, &keeping, &QEventLoop::quit);
    QTimer::singleShot(25s, &keeping, &QEventLoop::quit);
    keeping.exec();
}
