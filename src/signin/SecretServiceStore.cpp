// The Secret Service spoken by hand over QtDBus, not through QtKeychain or libsecret: QtKeychain
// 0.13 reads a locked keyring as "entry not found", and libsecret's asynchronous calls need a GLib
// main loop beside Qt's. Here every step is one asynchronous call in Qt's own loop, and each
// answer of the service (no owner, locked items, a dismissed prompt) keeps its own meaning.
// Secrets travel in the "plain" session: the session bus is the user's own, and every
// implementation offers it.

#include "signin/SecretServiceStore.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{

const QString ServiceName = u"org.freedesktop.secrets"_s;
const QString ServicePath = u"/org/freedesktop/secrets"_s;
const QString ServiceInterface = u"org.freedesktop.Secret.Service"_s;
const QString CollectionInterface = u"org.freedesktop.Secret.Collection"_s;
const QString ItemInterface = u"org.freedesktop.Secret.Item"_s;
const QString SessionInterface = u"org.freedesktop.Secret.Session"_s;
const QString PromptInterface = u"org.freedesktop.Secret.Prompt"_s;
const QString PropertiesInterface = u"org.freedesktop.DBus.Properties"_s;
// GNOME Keyring's own name, and the name of the prompter that draws its dialogs (GNOME Shell,
// or gcr-prompter started by the bus).
const QString GnomeKeyringName = u"org.gnome.keyring"_s;
const QString GnomePrompterName = u"org.gnome.keyring.SystemPrompter"_s;
// "No object": no prompt needed, no such alias.
const QString NoObject = u"/"_s;
// A service may hold a call while it asks the user (KeePassXC unlocks before it searches, and
// may confirm each access).
constexpr int UserMayAnswerMs = 120'000;

QDBusMessage methodCall(const QString &path, const QString &interface, const QString &method)
{
    return QDBusMessage::createMethodCall(ServiceName, path, interface, method);
}

QDBusMessage busCall(const QString &method, const QString &name)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, method);
    message << name;
    return message;
}

QDBusArgument stringMap(const QMap<QString, QString> &map)
{
    QDBusArgument argument;
    argument.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        argument.beginMapEntry();
        argument << it.key() << it.value();
        argument.endMapEntry();
    }
    argument.endMap();
    return argument;
}

QList<QDBusObjectPath> pathList(const QVariant &value)
{
    return qdbus_cast<QList<QDBusObjectPath>>(value);
}

QString pathOf(const QVariant &value)
{
    return qdbus_cast<QDBusObjectPath>(value).path();
}

bool isNoObject(const QString &path)
{
    return path.isEmpty() || path == NoObject;
}

// Overwrites the bytes in place when nothing else shares them.
void wipe(QByteArray &bytes)
{
    if (bytes.isDetached()) {
        bytes.fill('\0');
    }
    bytes = QByteArray();
}

} // namespace

// One request, step by step: each step is one asynchronous call whose answer starts the next.
class SecretServiceStore::Job : public QObject
{
public:
    using Paths = QList<QDBusObjectPath>;
    using Found = std::function<void(const Paths &unlocked, const Paths &locked)>;

    Job(SecretServiceStore *store, RequestId id, Request request, const SecretKey &key,
        const QString &secret)
        : QObject(store), m_store(store), m_id(id), m_request(request), m_key(key),
          m_secret(secret.toUtf8())
    {
    }
    ~Job() override { wipe(m_secret); }

    RequestId id() const { return m_id; }
    Request request() const { return m_request; }
    bool isFinished() const { return m_finished; }
    void markFinished() { m_finished = true; }
    const QString &session() const { return m_session; }
    const QString &openPrompt() const { return m_prompt; }

