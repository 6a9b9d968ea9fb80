#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QStringList>
#include <QVariantMap>
#include <optional>

struct NotifyCall {
    QString appName;
    uint replacesId;
    QString appIcon, summary, body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout;
    uint givenId;
};

// A notification server that records what it is sent. Real servers (dunst, xfce4-notifyd) need a
// display and cannot be told to click, or to refuse; this one runs on the test's own bus
// (PrivateSessionBus), exported at Path under the name Service.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    static inline const QString Service = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString Path = QStringLiteral("/org/freedesktop/Notifications");

    // None: GetCapabilities is an unknown method, as on a server that cannot list them.
    std::optional<QStringList> capabilities;
    bool refuseNotify = false;
    int capabilitiesAsked = 0;
    QList<NotifyCall> calls;

public slots:
    QStringList GetCapabilities()
    {
        ++capabilitiesAsked;
        if (!capabilities)
            sendErrorReply(QDBusError::UnknownMethod, QStringLiteral("No such method"));
        return capabilities.value_or(QStringList());
    }
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout)
    {
        if (refuseNotify) {
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("Refused"));
            return 0;
        }
        const uint id = replacesId != 0 ? replacesId : ++m_lastId;
        calls.append(
            {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout, id});
        return id;
    }

private:
    uint m_lastId = 0;
};

// Returns once `to` has answered a ping from `from`. The bus keeps one sender's messages in order,
// and Qt queues what each connection receives for this thread in the order it came, so whatever
// `from` sent `to` before has by then reached `to`'s slots.
inline bool roundTrip(const QDBusConnection &from, const QDBusConnection &to)
{
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        to.baseService(), QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
        QStringLiteral("Ping"));
    QDBusPendingCallWatcher watcher(from.asyncCall(ping));
    QSignalSpy answered(&watcher, &QDBusPendingCallWatcher::finished);
    return answered.wait(10'000);
}
