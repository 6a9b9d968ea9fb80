#pragma once

#include "mailcheck/NewMailVerdict.h"

#include <QList>
#include <optional>

// What an IMAP check read of INBOX.
struct ImapMailbox {
    std::optional<qint64> count; // EXISTS; nothing when the server never told it
    qint64 uidValidity = -1;
    qint64 uidNext = -1; // -1: not told (UIDNEXT missing, and no UID to work it out from)
};

// Which of INBOX's messages are new, by UID: a message is new when its UID is at or above the
// UIDNEXT remembered from the last check of the same UIDVALIDITY, and it has not been read (\Seen)
// meanwhile. A new UIDVALIDITY starts afresh without announcing anything; the first check, with
// nothing remembered, takes the described count rule against the remembered count, as does a
// server that tells no UIDNEXT.
class ImapNewMailRule
{
public:
    // Messages whose headers are shown, newest first.
    static constexpr int MostHeaders = 10;

    ImapNewMailRule(qint64 totalOldEmail, SeenState remembered);

    // The UID to search for unread mail from ("UID SEARCH UID n:* UNSEEN"), or nothing when no
    // message can have come since the last check.
    std::optional<qint64> searchFrom(const ImapMailbox &box) const;
    // The verdict on `box`, with the unread UIDs the search found (the search's "n:*" also
    // matches the highest UID when it lies below n: such UIDs are not new and are dropped here).
    // Under Basis::Count, newNumbers are sequence numbers (the newest messages stand for the new
    // ones); under Basis::Ids they are UIDs.
    NewMailVerdict verdict(const ImapMailbox &box, const QList<qint64> &unseenFound) const;

private:
    SeenState seenNow(const ImapMailbox &box) const;

    qint64 m_totalOldEmail;
    SeenState m_remembered;
};
