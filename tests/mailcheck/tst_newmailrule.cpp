// The rule that tells new mail from unique ids, as a conversation with a mailbox given as a list of
// ids: which UIDL it asks, and what it decides and remembers.
#include "mailcheck/NewMailRule.h"

#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;
using Basis = NewMailVerdict::Basis;

namespace
{

const QDateTime Now(QDate(2024, 3, 7), QTime(12, 0), Qt::UTC);

QList<QByteArray> ids(const char *spaced)
{
    return QByteArray(spaced).split(' ');
}

QList<QByteArray> numbered(const char *prefix, int from, int to)
{
    QList<QByteArray> list;
    for (int i = from; i <= to; ++i)
        list.append(prefix + QByteArray::number(i));
    return list;
}

// What a check remembered: the ids, and the last STAT with its last message's id.
SeenState remembered(const QList<QByteArray> &seen, qint64 octets, int hoursSinceListing = 1)
{
    SeenState state;
    state.known = true;
    state.ids = QSet<QByteArray>(seen.cbegin(), seen.cend());
    state.count = seen.size();
    state.octets = octets;
    state.lastId = seen.isEmpty() ? QByteArray() : seen.last();
    state.listedAt = Now.addSecs(-3600 * hoursSinceListing);
    return state;
}

QList<QByteArray> sorted(const QSet<QByteArray> &set)
{
    QList<QByteArray> list(set.cbegin(), set.cend());
    std::sort(list.begin(), list.end());
    return list;
}

QList<QByteArray> sorted(QList<QByteArray> list)
{
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
}

} // namespace

class TestNewMailRule : public QObject
{
    Q_OBJECT

private slots:
    void conversation_data();
    void conversation();
};

void TestNewMailRule::conversation_data()
{
    QTest::addColumn<SeenState>("before");
    QTest::addColumn<qint64>("totalOld");
    QTest::addColumn<QList<QByteArray>>("server"); // message n has the id at n - 1
    QTest::addColumn<qint64>("octets");
    QTest::addColumn<bool>("uidlOne"); // "UIDL n" answered
    QTest::addColumn<bool>("uidlAll"); // "UIDL" answered
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<Basis>("basis");
    QTest::addColumn<qint64>("newCount");
    QTest::addColumn<QList<qint64>>("newNumbers");
    QTest::addColumn<QList<QByteArray>>("seenAfter");
    QTest::addColumn<bool>("seenChanged");

    const QStringList lastOnly{u"UIDL 3"_s};
    QTest::newRow("nothing new: only the last message's id is asked")
        << remembered(ids("a b c"), 300) << qint64(3) << ids("a b c") << qint64(300) << true << true
        << lastOnly << Basis::Ids << qint64(0) << QList<qint64>() << ids("a b c") << false;
    QTest::newRow("one new at the end: a walk back of one")
        << remembered(ids("a b c"), 300) << qint64(3) << ids("a b c d") << qint64(400) << true
        << true << QStringList{u"UIDL 4"_s, u"UIDL 3"_s} << Basis::Ids << qint64(1)
        << QList<qint64>{4} << ids("a b c d") << true;
    // The old id stays until a full listing prunes it.
    QTest::newRow("one deleted and one delivered, STAT unchanged")
        << remembered(ids("a b c"), 300) << qint64(3) << ids("b c d") << qint64(300) << true << true
        << QStringList{u"UIDL 3"_s, u"UIDL 2"_s} << Basis::Ids << qint64(1) << QList<qint64>{3}
        << ids("a b c d") << true;
    QTest::newRow("grew while the last id is known: put in the middle, the listing tells")
        << remembered(ids("a b c"), 300) << qint64(3) << ids("a x b c") << qint64(400) << true
        << true << QStringList{u"UIDL 4"_s, u"UIDL"_s} << Basis::Ids << qint64(1)
        << QList<qint64>{2} << ids("a b c x") << true;
    QTest::newRow("same last id with other octets: the listing tells, and prunes")
        << remembered(ids("a b c"), 300) << qint64(3) << ids("a x c") << qint64(310) << true << true
        << QStringList{u"UIDL 3"_s, u"UIDL"_s} << Basis::Ids << qint64(1) << QList<qint64>{2}
        << ids("a c x") << true;
    {
        const QList<QByteArray> old = numbered("m", 1, 100);
        const QList<QByteArray> fresh = numbered("n", 1, 51);
        QStringList walk;
        for (int n = 151; n > 151 - NewMailRule::WalkLimit; --n)
            walk << u"UIDL %1"_s.arg(n);
        QList<qint64> newest;
        for (int n = 151; n > 151 - NewMailRule::MostHeaders; --n)
            newest << n;
        QTest::newRow("a walk longer than the limit: the listing tells")
            << remembered(old, 10000) << qint64(100) << old + fresh << qint64(15100) << true << true
            << walk + QStringList{u"UIDL"_s} << Basis::Ids << qint64(51) << newest << old + fresh
            << true;
    }
    QTest::newRow("a day since the last listing: listed again, nothing new")
        << remembered(ids("a b c"), 300, 25) << qint64(3) << ids("a b c") << qint64(300) << true
        << true << QStringList{u"UIDL 3"_s, u"UIDL"_s} << Basis::Ids << qint64(0) << QList<qint64>()
        << ids("a b c") << true;
    QTest::newRow("the first check: the count rule decides, the ids are remembered")
        << SeenState() << qint64(1) << ids("a b c") << qint64(300) << true << true
        << QStringList{u"UIDL 3"_s, u"UIDL"_s} << Basis::Count << qint64(2) << QList<qint64>{3, 2}
        << ids("a b c") << true;
    QTest::newRow("no UIDL: the count rule decides, nothing remembered changes")
        << remembered(ids("a b c"), 300) << qint64(2) << ids("a b c d") << qint64(400) << false
        << false << QStringList{u"UIDL 4"_s, u"UIDL"_s} << Basis::Count << qint64(2)
        << QList<qint64>{4, 3} << ids("a b c") << false;
    QTest::newRow("-ERR to UIDL n: the listing tells")
        << remembered(ids("a b c"), 300) << qint64(3) << ids("a b c d") << qint64(400) << false
        << true << QStringList{u"UIDL 4"_s, u"UIDL"_s} << Basis::Ids << qint64(1)
        << QList<qint64>{4} << ids("a b c d") << true;
    QTest::newRow("one id on two messages: one new message, its newest copy")
        << remembered(ids("a b"), 200) << qint64(2) << ids("a b x x") << qint64(400) << true << true
        << QStringList{u"UIDL 4"_s, u"UIDL 3"_s, u"UIDL 2"_s} << Basis::Ids << qint64(1)
        << QList<qint64>{4} << ids("a b x") << true;
    QTest::newRow("every id changed, STAT unchanged: a new baseline, nothing announced")
        << remembered(ids("a b c d"), 400) << qint64(4) << ids("e f g h") << qint64(400) << true
        << true << QStringList{u"UIDL 4"_s, u"UIDL 3"_s, u"UIDL 2"_s, u"UIDL 1"_s}
        << Basis::Baseline << qint64(0) << QList<qint64>() << ids("e f g h") << true;
    QTest::newRow("an empty mailbox: nothing asked, remembered as empty")
        << remembered(ids("a b c"), 300) << qint64(3) << QList<QByteArray>() << qint64(0) << true
        << true << QStringList() << Basis::Empty << qint64(0) << QList<qint64>()
        << QList<QByteArray>() << true;
}

