#pragma once

#include "signin/SecretStore.h"

#include <QList>
#include <QMap>
#include <QTimer>
#include <optional>
#include <tuple>

// An in-memory keyring for tests of what uses one. It answers as the real store does: from the
// event loop, one answer per request. It can be told to answer every request with a problem, or
// to hold its answers (a prompt the user has not answered yet) until released, and it records
// each request.
class FakeSecretStore final : public SecretStore
{
public:
    struct Call {
        Request request;
        SecretKey key;
    };

    using SecretStore::SecretStore;

    RequestId read(const SecretKey &key) override { return enqueue(Request::Read, key, {}); }
    RequestId write(const SecretKey &key, const QString &secret) override
    {
        return enqueue(Request::Write, key, secret);
    }
    RequestId remove(const SecretKey &key) override { return enqueue(Request::Remove, key, {}); }

    // Every later request is answered with this problem, until `clearProblem`.
    void setProblem(SecretProblem problem, const QString &reason = QStringLiteral("fake reason"))
    {
        m_problem = SecretResult::failed(problem, reason);
    }
    void clearProblem() { m_problem.reset(); }

    // Held answers wait for `release` (or for `setHolding(false)`, which releases them).
    void setHolding(bool holding)
    {
        m_holding = holding;
        if (!holding) {
            release();
        }
    }
    void release()
    {
        const QList<Pending> held = std::exchange(m_held, {});
        for (const Pending &pending : held) {
            answer(pending);
        }
    }
    qsizetype heldCount() const { return m_held.size(); }

    // What is stored, as the keyring would hold it.
    std::optional<QString> stored(const SecretKey &key) const
    {
        const auto it = m_secrets.constFind(index(key));
        return it == m_secrets.cend() ? std::nullopt : std::optional<QString>(*it);
    }
    void store(const SecretKey &key, const QString &secret)
    {
        m_secrets.insert(index(key), secret);
    }
    qsizetype storedCount() const { return m_secrets.size(); }

    const QList<Call> &calls() const { return m_calls; }

private:
    using Index = std::tuple<QString, QString, SecretKind>;
    struct Pending {
        RequestId id;
        Request request;
        SecretKey key;
        QString secret;
        std::optional<SecretResult> problem; // as it was when asked
    };

    static Index index(const SecretKey &key) { return {key.server, key.user, key.kind}; }

    RequestId enqueue(Request request, const SecretKey &key, const QString &secret)
    {
        m_calls.append({request, key});
        const Pending pending{++m_lastId, request, key, secret, m_problem};
        if (m_holding) {
            m_held.append(pending);
        } else {
            answer(pending);
        }
        return pending.id;
    }

    void answer(const Pending &pending)
    {
        QTimer::singleShot(0, this, [this, pending] {
            emit finished(pending.id, pending.request, outcome(pending));
        });
    }

    SecretResult outcome(const Pending &pending)
    {
        if (pending.problem) {
            return *pending.problem;
        }
        switch (pending.request) {
        case Request::Read: {
            const std::optional<QString> secret = stored(pending.key);
            return secret ? SecretResult::found(*secret) : SecretResult::notStored();
        }
        case Request::Write:
            store(pending.key, pending.secret);
            return SecretResult::done();
        case Request::Remove:
            m_secrets.remove(index(pending.key));
            return SecretResult::done();
        }
        return SecretResult::failed(SecretProblem::Failed, QStringLiteral("unknown request"));
    }

    RequestId m_lastId = 0;
    QMap<Index, QString> m_secrets;
    QList<Call> m_calls;
    std::optional<SecretResult> m_problem;
    bool m_holding = false;
    QList<Pending> m_held;
};
