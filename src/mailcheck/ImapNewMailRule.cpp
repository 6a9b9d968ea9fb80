#include "mailcheck/ImapNewMailRule.h"

#include <algorithm>

ImapNewMailRule::ImapNewMailRule(qint64 totalOldEmail, SeenState remembered)
    : m_totalOldEmail(totalOldEmail), m_remembered(std::move(remembered))
{
}

std::optional<qint64> ImapNewMailRule::searchFrom(const ImapMailbox &box) const
{
    if (box.count.value_or(0) <= 0 || m_remembered.uidNext < 1 || box.uidNext < 1 ||
        box.uidValidity != m_remembered.uidValidity || box.uidNext <= m_remembered.uidNext)
        return std::nullopt;
    return m_remembered.uidNext;
}

NewMailVerdict ImapNewMailRule::verdict(const ImapMailbox &box,
                                        const QList<qint64> &unseenFound) const
{
    NewMailVerdict verdict;
    verdict.totalOldEmail = m_totalOldEmail;
    verdict.seen = m_remembered;
    if (!box.count)
        return verdict;

    const qint64 count = *box.count;
    verdict.count = count;
    verdict.seen = seenNow(box);
    verdict.seenChanged = verdict.seen != m_remembered;
    if (count == 0) {
        // Remembered as empty, so that the next message is news.
        verdict.basis = NewMailVerdict::Basis::Empty;
        verdict.totalOldEmail = 0;
        return verdict;
    }
    verdict.totalOldEmail = count;

    const bool remembered = m_remembered.uidValidity >= 0 && m_remembered.uidNext >= 1;
    const bool told = box.uidValidity >= 0 && box.uidNext >= 1;
    if (remembered && told && box.uidValidity != m_remembered.uidValidity) {
        verdict.basis = NewMailVerdict::Basis::Baseline;
        return verdict;
    }
    if (!remembered || !told) {
        verdict.basis = NewMailVerdict::Basis::Count;
        verdict.newCount = count - m_totalOldEmail;
        for (qint64 n = count; n > count - std::min<qint64>(verdict.newCount, MostHeaders) && n > 0;
             --n)
            verdict.newNumbers.append(n);
        return verdict;
    }
    // UIDs only ever grow within one UIDVALIDITY: a server that goes back has lost its count.
    if (box.uidNext < m_remembered.uidNext) {
        verdict.basis = NewMailVerdict::Basis::Baseline;
        return verdict;
    }

    QList<qint64> fresh;
    for (const qint64 uid : unseenFound)
        if (uid >= m_remembered.uidNext && uid < box.uidNext)
            fresh.append(uid);
    std::sort(fresh.begin(), fresh.end(), std::greater<>());
    fresh.erase(std::unique(fresh.begin(), fresh.end()), fresh.end());
    verdict.basis = NewMailVerdict::Basis::Ids;
    verdict.newCount = fresh.size();
    verdict.newNumbers = fresh.mid(0, MostHeaders);
    return verdict;
}

SeenState ImapNewMailRule::seenNow(const ImapMailbox &box) const
{
    SeenState seen = m_remembered;
    seen.known = true;
    seen.uidValidity = box.uidValidity;
    seen.uidNext = box.uidNext;
    return seen;
}
