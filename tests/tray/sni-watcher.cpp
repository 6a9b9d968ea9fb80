// A StatusNotifierWatcher that is also its host, as KDE Plasma's tray or GNOME's AppIndicator
// extension is, without drawing anything: it owns org.kde.StatusNotifierWatcher on the session
// bus, says a host is there, and prints one line per item that registers:
//   ready
//   item <bus name> <object path>
// The test then talks to the item itself (Activate, ContextMenu, its properties) with gdbus.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QStringList>
#include <cstdio>

using namespace Qt::StringLiterals;

class Watcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }

public slots:
    void RegisterStatusNotifierItem(const QString &serviceOrPath)
    {
        // An item names its bus name, or only its object path on the caller's connection.
        const bool path = serviceOrPath.startsWith(u'/');
        const QString service = path ? message().service() : serviceOrPath;
        const QString object = path ? serviceOrPath : u"/StatusNotifierItem"_s;
        m_items += service + object;
        std::printf("item %s %s\n", qPrintable(service), qPrintable(object));
        std::fflush(stdout);
        emit StatusNotifierItemRegistered(service + object);
    }
    void RegisterStatusNotifierHost(const QString &) {}

signals:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher;
    if (!bus.registerObject(u"/StatusNotifierWatcher"_s, &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService(u"org.kde.StatusNotifierWatcher"_s)) {
        std::fprintf(stderr, "sni-watcher: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "sni-watcher.moc"
