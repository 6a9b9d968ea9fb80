#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class QDBusError;
class QDBusMessage;

// New mail as a desktop notification (org.freedesktop.Notifications), beside or instead of the
// popup. Each notification replaces the one before it, so the desktop shows one for this program.
// Nothing here ever waits for the bus: a notification service that hangs costs a time-out, not a
// frozen window.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
public:
    // At most this many lines of the body are shown; a last line counts the rest.
    static constexpr qsizetype MaxBodyLines = 10;
    // Longer lines (and summaries) are cut and end in an ellipsis.
    static constexpr qsizetype MaxLineLength = 200;

    // The session bus by default; tests pass a connection to a private bus.
    explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);

    // Shows `summary` with `bodyLines` (one line a message, plain text) under it. Control
    // characters become spaces; markup characters are escaped for servers that read the body as
    // markup, or do not say. While one notification is on its way, only the newest of those asked
    // for after it is sent, so that it can replace the first.
    void notify(const QString &summary, const QStringList &bodyLines);

signals:
    // The user clicked the notification: the main window should be shown.
    void activated();
    // The notification could not be shown (no bus, no notification service, no answer, an error
    // reply): one Thai line for the status log, with the bus's English reason.
    void failed(const QString &statusLine);

private:
    struct Request {
        QString summary;
        QStringList lines;
    };
    void sendWaiting();
    void askCapabilities(const Request &request);
    void sendNotify(const Request &request, bool escapeMarkup);
    void finish(const std::optional<QDBusError> &error);

private slots:
    // Connected by name to the server's signals, the last argument tells who sent them.
    void onActionInvoked(uint id, const QString &actionKey, const QDBusMessage &message);
    void onNotificationClosed(uint id, uint reason, const QDBusMessage &message);

private:
    QDBusConnection m_bus;
    std::optional<Request> m_waiting;
    bool m_sending = false;
    // The notification on show, as the server that took it knows it; 0 for none.
    uint m_id = 0;
    // The unique bus name of that server: signals from any other sender are not about it.
    QString m_server;
};
