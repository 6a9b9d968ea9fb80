#include "platform/WakeMonitor.h"

#include <QDBusConnectionInterface>

using namespace Qt::StringLiterals;

WakeMonitor::WakeMonitor(const SleepClocks &clocks, QDBusConnection bus, QObject *parent)
    : QObject(parent), m_clocks(clocks), m_bus(bus)
{
    // Only a match rule is added: logind is never called, so nothing waits for it. Without a
    // bus there is nothing to say: the clocks see the same resumes.
    if (bus.isConnected())
        m_hearsLogind = bus.connect(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s,
                                    u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s, this,
                                    SLOT(prepareForSleep(bool)));
}

bool WakeMonitor::watchNetwork()
{
    // NetworkManager's backend only, and only when NetworkManager runs: loading Qt's backends
    // maps all their libraries, GLib's included (1.4 MB), and GLib's own monitor, the one other
    // choice here, never told a change (a default route added and removed) while it cost a thread
    // and 3 MB more. Without it the clocks and the retries cover for the network.
    if (!QNetworkInformation::instance()) {
        const QDBusConnectionInterface *names = m_bus.isConnected() ? m_bus.interface() : nullptr;
        if (!names || !names->isServiceRegistered(u"org.freedesktop.NetworkManager"_s).value() ||
            !QNetworkInformation::loadDefaultBackend())
            return false;
    }
    QNetworkInformation *information = QNetworkInformation::instance();
    if (!information->supports(QNetworkInformation::Feature::Reachability))
        return false;
    m_reachability = information->reachability();
    connect(information, &QNetworkInformation::reachabilityChanged, this,
            &WakeMonitor::reachabilityChanged);
    return true;
}

void WakeMonitor::tick()
{
    const std::chrono::nanoseconds monotonic = m_clocks.monotonic();
    const std::chrono::nanoseconds bootTime = m_clocks.bootTime();
    if (m_lastMonotonic && m_lastBootTime) {
        const auto asleep = (bootTime - *m_lastBootTime) - (monotonic - *m_lastMonotonic);
        if (asleep > SleepThreshold)
            reportResume();
    }
    m_lastMonotonic = monotonic;
    m_lastBootTime = bootTime;
}

void WakeMonitor::reachabilityChanged(QNetworkInformation::Reachability reachability)
{
    using Reachability = QNetworkInformation::Reachability;
    // Unknown is how a backend starts, not a loss: coming from it is no return.
    const bool wasOff = m_reachability == Reachability::Disconnected ||
                        m_reachability == Reachability::Local ||
                        m_reachability == Reachability::Site;
    m_reachability = reachability;
    if (wasOff && reachability == Reachability::Online)
        emit networkReturned();
}

void WakeMonitor::prepareForSleep(bool start)
{
    if (!start)
        reportResume();
}

void WakeMonitor::reportResume()
{
    // The monotonic clock stood still during the suspend, so two reports of one resume are
    // close on it whichever came first; two suspends are apart by the time awake between them.
    const std::chrono::nanoseconds now = m_clocks.monotonic();
    if (m_lastResume && now - *m_lastResume < SameResume)
        return;
    m_lastResume = now;
    emit resumed();
}