    void begin()
    {
        switch (m_request) {
        case Request::Read:
            find([this](const Paths &unlocked, const Paths &locked) { read(unlocked, locked); });
            break;
        case Request::Write:
            withOpenDefault([this](const QString &collection, bool) { createItem(collection); },
                            [this](SecretProblem problem, const QString &reason) {
                                fail(problem == SecretProblem::Failed ? SecretProblem::NoService
                                                                      : problem,
                                     reason);
                            });
            break;
        case Request::Remove:
            find([this](const Paths &unlocked, const Paths &locked) {
                removeAll(unlocked, locked);
            });
            break;
        }
    }

    void fail(SecretProblem problem, const QString &reason)
    {
        m_store->finish(this, SecretResult::failed(problem, reason));
    }

    void promptCompleted(const QString &sender, bool dismissed, const QVariant &result)
    {
        m_completion = Completion{sender, dismissed, result};
        if (m_witnessChecks == 0) {
            endPrompt();
        }
    }

private:
    struct Completion {
        QString sender;
        bool dismissed = true;
        QVariant result;
    };

    void done(const SecretResult &result) { m_store->finish(this, result); }

    void call(const QDBusMessage &message, const std::function<void(const QDBusMessage &)> &next,
              int timeoutMs = -1)
    {
        await(message, timeoutMs, [this, next](const QDBusMessage &reply) {
            if (reply.type() == QDBusMessage::ErrorMessage) {
                fail(problemFor(reply.errorName()), reply.errorMessage());
                return;
            }
            next(reply);
        });
    }

    // As `call`, but errors are the caller's to judge.
    void await(const QDBusMessage &message, int timeoutMs,
               const std::function<void(const QDBusMessage &)> &next)
    {
        auto *watcher =
            new QDBusPendingCallWatcher(m_store->m_bus.asyncCall(message, timeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, next](QDBusPendingCallWatcher *answered) {
                    answered->deleteLater();
                    if (!m_finished) {
                        next(answered->reply());
                    }
                });
    }

    bool hasArguments(const QDBusMessage &reply, const QString &method, int count)
    {
        if (reply.arguments().size() == count) {
            return true;
        }
        fail(SecretProblem::Failed,
             u"%1 answered with %2 values, not %3"_s.arg(
                 method, QString::number(reply.arguments().size()), QString::number(count)));
        return false;
    }

    void search(const Found &next)
    {
        QDBusMessage message = methodCall(ServicePath, ServiceInterface, u"SearchItems"_s);
        message << QVariant::fromValue(stringMap(attributesFor(m_key)));
        call(
            message,
            [this, next](const QDBusMessage &reply) {
                if (hasArguments(reply, u"SearchItems"_s, 2)) {
                    next(pathList(reply.arguments().at(0)), pathList(reply.arguments().at(1)));
                }
            },
            UserMayAnswerMs);
    }

    // The items of this key in every collection. When none shows while the default collection
    // is locked, it is unlocked and searched again: a locked keyring may hide its items
    // (KeePassXC cannot search a locked database), so "not there" needs an open keyring.
    void find(const Found &next)
    {
        search([this, next](const Paths &unlocked, const Paths &locked) {
            if (!unlocked.isEmpty() || !locked.isEmpty()) {
                next(unlocked, locked);
                return;
            }
            withOpenDefault(
                [this, next](const QString &, bool wasLocked) {
                    if (wasLocked) {
                        search(next);
                    } else {
                        next({}, {});
                    }
                },
                [this, next](SecretProblem problem, const QString &reason) {
                    // No default keyring, or one that is not there: nothing stored in it.
                    if (problem == SecretProblem::Failed) {
                        next({}, {});
                    } else {
                        fail(problem, reason);
                    }
                });
        });
    }