void TestNewMailRule::conversation()
{
    QFETCH(SeenState, before);
    QFETCH(qint64, totalOld);
    QFETCH(QList<QByteArray>, server);
    QFETCH(qint64, octets);
    QFETCH(bool, uidlOne);
    QFETCH(bool, uidlAll);
    QFETCH(QStringList, asked);
    QFETCH(Basis, basis);
    QFETCH(qint64, newCount);
    QFETCH(QList<qint64>, newNumbers);
    QFETCH(QList<QByteArray>, seenAfter);
    QFETCH(bool, seenChanged);

    NewMailRule rule(totalOld, before, Now);
    rule.statRead(server.size(), octets);
    QStringList questions;
    // Bounded: a rule that kept asking would fail the comparison instead of hanging.
    for (qsizetype turn = 0; turn <= server.size() + 1; ++turn) {
        const NewMailRule::Question question = rule.next();
        if (question.kind == NewMailRule::Question::Kind::None)
            break;
        if (question.kind == NewMailRule::Question::Kind::One) {
            questions << u"UIDL %1"_s.arg(question.number);
            const bool exists = question.number >= 1 && question.number <= server.size();
            rule.answerOne(question.number, uidlOne && exists
                                                ? std::optional(server.at(question.number - 1))
                                                : std::nullopt);
        } else {
            questions << u"UIDL"_s;
            QList<UidlEntry> listing;
            for (qsizetype i = 0; i < server.size(); ++i)
                listing.append({i + 1, server.at(i)});
            rule.answerAll(uidlAll ? std::optional(listing) : std::nullopt);
        }
    }
    QCOMPARE(questions, asked);
    QCOMPARE(rule.next().kind, NewMailRule::Question::Kind::None);

    const NewMailVerdict verdict = rule.verdict();
    QCOMPARE(verdict.basis, basis);
    QCOMPARE(verdict.count, server.size());
    QCOMPARE(verdict.newCount, newCount);
    QCOMPARE(verdict.newNumbers, newNumbers);
    QCOMPARE(verdict.totalOldEmail, server.size());
    QCOMPARE(sorted(verdict.seen.ids), sorted(seenAfter));
    QCOMPARE(verdict.seenChanged, seenChanged);
    QCOMPARE(verdict.seenChanged, verdict.seen != before);
    // What is remembered of this check's STAT, for the next one's cheap comparison.
    if (basis != Basis::Count) {
        QVERIFY(verdict.seen.known);
        QCOMPARE(verdict.seen.count, server.size());
        QCOMPARE(verdict.seen.octets, octets);
        QCOMPARE(verdict.seen.lastId, server.isEmpty() ? QByteArray() : server.last());
    }
}

QTEST_GUILESS_MAIN(TestNewMailRule)
#include "tst_newmailrule.moc"
