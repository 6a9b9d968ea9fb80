#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// What a stored secret is for. Each kind is a separate item beside the others of the same mailbox.
enum class SecretKind {
    Password,      // the mailbox password (or app password)
    OAuth2Refresh, // an OAuth2 refresh token
};

// The value of the item's "kind" attribute: "password", "oauth2-refresh".
QString secretKindName(SecretKind kind);

// One secret: a mailbox's credential of one kind.
struct SecretKey {
    QString server;
    QString user;
    SecretKind kind = SecretKind::Password;
};
Q_DECLARE_METATYPE(SecretKey)

// Why a request did not get through. A locked keyring is never "not stored".
enum class SecretProblem {
    NoBus,     // no session bus to reach a keyring over
    NoService, // no Secret Service on the bus, or it has no default keyring
    Locked,    // the keyring stays locked: no prompt could be shown, or it failed
    Refused,   // the user dismissed the prompt to unlock
    Failed,    // anything else
};

// The status line for `problem`: Thai, then the keyring's English reason.
QString secretProblemLine(SecretProblem problem, const QString &reason);

// The end of one request: exactly one per request.
struct SecretResult {
    enum class Status {
        Found,     // read: `value` holds the secret
        NotStored, // read: no such secret (the keyring was open, and it is not there)
        Done,      // write or remove: done (removing what is not there is done too)
        Problem,   // `problem` and `reason` say why
    };
    Status status = Status::Problem;
    QString value;                                 // Found only
    SecretProblem problem = SecretProblem::Failed; // Problem only
    QString reason;                                // Problem only: the English reason, from D-Bus

    static SecretResult found(const QString &secret) { return {Status::Found, secret, {}, {}}; }
    static SecretResult notStored() { return {Status::NotStored, {}, {}, {}}; }
    static SecretResult done() { return {Status::Done, {}, {}, {}}; }
    static SecretResult failed(SecretProblem problem, const QString &reason)
    {
        return {Status::Problem, {}, problem, reason};
    }
};
Q_DECLARE_METATYPE(SecretResult)

// Where the program keeps a mailbox's secrets (the desktop's keyring). Every request answers
// later, from the event loop, never from inside the call: unlocking may wait for the user for
// as long as a prompt stays open. Each request ends with exactly one `finished`.
class SecretStore : public QObject
{
    Q_OBJECT
public:
    using RequestId = quint64;
    enum class Request { Read, Write, Remove };
    Q_ENUM(Request)

    using QObject::QObject;
    ~SecretStore() override = default;

    // Found with the value, NotStored, or a Problem.
    virtual RequestId read(const SecretKey &key) = 0;
    // Done or a Problem. Replaces a secret already stored under the same key.
    virtual RequestId write(const SecretKey &key, const QString &secret) = 0;
    // Done or a Problem.
    virtual RequestId remove(const SecretKey &key) = 0;

signals:
    void finished(SecretStore::RequestId id, SecretStore::Request request,
                  const SecretResult &result);
};