    // The default collection, unlocked through a prompt if need be.
    void withOpenDefault(const std::function<void(const QString &collection, bool wasLocked)> &next,
                         const std::function<void(SecretProblem, const QString &)> &none)
    {
        QDBusMessage alias = methodCall(ServicePath, ServiceInterface, u"ReadAlias"_s);
        alias << u"default"_s;
        call(alias, [this, next, none](const QDBusMessage &reply) {
            const QString collection =
                reply.arguments().isEmpty() ? QString() : pathOf(reply.arguments().at(0));
            if (isNoObject(collection)) {
                none(SecretProblem::Failed,
                     u"The Secret Service has no default collection (alias \"default\")"_s);
                return;
            }
            QDBusMessage locked = methodCall(collection, PropertiesInterface, u"Get"_s);
            locked << CollectionInterface << u"Locked"_s;
            await(locked, -1, [this, collection, next, none](const QDBusMessage &answer) {
                if (answer.type() == QDBusMessage::ErrorMessage) {
                    // GNOME Keyring names "login" as the default before that keyring exists.
                    none(problemFor(answer.errorName()), answer.errorMessage());
                    return;
                }
                const bool isLocked =
                    !answer.arguments().isEmpty() &&
                    qdbus_cast<QDBusVariant>(answer.arguments().at(0)).variant().toBool();
                if (!isLocked) {
                    next(collection, false);
                    return;
                }
                unlock(
                    {QDBusObjectPath(collection)}, [this, collection, next](const Paths &opened) {
                        if (!opened.contains(QDBusObjectPath(collection))) {
                            fail(SecretProblem::Locked, u"The default collection stays locked"_s);
                            return;
                        }
                        next(collection, true);
                    });
            });
        });
    }

    // Unlocks `objects`, through a prompt if the service needs one, and goes on with those
    // that are open now.
    void unlock(const Paths &objects, const std::function<void(const Paths &)> &next)
    {
        QDBusMessage message = methodCall(ServicePath, ServiceInterface, u"Unlock"_s);
        message << QVariant::fromValue(objects);
        call(
            message,
            [this, next](const QDBusMessage &reply) {
                if (!hasArguments(reply, u"Unlock"_s, 2)) {
                    return;
                }
                const QString prompt = pathOf(reply.arguments().at(1));
                if (isNoObject(prompt)) {
                    next(pathList(reply.arguments().at(0)));
                    return;
                }
                runPrompt(reply.service(), prompt,
                          [next](const QVariant &result) { next(pathList(result)); });
            },
            UserMayAnswerMs);
    }

    // `service`: the unique name of the service that made the prompt; signals are matched on it
    // without asking the bus who owns the well-known name.
    void runPrompt(const QString &service, const QString &prompt,
                   std::function<void(const QVariant &)> next)
    {
        m_prompt = prompt;
        m_afterPrompt = std::move(next);
        m_completion.reset();
        // Listening before asking: the answer cannot come before we hear it.
        if (!m_store->watchPrompt(service, prompt, this)) {
            fail(SecretProblem::Failed, m_store->m_bus.lastError().message());
            return;
        }
        witnessPrompter();
        QDBusMessage message = methodCall(prompt, PromptInterface, u"Prompt"_s);
        // No window to attach to: the core has none; the service centres its dialog.
        message << QString();
        call(message, [](const QDBusMessage &) {});
    }

    // GNOME Keyring answers a prompt it could not show (no display, no prompter installed) as
    // "dismissed", the same as a user's Cancel. Its prompter has the name GnomePrompterName on
    // the bus while a dialog is up, and never gets it when none can be shown.
    void witnessPrompter()
    {
        m_prompterSeen = false;
        m_gnomeKeyring.clear();
        delete m_prompterWatcher;
        m_prompterWatcher = new QDBusServiceWatcher(
            GnomePrompterName, m_store->m_bus, QDBusServiceWatcher::WatchForRegistration, this);
        connect(m_prompterWatcher, &QDBusServiceWatcher::serviceRegistered, this,
                [this] { m_prompterSeen = true; });
        m_witnessChecks = 2;
        await(busCall(u"NameHasOwner"_s, GnomePrompterName), -1, [this](const QDBusMessage &r) {
            m_prompterSeen =
                m_prompterSeen || (!r.arguments().isEmpty() && r.arguments()[0].toBool());
            witnessAnswered();
        });
        await(busCall(u"GetNameOwner"_s, GnomeKeyringName), -1, [this](const QDBusMessage &r) {
            if (r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty()) {
                m_gnomeKeyring = r.arguments()[0].toString();
            }
            witnessAnswered();
        });
    }

