#pragma once

#include "settings/MailboxSettings.h"

#include <QString>
#include <functional>
#include <optional>

// What a login presents: a password, or an OAuth2 access token.
struct Credential {
    enum class Kind { Password, BearerToken };
    Kind kind = Kind::Password;
    QString secret;
};

// Where a mailbox's credential comes from. A check asks before it connects, so that the login
// never waits on a widget, a keyring or a token endpoint in the middle of a dialogue.
class CredentialSource
{
public:
    using Answer = std::function<void(const std::optional<Credential> &credential,
                                      const QString &failureLine)>;

    virtual ~CredentialSource() = default;
    // Answers exactly once, possibly before returning: the credential, or none with one line for
    // the status log that says why.
    virtual void request(const MailboxSettings &mailbox, Answer answer) = 0;
    // The server refused what was presented: whatever was kept for it is not to be offered again.
    virtual void refused(const MailboxSettings & /*mailbox*/) {}
};

// The password the user typed into txtPassword (or the start-up filled in), as the settings hold
// it.
class TypedPassword final : public CredentialSource
{
public:
    void request(const MailboxSettings &mailbox, Answer answer) override
    {
        answer(Credential{Credential::Kind::Password, mailbox.password}, QString());
    }
};

// The source the settings choose: the password, or an OAuth2 token from `tokens`.
class ChosenCredentials final : public CredentialSource
{
public:
    ChosenCredentials(CredentialSource &password, CredentialSource &tokens)
        : m_password(password), m_tokens(tokens)
    {
    }
    void request(const MailboxSettings &mailbox, Answer answer) override
    {
        sourceFor(mailbox).request(mailbox, std::move(answer));
    }
    void refused(const MailboxSettings &mailbox) override { sourceFor(mailbox).refused(mailbox); }

private:
    CredentialSource &sourceFor(const MailboxSettings &mailbox)
    {
        return mailbox.signIn == MailboxSettings::SignIn::OAuth2 ? m_tokens : m_password;
    }
    CredentialSource &m_password;
    CredentialSource &m_tokens;
};
