#pragma once

#include "signin/SecretStore.h"

#include <QDBusConnection>
#include <QHash>
#include <QMap>

class QDBusMessage;

// The desktop's keyring through the freedesktop Secret Service (GNOME Keyring, KeePassXC,
// KWallet where it offers the API), spoken over the given bus connection: the session bus in
// the program, a private bus in tests. Items go into the default collection, with the attributes
// application=larkspur, server, user and kind, and read back from any collection.
class SecretServiceStore final : public SecretStore
{
    Q_OBJECT
public:
    explicit SecretServiceStore(const QDBusConnection &bus, QObject *parent = nullptr);
    // Dismisses the prompts still open: nobody would hear their answer.
    ~SecretServiceStore() override;

    RequestId read(const SecretKey &key) override;
    RequestId write(const SecretKey &key, const QString &secret) override;
    RequestId remove(const SecretKey &key) override;

    // The lookup attributes of the item that holds `key`.
    static QMap<QString, QString> attributesFor(const SecretKey &key);
    // The label a keyring manager (Seahorse, KeePassXC) shows for it.
    static QString labelFor(const SecretKey &key);
    // Which problem a D-Bus error name stands for.
    static SecretProblem problemFor(const QString &errorName);

private:
    class Job;
    friend class Job;

    RequestId start(Request request, const SecretKey &key, const QString &secret);
    bool watchPrompt(const QString &service, const QString &path, Job *job);
    void unwatchPrompt(const QString &path);
    void finish(Job *job, const SecretResult &result);

private slots:
    void promptCompleted(const QDBusMessage &message);
    void serviceLeft();

private:
    QDBusConnection m_bus;
    RequestId m_lastId = 0;
    struct OpenPrompt {
        Job *job = nullptr;
        QString service; // the unique name of its owner
    };
    QHash<QString, OpenPrompt> m_prompts; // by the prompt's object path
};
