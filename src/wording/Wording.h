#pragma once

#include <QString>

// The Thai lines Larkspur adds to the status log, each with the system's English reason after it
// where there is one. The described texts of the window stay where they are used.
namespace Wording
{

// A Thai statement, then " : " and the English reason; the statement alone when there is none.
QString because(const QString &thai, const QString &english);

// ---- connection and transport

// ---- POP3 session and new-mail detection

// ---- settings file and start-up

// ---- sound

// ---- desktop notifications

// The desktop's notification service did not take a new-mail notification.
QString desktopNotificationFailed(const QString &english);
// The last line of a notification's body, for the messages past the ones it lists.
QString desktopNotificationMore(qsizetype count);
// The label of the notification's one action, which opens the main window.
QString desktopNotificationOpenWindow();

// ---- keyring

// ---- OAuth2 sign-in

// ---- IMAP

// ---- staying connected (resume, network, backoff)

} // namespace Wording
