#include "mailcheck/NewMailRule.h"

#include <QHash>
#include <algorithm>

namespace
{

constexpr qint64 SecondsPerDay = 24 * 60 * 60;

// Every id changed at once while the mailbox kept its count and size: the server rebuilt its
// index, and the same mail now wears new ids. Or so many new ones that announcing them would be a
// flood rather than news.
bool looksRebuilt(const SeenState &remembered, const QSet<QByteArray> &current, qint64 count,
                  qint64 octets, qint64 newOnes)
{
    if (newOnes >= NewMailRule::WalkLimit && 2 * newOnes >= count)
        return true;
    if (remembered.ids.isEmpty() || count < 2 || count != remembered.count ||
        octets != remembered.octets)
        return false;
    return std::none_of(remembered.ids.cbegin(), remembered.ids.cend(),
                        [&](const QByteArray &id) { return current.contains(id); });
}

} // namespace

NewMailRule::NewMailRule(qint64 totalOldEmail, SeenState remembered, QDateTime now)
    : m_totalOldEmail(totalOldEmail), m_remembered(std::move(remembered)), m_now(std::move(now))
{
    m_verdict.totalOldEmail = m_totalOldEmail;
    m_verdict.seen = m_remembered;
}

void NewMailRule::statRead(std::optional<qint64> count, std::optional<qint64> octets)
{
    if (!count) {
        m_phase = Phase::Done;
        return;
    }
    m_count = *count;
    m_octets = octets.value_or(-1);
    if (m_count > 0) {
        m_phase = Phase::Last;
        m_asked = m_count;
        return;
    }
    // An emptied mailbox is remembered as empty, so that the next message is news.
    m_phase = Phase::Done;
    m_verdict.basis = Verdict::Basis::Empty;
    m_verdict.totalOldEmail = 0;
    SeenState seen;
    seen.known = true;
    seen.count = 0;
    seen.octets = m_octets;
    seen.listedAt = m_remembered.listedAt;
    m_verdict.seen = seen;
    m_verdict.seenChanged = seen != m_remembered;
}

NewMailRule::Question NewMailRule::next() const
{
    switch (m_phase) {
    case Phase::Last:
    case Phase::Walk:
        return {Question::Kind::One, m_asked};
    case Phase::Listing:
        return {Question::Kind::All, 0};
    case Phase::Stat:
    case Phase::Done:
        break;
    }
    return {};
}

void NewMailRule::answerOne(qint64 number, const std::optional<QByteArray> &id)
{
    if ((m_phase != Phase::Last && m_phase != Phase::Walk) || number != m_asked)
        return;
    if (!id) {
        m_phase = Phase::Listing;
        return;
    }
    if (m_phase == Phase::Last) {
        m_lastId = *id;
        if (!m_remembered.known || listingDue()) {
            m_phase = Phase::Listing;
            return;
        }
        if (m_remembered.ids.contains(*id)) {
            // The last message is known, and yet the mailbox grew, or the same last message
            // came with other octets: something was put in the middle.
            const bool grew = m_count > m_remembered.count;
            const bool resized = m_count == m_remembered.count && *id == m_remembered.lastId &&
                                 m_octets != m_remembered.octets;
            if (grew || resized)
                m_phase = Phase::Listing;
            else
                finishNothingNew();
            return;
        }
    } else if (m_remembered.ids.contains(*id)) {
        finishWithIds(m_walked, false);
        return;
    }
    m_walked.append({number, *id});
    if (number == 1) {
        finishWithIds(m_walked, true);
    } else if (m_walked.size() >= WalkLimit) {
        m_phase = Phase::Listing;
    } else {
        m_phase = Phase::Walk;
        m_asked = number - 1;
    }
}

