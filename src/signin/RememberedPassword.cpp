#include "signin/RememberedPassword.h"

#include "wording/Wording.h"

RememberedPassword::RememberedPassword(SecretStore *store, QObject *parent)
    : QObject(parent), m_store(store)
{
    if (m_store)
        connect(m_store, &SecretStore::finished, this, &RememberedPassword::onFinished);
}

bool RememberedPassword::load(const QString &server, const QString &user,
                              const std::optional<QString> &fromFile)
{
    m_inKeyring = false;
    // A password in the file stays the one to use until it has logged in.
    if ((fromFile && !fromFile->isEmpty()) || !m_store)
        return false;
    m_reading = m_store->read(SecretKey{server, user, SecretKind::Password});
    return true;
}

void RememberedPassword::loggedIn(const QString &server, const QString &user,
                                  const QString &password)
{
    if (m_inKeyring || m_unusable || !m_store || password.isEmpty()) {
        if (!m_store && !m_told) {
            m_told = true;
            emit statusLine(Wording::passwordKeptScrambled(QString()));
        }
        return;
    }
    if (m_writing)
        return;
    m_writing = m_store->write(SecretKey{server, user, SecretKind::Password}, password);
}

void RememberedPassword::forget(const QString &server, const QString &user)
{
    m_inKeyring = false;
    if (m_store && !m_unusable)
        m_removing = m_store->remove(SecretKey{server, user, SecretKind::Password});
}

void RememberedPassword::onFinished(SecretStore::RequestId id, SecretStore::Request request,
                                    const SecretResult &result)
{
    if (request == SecretStore::Request::Read && id == m_reading) {
        m_reading = 0;
        if (result.status == SecretResult::Status::Found) {
            m_inKeyring = true;
            emit loaded(result.value);
            return;
        }
        if (result.status == SecretResult::Status::Problem)
            problem(result);
        emit loaded(std::nullopt);
        return;
    }
    if (request == SecretStore::Request::Write && id == m_writing) {
        m_writing = 0;
        if (result.status == SecretResult::Status::Done) {
            m_inKeyring = true;
            emit moved();
        } else {
            problem(result);
        }
        return;
    }
    // The store is shared with the OAuth2 tokens: their answers are not about the password.
    if (request == SecretStore::Request::Remove && id == m_removing &&
        result.status == SecretResult::Status::Problem)
        problem(result);
}

void RememberedPassword::problem(const SecretResult &result)
{
    // No keyring at all: the file is where the password lives from now on. A locked keyring or a
    // refused prompt may be gone at the next try.
    if (result.problem == SecretProblem::NoBus || result.problem == SecretProblem::NoService)
        m_unusable = true;
    if (m_told)
        return;
    m_told = true;
    emit statusLine(secretProblemLine(result.problem, result.reason));
    if (m_unusable)
        emit statusLine(Wording::passwordKeptScrambled(result.reason));
}
