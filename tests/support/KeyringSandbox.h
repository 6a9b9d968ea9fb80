#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>
#include <memory>

// A real GNOME Keyring on a private session bus for part of a test, through
// tests/support/keyring-sandbox (its options: --locked, --no-service), optionally with gcr's
// prompter answering every unlock prompt (tests/support/keyring-prompter). Everything it started
// has ended when `stop` returns or the object is gone. Needs LARKSPUR_SOURCE_DIR, and
// LARKSPUR_KEYRING_PROMPTER for a prompter, as larkspur_test() and tests/signin set them.
class KeyringSandbox
{
public:
    // `stateDir` keeps the keyring's files from one sandbox to the next.
    explicit KeyringSandbox(const QString &stateDir, const QStringList &options = {})
    {
        const QString script = qEnvironmentVariable("LARKSPUR_SOURCE_DIR") +
                               QStringLiteral("/tests/support/keyring-sandbox");
        m_sandbox.setProgram(script);
        m_sandbox.setArguments(
            QStringList{QStringLiteral("--state-dir"), stateDir} + options +
            QStringList{QStringLiteral("--"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                        QStringLiteral("printf '%s\\n' \"$DBUS_SESSION_BUS_ADDRESS\"; "
                                       "exec cat >/dev/null")});
        m_sandbox.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~KeyringSandbox() { stop(); }
    KeyringSandbox(const KeyringSandbox &) = delete;
    KeyringSandbox &operator=(const KeyringSandbox &) = delete;

    // Once the bus and the daemon are up; on failure `error` says why.
    bool start()
    {
        m_sandbox.start();
        const bool up = QTest::qWaitFor(
            [this] { return m_sandbox.canReadLine() || m_sandbox.state() == QProcess::NotRunning; },
            20'000);
        if (!up || !m_sandbox.canReadLine()) {
            m_error = QStringLiteral("keyring-sandbox did not start: ") +
                      QString::fromLocal8Bit(m_sandbox.readAllStandardError());
            return false;
        }
        m_address = QString::fromLocal8Bit(m_sandbox.readLine()).trimmed();
        return true;
    }

    // gcr's prompter on this bus: "cancel" dismisses every prompt, "password" types the
    // keyring's password into it.
    bool startPrompter(const QString &answer)
    {
        m_prompter = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        m_prompter->setProcessEnvironment(environment);
        m_prompter->start(qEnvironmentVariable("LARKSPUR_KEYRING_PROMPTER"), {answer});
        if (answer == QStringLiteral("password")) {
            m_prompter->write(password().toUtf8() + '\n');
        }
        const bool ready = QTest::qWaitFor(
            [this] {
                return m_prompter->canReadLine() || m_prompter->state() == QProcess::NotRunning;
            },
            20'000);
        if (!ready || m_prompter->readLine().trimmed() != "ready") {
            m_error = QStringLiteral("keyring-prompter did not start: ") +
                      QString::fromLocal8Bit(m_prompter->readAllStandardError());
            return false;
        }
        return true;
    }

    // A connection of its own to this bus, closed by `stop`.
    QDBusConnection connection()
    {
        static int count = 0;
        m_connections.append(QStringLiteral("keyring-sandbox-%1").arg(++count));
        return QDBusConnection::connectToBus(m_address, m_connections.last());
    }

    void stop()
    {
        for (const QString &name : std::exchange(m_connections, {})) {
            QDBusConnection::disconnectFromBus(name);
        }
        end(m_prompter.get());
        end(&m_sandbox);
    }

    QString error() const { return m_error; }
    QString address() const { return m_address; }
    static QString password()
    {
        return qEnvironmentVariable("LARKSPUR_KEYRING_PASSWORD",
                                    QStringLiteral("larkspur-keyring"));
    }

private:
    // Both end when their input closes; the sandbox takes its bus and daemon with it.
    static void end(QProcess *process)
    {
        if (process == nullptr || process->state() == QProcess::NotRunning) {
            return;
        }
        process->closeWriteChannel();
        if (!QTest::qWaitFor([process] { return process->state() == QProcess::NotRunning; },
                             20'000)) {
            process->kill();
            process->waitForFinished();
        }
    }

    QProcess m_sandbox;
    std::unique_ptr<QProcess> m_prompter;
    QString m_address;
    QStringList m_connections;
    QString m_error;
};
