#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <sys/prctl.h>

// A session bus of the test's own: dbus-daemon with no service folders, so nothing is started on
// demand and a name has an owner only when the test gives it one. The daemon ends with this object,
// or with the test if the test dies first.
class PrivateSessionBus
{
public:
    PrivateSessionBus() = default;
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;
    ~PrivateSessionBus() { stop(); }

    // Starts the daemon and waits (at most 10 s) for its address; false says why in error().
    bool start()
    {
        using namespace Qt::StringLiterals;
        if (!m_dir.isValid())
            return fail(u"no temporary folder: "_s + m_dir.errorString());
        const QString config = m_dir.filePath(u"bus.conf"_s);
        QFile file(config);
        // No <servicedir>: a name has an owner only when the test gives it one.
        QByteArray text = R"(<busconfig>
  <type>session</type>
  <listen>unix:dir=@FOLDER@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
        text.replace("@FOLDER@", QFile::encodeName(m_dir.path()));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return fail(u"cannot write "_s + config);
        file.close();

        m_daemon.setProgram(u"dbus-daemon"_s);
        m_daemon.setArguments({u"--config-file="_s + config, u"--nofork"_s, u"--nopidfile"_s,
                               u"--print-address=1"_s});
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start(QIODevice::ReadOnly);
        const QDeadlineTimer deadline(10'000);
        while (!m_daemon.canReadLine()) {
            if (!m_daemon.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                return fail(u"dbus-daemon gave no address: "_s + m_daemon.errorString() + u' ' +
                            QString::fromLocal8Bit(m_daemon.readAllStandardError()));
        }
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        return true;
    }

    void stop()
    {
        if (m_daemon.state() == QProcess::NotRunning)
            return;
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5'000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(5'000);
        }
    }

    QString address() const { return m_address; }
    QString error() const { return m_error; }
    // A folder that lives as long as the bus, for anything else the test needs on disk.
    QString folder() const { return m_dir.path(); }

private:
    bool fail(const QString &why)
    {
        m_error = why;
        stop();
        return false;
    }

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};
