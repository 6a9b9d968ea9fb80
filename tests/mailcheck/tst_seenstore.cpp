// The seen ids on disk: what comes back, what counts as nothing remembered, who may read the file,
// and when a check leaves it alone.
#include "WatcherJournal.h"
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/SeenStore.h"
#include "signin/CredentialSource.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace
{

const MailboxKey Key{u"pop3"_s, u"mail.example.org"_s, 110, u"สมชาย"_s};
const QByteArray LongId = QByteArray(200, 'L');

SeenState state(const QList<QByteArray> &ids, const QByteArray &lastId)
{
    SeenState seen;
    seen.known = true;
    seen.ids = QSet<QByteArray>(ids.cbegin(), ids.cend());
    seen.count = ids.size();
    seen.octets = 100 * ids.size();
    seen.lastId = lastId;
    seen.listedAt = QDateTime(QDate(2024, 3, 7), QTime(12, 0, 5), Qt::UTC);
    return seen;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file as a check would find it replaced: another inode, or the same one written again.
struct Stamp {
    ino_t inode = 0;
    qint64 modifiedNs = 0;
    bool operator==(const Stamp &) const = default;
};

Stamp stampOf(const QString &path)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {status.st_ino, qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec};
}

mode_t modeOf(const QString &path)
{
    struct stat status {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

class TestSeenStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void roundTrip_data();
    void roundTrip();
    void unreadableIsNothingRemembered_data();
    void unreadableIsNothingRemembered();
    void rewrittenOnlyWhenChanged_data();
    void rewrittenOnlyWhenChanged();
    void readAgainOnceChanged();
};

void TestSeenStore::roundTrip_data()
{
    QTest::addColumn<SeenState>("saved");
    QTest::newRow("ids, the last STAT, and an id of 200 characters")
        << state({"a", "b~!", LongId}, LongId);
    QTest::newRow("an emptied mailbox: known, without ids") << state({}, QByteArray());
    SeenState partly = state({"a", "two words", "bell\a"}, "two words");
    partly.listedAt = partly.listedAt.addMSecs(250);
    QTest::newRow("what the file cannot hold: ids with blanks or controls, the milliseconds")
        << partly;
}

void TestSeenStore::roundTrip()
{
    QFETCH(SeenState, saved);

    const QString folder = m_dir.filePath(u"state/larkspur"_s);
    const SeenStore store(folder);
    QString error;
    QVERIFY2(store.save(Key, saved, &error), qPrintable(error));
    // The store keeps what it wrote, and must keep exactly what the file gives back.
    const SeenState read = SeenStore(folder).load(Key);
    QCOMPARE(store.load(Key), read);
    const QSet<QByteArray> unstorable{"two words", "bell\a"};
    QCOMPARE(read.ids, saved.ids - unstorable);
    QCOMPARE(read.lastId, saved.lastId == "two words" ? QByteArray() : saved.lastId);
    QCOMPARE(read.listedAt, saved.listedAt.addMSecs(-saved.listedAt.time().msec()));
    // It tells which mailboxes this user reads, and how much mail is in them.
    QCOMPARE(modeOf(store.fileFor(Key)), mode_t(0600));
    QCOMPARE(modeOf(folder), mode_t(0700));
}

void TestSeenStore::unreadableIsNothingRemembered_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const SeenStore store(m_dir.filePath(u"model"_s));
    QString error;
    QVERIFY2(store.save(Key, state({"a", "b"}, "b"), &error), qPrintable(error));
    const QByteArray valid = readAll(store.fileFor(Key));
    QVERIFY(valid.contains("\nlast 2 200 b\n"));
    MailboxKey other = Key;
    other.user = u"somchai"_s;
    QVERIFY2(store.save(other, state({"a", "b"}, "b"), &error), qPrintable(error));

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not a state file") << QByteArray("[settings]\r\nloginname=demo\r\n");
    QTest::newRow("cut short in its header") << valid.left(valid.indexOf("listed"));
    QTest::newRow("another mailbox's file") << readAll(store.fileFor(other));
    QTest::newRow("the last STAT is no number")
        << QByteArray(valid).replace("last 2 200", "last 2 many");
    QTest::newRow("an id with a control character") << valid + "c\x01"
                                                               "d\n";
}

void TestSeenStore::unreadableIsNothingRemembered()
{
    QFETCH(QByteArray, bytes);

    const SeenStore store(m_dir.filePath(u"damaged"_s));
    QString error;
    QVERIFY2(store.save(Key, state({"x"}, "x"), &error), qPrintable(error));
    QVERIFY(store.load(Key).known);
    QVERIFY(writeAll(store.fileFor(Key), bytes));
    QCOMPARE(store.load(Key), SeenState());
}

void TestSeenStore::rewrittenOnlyWhenChanged_data()
{
    QTest::addColumn<QStringList>("replies"); // after the reply to PASS
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("rewritten");

    const QStringList nothingNew{u"+OK 3 300\r\n"_s, u"+OK 3 c\r\n"_s, u"+OK bye\r\n"_s};
    const QStringList oneNew{u"+OK 4 400\r\n"_s, u"+OK 4 d\r\n"_s, u"+OK 3 c\r\n"_s,
                             u"-ERR no TOP\r\n"_s, u"+OK bye\r\n"_s};
    QTest::newRow("nothing new: the file stays") << nothingNew << false << false;
    QTest::newRow("one new: the file is replaced") << oneNew << false << true;
    QTest::newRow("one new, a check that only looks: the file stays") << oneNew << true << false;
}

void TestSeenStore::rewrittenOnlyWhenChanged()
{
    QFETCH(QStringList, replies);
    QFETCH(bool, readOnly);
    QFETCH(bool, rewritten);

    const SeenStore store(m_dir.filePath(u"checked"_s));
    QStringList journal;
    ScriptedSocket socket(journal);
    SteppingClock clock;
    clock.times = {QDateTime(QDate(2024, 3, 7), QTime(14, 0), Qt::UTC)};
    TypedPassword password;
    MailboxWatcher watcher(socket, password, clock, &store);
    WatcherJournal view(watcher, journal);
    MailboxSettings &settings = watcher.settings();
    settings.server = u"mail.example.org"_s;
    settings.loginName = u"demo"_s;
    settings.password = u"secret"_s;
    settings.security = SecurityMode::None;
    watcher.setReadOnly(readOnly);

    const SeenState before = state({"a", "b", "c"}, "c");
    QString error;
    QVERIFY2(store.save(watcher.key(), before, &error), qPrintable(error));
    const Stamp stamp = stampOf(store.fileFor(watcher.key()));
    QVERIFY(stamp.inode != 0);

    QVERIFY(!watcher.check());
    for (const QString &line : QStringList{u"+OK\r\n"_s, u"+OK\r\n"_s, u"+OK\r\n"_s} + replies)
        socket.arrive(line);
    QCOMPARE(watcher.session().state(), Pop3Session::State::Ended);
    QCOMPARE(view.reports.size(), 1);
    QCOMPARE(stampOf(store.fileFor(watcher.key())) != stamp, rewritten);
    QCOMPARE(store.load(watcher.key()) != before, rewritten);
}

// What was read is kept while the file stays as it was read: a file saved by another program (a
// second copy, a restored backup) or removed is read as it is now.
void TestSeenStore::readAgainOnceChanged()
{
    const QString folder = m_dir.filePath(u"shared"_s);
    const SeenStore tray(folder);
    const SeenStore other(folder);
    QString error;
    QVERIFY2(tray.save(Key, state({"a"}, "a"), &error), qPrintable(error));
    QCOMPARE(tray.load(Key), state({"a"}, "a"));
    QVERIFY2(other.save(Key, state({"a", "b"}, "b"), &error), qPrintable(error));
    QCOMPARE(tray.load(Key), state({"a", "b"}, "b"));
    QVERIFY(QFile::remove(tray.fileFor(Key)));
    QCOMPARE(tray.load(Key), SeenState());
}

QTEST_GUILESS_MAIN(TestSeenStore)
#include "tst_seenstore.moc"