void NewMailRule::answerAll(const std::optional<QList<UidlEntry>> &listing)
{
    if (m_phase != Phase::Listing)
        return;
    if (!listing) {
        finishByCount();
        return;
    }
    // The listing names the last message as well, also when "UIDL n" could not.
    const auto last = std::max_element(
        listing->cbegin(), listing->cend(),
        [](const UidlEntry &a, const UidlEntry &b) { return a.number < b.number; });
    m_lastId = last == listing->cend() ? QByteArray() : last->id;
    if (!m_remembered.known) {
        // The first check: nothing to compare ids with, so the remembered count decides, and
        // from now on the ids.
        finishByCount();
        SeenState seen;
        seen.known = true;
        for (const UidlEntry &entry : *listing)
            seen.ids.insert(entry.id);
        seen.count = m_count;
        seen.octets = m_octets;
        seen.lastId = m_lastId;
        seen.listedAt = m_now;
        m_verdict.seen = seen;
        m_verdict.seenChanged = true;
        return;
    }
    finishWithIds(*listing, true);
}

NewMailRule::Verdict NewMailRule::verdict() const
{
    return m_verdict;
}

void NewMailRule::finishByCount()
{
    m_phase = Phase::Done;
    m_verdict.basis = Verdict::Basis::Count;
    m_verdict.count = m_count;
    m_verdict.newCount = m_count - m_totalOldEmail;
    m_verdict.totalOldEmail = m_count;
    m_verdict.newNumbers.clear();
    // Under the count rule the newest messages stand for the new ones.
    for (qint64 n = m_count;
         n > m_count - std::min<qint64>(m_verdict.newCount, MostHeaders) && n > 0; --n)
        m_verdict.newNumbers.append(n);
}

void NewMailRule::finishNothingNew()
{
    m_phase = Phase::Done;
    m_verdict.basis = Verdict::Basis::Ids;
    m_verdict.count = m_count;
    m_verdict.newCount = 0;
    m_verdict.totalOldEmail = m_count;
    m_verdict.seen = stateNow();
    m_verdict.seenChanged = m_verdict.seen != m_remembered;
}

void NewMailRule::finishWithIds(const QList<UidlEntry> &current, bool wholeMailbox)
{
    m_phase = Phase::Done;
    // One id on several messages (identical copies may share one): it is one new message, shown
    // by its newest copy.
    QHash<QByteArray, qint64> fresh;
    QSet<QByteArray> ids;
    for (const UidlEntry &entry : current) {
        ids.insert(entry.id);
        if (!m_remembered.ids.contains(entry.id))
            fresh[entry.id] = std::max(fresh.value(entry.id), entry.number);
    }

    m_verdict.count = m_count;
    m_verdict.totalOldEmail = m_count;
    SeenState seen = stateNow();
    if (wholeMailbox) {
        seen.ids = ids; // pruned to the mail still there
        seen.listedAt = m_now;
    } else {
        seen.ids.unite(ids);
    }
    m_verdict.seen = seen;
    m_verdict.seenChanged = seen != m_remembered;

    if (wholeMailbox && looksRebuilt(m_remembered, ids, m_count, m_octets, fresh.size())) {
        m_verdict.basis = Verdict::Basis::Baseline;
        m_verdict.newCount = 0;
        m_verdict.newNumbers.clear();
        return;
    }
    m_verdict.basis = Verdict::Basis::Ids;
    m_verdict.newCount = fresh.size();
    QList<qint64> numbers = fresh.values();
    std::sort(numbers.begin(), numbers.end(), std::greater<>());
    m_verdict.newNumbers = numbers.mid(0, MostHeaders);
}

bool NewMailRule::listingDue() const
{
    if (!m_remembered.listedAt.isValid())
        return true;
    const qint64 since = m_remembered.listedAt.secsTo(m_now);
    // A clock set back is no reason to trust an old listing for longer.
    return since < 0 || since >= SecondsPerDay;
}

SeenState NewMailRule::stateNow() const
{
    SeenState seen = m_remembered;
    seen.known = true;
    seen.count = m_count;
    seen.octets = m_octets;
    seen.lastId = m_lastId;
    return seen;
}
