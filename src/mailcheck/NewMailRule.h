#pragma once

#include "mailcheck/NewMailVerdict.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <optional>

struct UidlEntry {
    qint64 number = 0;
    QByteArray id;
};

// One check's decision of what is new, as a conversation about unique ids: it says which UIDL to
// ask next and takes the answers. New means an id this mailbox has not shown before. A check that
// finds nothing new asks for one id only (the last message's); a new message at the end costs a
// short walk back to the first known id; the whole listing is read only when that cannot tell
// (the first check, an id that contradicts the STAT, a long walk, once a day). Without UIDL, and
// on the first check, the count rule of old decides: the count against the remembered one.
class NewMailRule
{
public:
    // Unknown ids walked back before the whole listing is cheaper.
    static constexpr int WalkLimit = 50;
    // Messages whose headers are shown, newest first.
    static constexpr int MostHeaders = 10;

    struct Question {
        enum class Kind { None, One, All };
        Kind kind = Kind::None;
        qint64 number = 0; // for One
    };

    using Verdict = NewMailVerdict;

    NewMailRule(qint64 totalOldEmail, SeenState remembered, QDateTime now);

    // The STAT reply's fields; nothing for one that could not be read.
    void statRead(std::optional<qint64> count, std::optional<qint64> octets);
    Question next() const;
    // The id of message `number`, or nothing for -ERR or a reply that cannot be used.
    void answerOne(qint64 number, const std::optional<QByteArray> &id);
    // The whole listing, or nothing for -ERR or one that cannot be used.
    void answerAll(const std::optional<QList<UidlEntry>> &listing);
    // Once next() asks nothing more.
    Verdict verdict() const;

private:
    enum class Phase { Stat, Last, Walk, Listing, Done };

    void finishByCount();
    void finishWithIds(const QList<UidlEntry> &current, bool wholeMailbox);
    void finishNothingNew();
    bool listingDue() const;
    SeenState stateNow() const;

    qint64 m_totalOldEmail;
    SeenState m_remembered;
    QDateTime m_now;
    Phase m_phase = Phase::Stat;
    qint64 m_count = 0;
    qint64 m_octets = -1;
    QByteArray m_lastId;
    qint64 m_asked = 0;
    QList<UidlEntry> m_walked; // unknown ids from the last message backwards
    Verdict m_verdict;
};