    void witnessAnswered()
    {
        if (--m_witnessChecks == 0 && m_completion) {
            endPrompt();
        }
    }

    void endPrompt()
    {
        const Completion completion = *std::exchange(m_completion, std::nullopt);
        m_prompt.clear();
        delete std::exchange(m_prompterWatcher, nullptr);
        auto next = std::exchange(m_afterPrompt, nullptr);
        if (completion.dismissed) {
            if (!m_gnomeKeyring.isEmpty() && completion.sender == m_gnomeKeyring &&
                !m_prompterSeen) {
                fail(SecretProblem::Locked,
                     u"GNOME Keyring could not show its unlock prompt (no %1 came up)"_s.arg(
                         GnomePrompterName));
            } else {
                fail(SecretProblem::Refused, u"The prompt was dismissed"_s);
            }
            return;
        }
        if (next) {
            next(completion.result);
        }
    }

    void openSession(const std::function<void()> &next)
    {
        if (!m_session.isEmpty()) {
            next();
            return;
        }
        QDBusMessage message = methodCall(ServicePath, ServiceInterface, u"OpenSession"_s);
        message << u"plain"_s << QVariant::fromValue(QDBusVariant(QString()));
        call(message, [this, next](const QDBusMessage &reply) {
            if (hasArguments(reply, u"OpenSession"_s, 2)) {
                m_session = pathOf(reply.arguments().at(1));
                next();
            }
        });
    }

    void read(const Paths &unlocked, const Paths &locked)
    {
        if (!unlocked.isEmpty()) {
            readItem(unlocked.first().path());
        } else if (!locked.isEmpty()) {
            unlock(locked, [this](const Paths &opened) {
                if (opened.isEmpty()) {
                    fail(SecretProblem::Locked, u"The keyring holding the secret stays locked"_s);
                    return;
                }
                readItem(opened.first().path());
            });
        } else {
            done(SecretResult::notStored());
        }
    }

    void readItem(const QString &item)
    {
        openSession([this, item] {
            QDBusMessage message = methodCall(item, ItemInterface, u"GetSecret"_s);
            message << QVariant::fromValue(QDBusObjectPath(m_session));
            call(
                message,
                [this](const QDBusMessage &reply) {
                    if (!hasArguments(reply, u"GetSecret"_s, 1)) {
                        return;
                    }
                    const auto secret = reply.arguments().at(0).value<QDBusArgument>();
                    if (secret.currentSignature() != u"(oayays)"_s) {
                        fail(SecretProblem::Failed,
                             u"GetSecret answered with %1, not a secret"_s.arg(
                                 secret.currentSignature()));
                        return;
                    }
                    QDBusObjectPath session;
                    QByteArray parameters;
                    QByteArray value;
                    QString contentType;
                    secret.beginStructure();
                    secret >> session >> parameters >> value >> contentType;
                    secret.endStructure();
                    const QString text = QString::fromUtf8(value);
                    wipe(value);
                    done(SecretResult::found(text));
                },
                UserMayAnswerMs);
        });
    }

    void createItem(const QString &collection)
    {
        openSession([this, collection] {
            QVariantMap properties;
            properties.insert(u"org.freedesktop.Secret.Item.Label"_s, labelFor(m_key));
            properties.insert(u"org.freedesktop.Secret.Item.Attributes"_s,
                              QVariant::fromValue(stringMap(attributesFor(m_key))));
            {
                QDBusArgument secret;
                secret.beginStructure();
                secret << QDBusObjectPath(m_session) << QByteArray() << m_secret << u"text/plain"_s;
                secret.endStructure();
                QDBusMessage message = methodCall(collection, CollectionInterface, u"CreateItem"_s);
                message << properties << QVariant::fromValue(secret) << true;
                call(
                    message,
                    [this](const QDBusMessage &reply) {
                        if (!hasArguments(reply, u"CreateItem"_s, 2)) {
                            return;
                        }
                        const QString prompt = pathOf(reply.arguments().at(1));
                        if (isNoObject(prompt)) {
                            done(SecretResult::done());
                            return;
                        }
                        runPrompt(reply.service(), prompt,
                                  [this](const QVariant &) { done(SecretResult::done()); });
                    },
                    UserMayAnswerMs);
            }
            // Sent, and the message with its copy gone: only ours is left to clear.
            wipe(m_secret);
        });
    }

