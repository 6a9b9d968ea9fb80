#pragma once

#include "mailcheck/SeenStore.h"

#include <QList>

// What one check decided is new, whichever protocol read the mailbox.
struct NewMailVerdict {
    enum class Basis {
        Unread,   // the count could not be read: nothing is known, nothing changes
        Empty,    // no mail at all
        Count,    // new = count - remembered count (no usable ids, or the first check)
        Ids,      // new = messages this mailbox has not shown before
        Baseline, // every id changed at once (the server rebuilt its index): nothing is new
    };
    Basis basis = Basis::Unread;
    qint64 count = 0;
    // What the popup and txtNewEmail tell: negative under the count rule when mail has gone.
    qint64 newCount = 0;
    // The new messages whose headers are worth fetching, newest first, at most ten. POP3 message
    // numbers, or IMAP UIDs.
    QList<qint64> newNumbers;
    // The remembered count (TotalOldEmail) from now on.
    qint64 totalOldEmail = 0;
    SeenState seen;
    bool seenChanged = false;
};
