#pragma once

#include "platform/SleepClocks.h"

#include <QDBusConnection>
#include <QNetworkInformation>
#include <QObject>
#include <chrono>
#include <optional>

// Tells when the machine is back from a suspend and when the network is back, so that a check
// runs then rather than an interval later: Qt's timers count only time awake, and a connection
// opened before the suspend is dead after it. Three sources, each one optional: logind's
// PrepareForSleep on the system bus, the two clocks compared on every tick of the one-second
// timer, and Qt's network reachability. None of them is a reason to skip a check.
class WakeMonitor final : public QObject
{
    Q_OBJECT

public:
    // A gap between the clocks below this is no suspend worth a check.
    static constexpr std::chrono::seconds SleepThreshold{5};
    // logind and the clocks both report one resume, within this much time awake of each other.
    static constexpr std::chrono::seconds SameResume{10};

    // `bus` is where logind and NetworkManager speak; without it the clocks still see every
    // resume.
    explicit WakeMonitor(const SleepClocks &clocks,
                         QDBusConnection bus = QDBusConnection::systemBus(),
                         QObject *parent = nullptr);

    bool hearsLogind() const { return m_hearsLogind; }
    // Loads Qt's reachability from NetworkManager, when it runs on `bus`, and follows it. False
    // otherwise: the network source is then absent.
    bool watchNetwork();

    // One tick of the one-second timer: a suspend since the last tick shows as the boot-time
    // clock having moved further than the monotonic one.
    void tick();
    // The network's reachability as Qt reports it.
    void reachabilityChanged(QNetworkInformation::Reachability reachability);

signals:
    void resumed();
    void networkReturned();

private slots:
    // logind's signal: true before the suspend, false after the resume.
    void prepareForSleep(bool start);

private:
    void reportResume();

    const SleepClocks &m_clocks;
    QDBusConnection m_bus;
    bool m_hearsLogind = false;
    std::optional<std::chrono::nanoseconds> m_lastMonotonic;
    std::optional<std::chrono::nanoseconds> m_lastBootTime;
    std::optional<std::chrono::nanoseconds> m_lastResume; // monotonic
    QNetworkInformation::Reachability m_reachability = QNetworkInformation::Reachability::Unknown;
};