    void removeAll(const Paths &unlocked, const Paths &locked)
    {
        m_doomed = unlocked;
        if (locked.isEmpty()) {
            deleteNext();
            return;
        }
        unlock(locked, [this, locked](const Paths &opened) {
            for (const QDBusObjectPath &item : locked) {
                if (opened.contains(item)) {
                    m_doomed.append(item);
                } else {
                    m_stillLocked = true;
                }
            }
            deleteNext();
        });
    }

    void deleteNext()
    {
        if (m_doomed.isEmpty()) {
            if (m_stillLocked) {
                fail(SecretProblem::Locked, u"A keyring holding the secret stays locked"_s);
            } else {
                done(SecretResult::done());
            }
            return;
        }
        const QString item = m_doomed.takeFirst().path();
        call(
            methodCall(item, ItemInterface, u"Delete"_s),
            [this](const QDBusMessage &reply) {
                if (!hasArguments(reply, u"Delete"_s, 1)) {
                    return;
                }
                const QString prompt = pathOf(reply.arguments().at(0));
                if (isNoObject(prompt)) {
                    deleteNext();
                    return;
                }
                runPrompt(reply.service(), prompt, [this](const QVariant &) { deleteNext(); });
            },
            UserMayAnswerMs);
    }

    SecretServiceStore *m_store;
    RequestId m_id;
    Request m_request;
    SecretKey m_key;
    QByteArray m_secret; // UTF-8; cleared once sent
    QString m_session;
    bool m_finished = false;
    // The open prompt.
    QString m_prompt;
    std::function<void(const QVariant &)> m_afterPrompt;
    std::optional<Completion> m_completion;
    QDBusServiceWatcher *m_prompterWatcher = nullptr;
    int m_witnessChecks = 0;
    bool m_prompterSeen = false;
    QString m_gnomeKeyring; // GNOME Keyring's unique name, if it is the service
    // Removal.
    Paths m_doomed;
    bool m_stillLocked = false;
};

SecretServiceStore::SecretServiceStore(const QDBusConnection &bus, QObject *parent)
    : SecretStore(parent), m_bus(bus)
{
    if (m_bus.isConnected()) {
        auto *watcher = new QDBusServiceWatcher(ServiceName, m_bus,
                                                QDBusServiceWatcher::WatchForUnregistration, this);
        connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this,
                &SecretServiceStore::serviceLeft);
    }
}

SecretServiceStore::~SecretServiceStore()
{
    for (auto it = m_prompts.cbegin(); it != m_prompts.cend(); ++it) {
        m_bus.send(
            QDBusMessage::createMethodCall(it->service, it.key(), PromptInterface, u"Dismiss"_s));
    }
}

SecretStore::RequestId SecretServiceStore::read(const SecretKey &key)
{
    return start(Request::Read, key, {});
}

SecretStore::RequestId SecretServiceStore::write(const SecretKey &key, const QString &secret)
{
    return start(Request::Write, key, secret);
}

SecretStore::RequestId SecretServiceStore::remove(const SecretKey &key)
{
    return start(Request::Remove, key, {});
}

