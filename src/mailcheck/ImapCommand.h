#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// One command as the client sends it: its tag, protocol words, and strings quoted or sent as
// literals. A string that cannot travel refuses the whole command, so none of it is sent.
class ImapCommand
{
public:
    // How a literal goes out: after the server's "+" each time (IMAP4rev1), at once (LITERAL+),
    // or at once only up to 4096 bytes (LITERAL-).
    enum class Literals { Synchronizing, NonSynchronizing, NonSynchronizingUpTo4k };

    explicit ImapCommand(QByteArrayView tag, Literals literals = Literals::Synchronizing);

    // Protocol the caller writes itself, sent as it is after a space: "LOGIN", "UID FETCH",
    // "(UIDNEXT MESSAGES)". CR, LF and NUL are refused.
    ImapCommand &words(QByteArrayView protocol);
    // A user name, a password, a mailbox name: a quoted string (with \" and \\) when it is 7-bit,
    // a literal when it holds 8-bit bytes (UTF-8). CR, LF and NUL are refused: a literal could
    // carry the first two, but no name or password needs them and a server may take them for the
    // end of the command.
    ImapCommand &string(QByteArrayView text);

    bool isValid() const { return m_error.isEmpty(); }
    // Why the command was refused, in English; empty when it was not.
    QString errorText() const { return m_error; }
    // The command in the parts it is sent in, each ending with CR LF. With synchronizing literals,
    // each part after the first is sent only on a continuation request ("+"). Empty when refused.
    QList<QByteArray> parts() const;

private:
    // Whether bytes may go into a command; refuses the whole command when not.
    bool mayTravel(QByteArrayView bytes);

    Literals m_literals;
    QList<QByteArray> m_parts;
    QString m_error;
};
