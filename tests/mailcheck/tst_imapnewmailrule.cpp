// What an IMAP check calls new: unread mail at or above the remembered UIDNEXT, for one table of
// mailboxes as a check finds them.
#include "mailcheck/ImapNewMailRule.h"

#include <QTest>

using Basis = NewMailVerdict::Basis;
using Uids = QList<qint64>;

class TestImapNewMailRule : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data();
    void verdict();
};

void TestImapNewMailRule::verdict_data()
{
    QTest::addColumn<qint64>("totalOld");
    QTest::addColumn<qint64>("rememberedValidity"); // -1: nothing remembered
    QTest::addColumn<qint64>("rememberedNext");
    QTest::addColumn<qint64>("count"); // -1: EXISTS never told
    QTest::addColumn<qint64>("validity");
    QTest::addColumn<qint64>("next"); // -1: UIDNEXT not told
    QTest::addColumn<Uids>("unseenFound");
    QTest::addColumn<qint64>("searchFrom"); // -1: no search
    QTest::addColumn<int>("basis");
    QTest::addColumn<qint64>("newCount");
    QTest::addColumn<Uids>("newNumbers");
    QTest::addColumn<qint64>("totalOldAfter");

    QTest::newRow("no count read: nothing known, nothing changes")
        << 4LL << 7LL << 10LL << -1LL << 7LL << 12LL << Uids{} << -1LL << int(Basis::Unread) << 0LL
        << Uids{} << 4LL;
    QTest::newRow("empty: remembered as empty")
        << 4LL << 7LL << 10LL << 0LL << 7LL << 12LL << Uids{} << -1LL << int(Basis::Empty) << 0LL
        << Uids{} << 0LL;
    QTest::newRow("first check: the count against totaloldemail, newest by sequence")
        << 3LL << -1LL << -1LL << 5LL << 7LL << 20LL << Uids{} << -1LL << int(Basis::Count) << 2LL
        << Uids{5, 4} << 5LL;
    QTest::newRow("first check with fewer than remembered: negative, no headers")
        << 5LL << -1LL << -1LL << 3LL << 7LL << 20LL << Uids{} << -1LL << int(Basis::Count) << -2LL
        << Uids{} << 3LL;
    QTest::newRow("nothing came: no search at all")
        << 9LL << 7LL << 10LL << 9LL << 7LL << 10LL << Uids{} << -1LL << int(Basis::Ids) << 0LL
        << Uids{} << 9LL;
    QTest::newRow("three came, one already read elsewhere")
        << 9LL << 7LL << 10LL << 12LL << 7LL << 13LL << Uids{10, 12} << 10LL << int(Basis::Ids)
        << 2LL << Uids{12, 10} << 12LL;
    QTest::newRow("n:* also matches the highest UID below n: not new")
        << 9LL << 7LL << 10LL << 9LL << 7LL << 12LL << Uids{9} << 10LL << int(Basis::Ids) << 0LL
        << Uids{} << 9LL;
    QTest::newRow("more than ten new: the newest ten have their headers")
        << 0LL << 7LL << 20LL << 15LL << 7LL << 35LL
        << Uids{20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34} << 20LL
        << int(Basis::Ids) << 15LL << Uids{34, 33, 32, 31, 30, 29, 28, 27, 26, 25} << 15LL;
    QTest::newRow("a new UIDVALIDITY: a baseline, not a flood")
        << 9LL << 7LL << 10LL << 9LL << 8LL << 10LL << Uids{} << -1LL << int(Basis::Baseline) << 0LL
        << Uids{} << 9LL;
    QTest::newRow("UIDNEXT gone back under the same UIDVALIDITY: a baseline")
        << 9LL << 7LL << 10LL << 9LL << 7LL << 5LL << Uids{} << -1LL << int(Basis::Baseline) << 0LL
        << Uids{} << 9LL;
    QTest::newRow("no UIDNEXT told: the count decides")
        << 2LL << 7LL << 10LL << 4LL << 7LL << -1LL << Uids{} << -1LL << int(Basis::Count) << 2LL
        << Uids{4, 3} << 4LL;
}

void TestImapNewMailRule::verdict()
{
    QFETCH(qint64, totalOld);
    QFETCH(qint64, rememberedValidity);
    QFETCH(qint64, rememberedNext);
    QFETCH(qint64, count);
    QFETCH(qint64, validity);
    QFETCH(qint64, next);
    QFETCH(Uids, unseenFound);
    QFETCH(qint64, searchFrom);
    QFETCH(int, basis);
    QFETCH(qint64, newCount);
    QFETCH(Uids, newNumbers);
    QFETCH(qint64, totalOldAfter);

    SeenState remembered;
    remembered.known = rememberedValidity >= 0;
    remembered.uidValidity = rememberedValidity;
    remembered.uidNext = rememberedNext;
    ImapMailbox box;
    if (count >= 0)
        box.count = count;
    box.uidValidity = validity;
    box.uidNext = next;

    const ImapNewMailRule rule(totalOld, remembered);
    QCOMPARE(rule.searchFrom(box).value_or(-1), searchFrom);
    const NewMailVerdict verdict = rule.verdict(box, unseenFound);
    QCOMPARE(int(verdict.basis), basis);
    QCOMPARE(verdict.newCount, newCount);
    QCOMPARE(verdict.newNumbers, newNumbers);
    QCOMPARE(verdict.totalOldEmail, totalOldAfter);
    // What the next check starts from: this check's mailbox, once one was read.
    if (count >= 0) {
        QCOMPARE(verdict.seen.uidValidity, validity);
        QCOMPARE(verdict.seen.uidNext, next);
    } else {
        QCOMPARE(verdict.seen, remembered);
    }
}

QTEST_GUILESS_MAIN(TestImapNewMailRule)
#include "tst_imapnewmailrule.moc"
