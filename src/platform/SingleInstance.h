#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>

class QLocalServer;
class QLocalSocket;

// One running program per settings folder, so that Settings.inf has one writer and the tray one
// icon. The first start holds a lock in the user's runtime folder for as long as it runs, and
// listens on a socket beside it; a later start with the same settings folder finds the lock taken,
// asks the running program to show its window and ends. Copies with different settings folders
// never meet. The kernel drops the lock of a program that crashed, and the socket it left behind
// is replaced by the next first start.
class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        First,      // this program runs; later starts are handed to it
        HandedOver, // another program runs for this folder and has shown its window
        NoAnswer,   // another program holds the folder but did not answer in time
        Unguarded,  // the lock could not be set up; this program runs unguarded
    };

    // `runtimeFolder` empty: the user's runtime folder ($XDG_RUNTIME_DIR).
    explicit SingleInstance(const QString &settingsFolder, const QString &runtimeFolder = {},
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock, or asks the program that holds it to show its window, waiting at most
    // `answerWithin` for it (it may still be starting).
    Outcome start(std::chrono::milliseconds answerWithin = std::chrono::seconds(5));

    // Why the guard is incomplete (Unguarded, or First without a socket), or why the running
    // program did not answer (NoAnswer); empty otherwise.
    QString error() const { return m_error; }

    // Runs `show` for every request of a later start, at once for those that came before.
    void setShowHandler(std::function<void()> show);

    QString lockPath() const { return m_base + QStringLiteral(".lock"); }
    QString socketPath() const { return m_base + QStringLiteral(".socket"); }

    // The name both files share: a hash of the settings folder, whatever path led to it.
    static QString keyFor(const QString &settingsFolder);

private:
    enum class Lock { Taken, Held, Failed };
    Lock takeLock();
    bool askToShow(std::chrono::milliseconds within);
    void listen();
    void serve(QLocalSocket *client);
    void showRequested();

    QString m_base;
    QString m_error;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
    std::function<void()> m_show;
    int m_pendingShows = 0;
};
