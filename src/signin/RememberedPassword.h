#pragma once

#include "signin/SecretStore.h"

#include <QObject>
#include <QString>
#include <optional>

// Where the remembered password lives: in the desktop's keyring when there is one, else scrambled
// in Settings.inf as it always was; never both. A password that only the file holds moves into
// the keyring once a login has shown it to be right (a wrong one stays where it is), and the file
// then keeps mempass=1 without it. A keyring that cannot be reached is told once, with the
// problem's name, and the file goes on holding the password.
class RememberedPassword : public QObject
{
    Q_OBJECT

public:
    // `store` null: there is no keyring to use.
    explicit RememberedPassword(SecretStore *store, QObject *parent = nullptr);

    // At start, with the password remembered: the one Settings.inf holds, if any. Without one the
    // keyring is asked, and true comes back: `loaded` brings its answer (nothing when it holds
    // none or cannot be read).
    bool load(const QString &server, const QString &user, const std::optional<QString> &fromFile);
    // Whether the password now in the settings is the one the keyring holds.
    bool inKeyring() const { return m_inKeyring; }
    // The password, the server or the user changed: the keyring no longer holds this one.
    void edited() { m_inKeyring = false; }
    // A login with `password` was accepted: a password only the file holds moves to the keyring.
    void loggedIn(const QString &server, const QString &user, const QString &password);
    // The password is no longer to be remembered: it goes from the keyring too.
    void forget(const QString &server, const QString &user);

signals:
    void loaded(const std::optional<QString> &password);
    // The password now lives in the keyring: Settings.inf is to be written without it.
    void moved();
    void statusLine(const QString &line);

private:
    void onFinished(SecretStore::RequestId id, SecretStore::Request request,
                    const SecretResult &result);
    void problem(const SecretResult &result);

    SecretStore *m_store;
    bool m_inKeyring = false;
    // Told once a run: a check every minute must not repeat it.
    bool m_told = false;
    bool m_unusable = false;
    SecretStore::RequestId m_reading = 0;
    SecretStore::RequestId m_writing = 0;
    SecretStore::RequestId m_removing = 0;
};