SecretStore::RequestId SecretServiceStore::start(Request request, const SecretKey &key,
                                                 const QString &secret)
{
    auto *job = new Job(this, ++m_lastId, request, key, secret);
    if (m_bus.isConnected()) {
        job->begin();
    } else {
        // Answered from the loop, as every other answer is.
        const QString reason = m_bus.lastError().message();
        QTimer::singleShot(0, job, [job, reason] {
            job->fail(SecretProblem::NoBus,
                      reason.isEmpty() ? u"Not connected to the session bus"_s : reason);
        });
    }
    return job->id();
}

bool SecretServiceStore::watchPrompt(const QString &service, const QString &path, Job *job)
{
    if (!m_bus.connect(service, path, PromptInterface, u"Completed"_s, this,
                       SLOT(promptCompleted(QDBusMessage)))) {
        return false;
    }
    m_prompts.insert(path, {job, service});
    return true;
}

void SecretServiceStore::unwatchPrompt(const QString &path)
{
    const auto it = m_prompts.constFind(path);
    if (it == m_prompts.cend()) {
        return;
    }
    m_bus.disconnect(it->service, path, PromptInterface, u"Completed"_s, this,
                     SLOT(promptCompleted(QDBusMessage)));
    m_prompts.erase(it);
}

void SecretServiceStore::promptCompleted(const QDBusMessage &message)
{
    Job *job = m_prompts.value(message.path()).job;
    if (job == nullptr) {
        return;
    }
    unwatchPrompt(message.path());
    const QList<QVariant> arguments = message.arguments();
    const bool dismissed = arguments.isEmpty() || arguments.at(0).toBool();
    const QVariant result =
        arguments.size() > 1 ? qdbus_cast<QDBusVariant>(arguments.at(1)).variant() : QVariant();
    job->promptCompleted(message.service(), dismissed, result);
}

void SecretServiceStore::serviceLeft()
{
    const QList<OpenPrompt> waiting = m_prompts.values();
    for (const OpenPrompt &prompt : waiting) {
        prompt.job->fail(SecretProblem::NoService,
                         u"The Secret Service left the bus while its prompt was open"_s);
    }
}

void SecretServiceStore::finish(Job *job, const SecretResult &result)
{
    if (job->isFinished()) {
        return;
    }
    job->markFinished();
    if (!job->openPrompt().isEmpty()) {
        unwatchPrompt(job->openPrompt());
    }
    if (!job->session().isEmpty()) {
        m_bus.send(methodCall(job->session(), SessionInterface, u"Close"_s));
    }
    job->deleteLater();
    // From the loop, so that whoever hears it may drop this store there and then.
    QMetaObject::invokeMethod(
        this,
        [this, id = job->id(), request = job->request(), result] {
            emit finished(id, request, result);
        },
        Qt::QueuedConnection);
}

QMap<QString, QString> SecretServiceStore::attributesFor(const SecretKey &key)
{
    return {
        {u"application"_s, u"larkspur"_s},
        {u"server"_s, key.server},
        {u"user"_s, key.user},
        {u"kind"_s, secretKindName(key.kind)},
    };
}

QString SecretServiceStore::labelFor(const SecretKey &key)
{
    QString label = u"Larkspur: %1@%2"_s.arg(key.user, key.server);
    if (key.kind == SecretKind::OAuth2Refresh) {
        label += u" (OAuth2 refresh token)"_s;
    }
    return label;
}

SecretProblem SecretServiceStore::problemFor(const QString &errorName)
{
    if (errorName == u"org.freedesktop.DBus.Error.ServiceUnknown"_s ||
        errorName == u"org.freedesktop.DBus.Error.NameHasNoOwner"_s ||
        errorName.startsWith(u"org.freedesktop.DBus.Error.Spawn."_s)) {
        return SecretProblem::NoService;
    }
    if (errorName == u"org.freedesktop.DBus.Error.Disconnected"_s ||
        errorName == u"org.freedesktop.DBus.Error.NoServer"_s) {
        return SecretProblem::NoBus;
    }
    if (errorName == u"org.freedesktop.Secret.Error.IsLocked"_s) {
        return SecretProblem::Locked;
    }
    return SecretProblem::Failed;
}
