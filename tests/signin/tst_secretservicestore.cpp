// The store against a real GNOME Keyring on a private bus (tests/support/keyring-sandbox), in
// every state a user's keyring can be in, with gcr's prompter standing in for the user where
// an unlock prompt is answered.

#include "signin/SecretServiceStore.h"
#include "support/KeyringSandbox.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

const SecretKey Mailbox{u"pop.example.com"_s, u"somchai"_s, SecretKind::Password};

// The one answer to `id`, and no other for it.
SecretResult answerTo(SecretStore &store, SecretStore::RequestId id)
{
    QSignalSpy spy(&store, &SecretStore::finished);
    const auto answers = [&] {
        QList<SecretResult> results;
        for (const QList<QVariant> &signal : std::as_const(spy)) {
            if (signal.at(0).value<SecretStore::RequestId>() == id) {
                results.append(signal.at(2).value<SecretResult>());
            }
        }
        return results;
    };
    if (!QTest::qWaitFor([&] { return !answers().isEmpty(); }, 20'000)) {
        return SecretResult::failed(SecretProblem::Failed, u"(the test heard no answer)"_s);
    }
    QCoreApplication::processEvents();
    if (answers().size() != 1) {
        return SecretResult::failed(SecretProblem::Failed, u"(the test heard two answers)"_s);
    }
    return answers().first();
}

QString describe(const SecretResult &result)
{
    static const char *const statuses[] = {"Found", "NotStored", "Done", "Problem"};
    static const char *const problems[] = {"NoBus", "NoService", "Locked", "Refused", "Failed"};
    return u"%1 %2 (%3)"_s.arg(QLatin1StringView(statuses[int(result.status)]),
                               result.status == SecretResult::Status::Problem
                                   ? QLatin1StringView(problems[int(result.problem)])
                                   : QLatin1StringView(),
                               result.reason);
}

} // namespace

class TestSecretServiceStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_nowhere.isValid());
        // Whatever bus this test was started on, the program's own session bus is nowhere here.
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(m_nowhere.filePath(u"no-bus"_s)));
    }

    void init()
    {
        m_state = std::make_unique<QTemporaryDir>();
        QVERIFY(m_state->isValid());
    }

    void writeThenReadBack_data()
    {
        QTest::addColumn<SecretKey>("key");
        QTest::addColumn<QString>("secret");
        QTest::newRow("plain password") << Mailbox << u"hunter2"_s;
        QTest::newRow("Thai user, Thai password with spaces and a colon")
            << SecretKey{u"pop.example.co.th"_s, u"สมชาย"_s, SecretKind::Password}
            << u"รหัส ผ่าน: ๑๒๓"_s;
        QTest::newRow("OAuth2 refresh token")
            << SecretKey{Mailbox.server, Mailbox.user, SecretKind::OAuth2Refresh}
            << u"1//0gLongRefreshToken-_~."_s;
    }
    void writeThenReadBack()
    {
        QFETCH(SecretKey, key);
        QFETCH(QString, secret);
        KeyringSandbox sandbox(m_state->path());
        QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
        SecretServiceStore store(sandbox.connection());
        const SecretResult written = answerTo(store, store.write(key, secret));
        QCOMPARE(written.status, SecretResult::Status::Done);
        // Written again: replaced, not doubled.
        QCOMPARE(answerTo(store, store.write(key, secret)).status, SecretResult::Status::Done);
        const SecretResult read = answerTo(store, store.read(key));
        QVERIFY2(read.status == SecretResult::Status::Found, qPrintable(describe(read)));
        QCOMPARE(read.value, secret);
        // The other kind of the same mailbox is a separate secret.
        SecretKey other = key;
        other.kind =
            key.kind == SecretKind::Password ? SecretKind::OAuth2Refresh : SecretKind::Password;
        QCOMPARE(answerTo(store, store.read(other)).status, SecretResult::Status::NotStored);
    }

    // Another client finds the item by its attributes and reads the same secret: libsecret's
    // secret-tool, as a keyring manager or a script of the user's would.
    void anotherClientSeesTheItem()
    {
        KeyringSandbox sandbox(m_state->path());
        QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
        SecretServiceStore store(sandbox.connection());
        QCOMPARE(answerTo(store, store.write(Mailbox, u"hunter2"_s)).status,
                 SecretResult::Status::Done);
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, sandbox.address());
        tool.setProcessEnvironment(environment);
        tool.start(u"secret-tool"_s, {u"search"_s, u"--all"_s, u"--unlock"_s, u"application"_s,
                                      u"larkspur"_s, u"server"_s, Mailbox.server, u"user"_s,
                                      Mailbox.user, u"kind"_s, u"password"_s});
        QVERIFY(tool.waitForFinished(20'000));
        const QString found =
            QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
        QVERIFY2(found.contains(u"label = Larkspur: somchai@pop.example.com"_s), qPrintable(found));
        QVERIFY2(found.contains(u"secret = hunter2"_s), qPrintable(found));
    }

    void readAfterTheDaemonRestarted()
    {
        {
            KeyringSandbox sandbox(m_state->path());
            QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
            SecretServiceStore store(sandbox.connection());
            QCOMPARE(answerTo(store, store.write(Mailbox, u"hunter2"_s)).status,
                     SecretResult::Status::Done);
        }
        KeyringSandbox sandbox(m_state->path());
        QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
        SecretServiceStore store(sandbox.connection());
        const SecretResult read = answerTo(store, store.read(Mailbox));
        QVERIFY2(read.status == SecretResult::Status::Found, qPrintable(describe(read)));
        QCOMPARE(read.value, u"hunter2"_s);
    }

    void removeThenNotStored()
    {
        KeyringSandbox sandbox(m_state->path());
        QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
        SecretServiceStore store(sandbox.connection());
        QCOMPARE(answerTo(store, store.write(Mailbox, u"hunter2"_s)).status,
                 SecretResult::Status::Done);
        QCOMPARE(answerTo(store, store.remove(Mailbox)).status, SecretResult::Status::Done);
        QCOMPARE(answerTo(store, store.read(Mailbox)).status, SecretResult::Status::NotStored);
        // Removing what is not there is done as well.
        QCOMPARE(answerTo(store, store.remove(Mailbox)).status, SecretResult::Status::Done);
    }

    // A keyring in each state a user's can be in, and what each request hears.
    void keyringStates_data()
    {
        QTest::addColumn<QStringList>("options"); // of keyring-sandbox
        QTest::addColumn<bool>("storedBefore");   // written in an earlier, unlocked run
        QTest::addColumn<QString>("prompter");    // "", "cancel" or "password"
        QTest::addColumn<SecretStore::Request>("request");
        QTest::addColumn<SecretResult::Status>("status");
        QTest::addColumn<SecretProblem>("problem");

        using R = SecretStore::Request;
        using S = SecretResult::Status;
        using P = SecretProblem;
        const QStringList locked{u"--locked"_s};
        QTest::newRow("open keyring without it: not stored")
            << QStringList() << false << QString() << R::Read << S::NotStored << P::Failed;
        QTest::newRow("locked keyring holding it, no prompter: Locked, not 'not stored'")
            << locked << true << QString() << R::Read << S::Problem << P::Locked;
        QTest::newRow("locked keyring without it, no prompter: Locked, not 'not stored'")
            << locked << false << QString() << R::Read << S::Problem << P::Locked;
        QTest::newRow("locked keyring, unlock prompt dismissed: Refused")
            << locked << true << u"cancel"_s << R::Read << S::Problem << P::Refused;
        QTest::newRow("locked keyring, password typed at the prompt: found")
            << locked << true << u"password"_s << R::Read << S::Found << P::Failed;
        QTest::newRow("writing into a locked keyring, no prompter: Locked")
            << locked << false << QString() << R::Write << S::Problem << P::Locked;
        QTest::newRow("writing into a locked keyring, password typed: done")
            << locked << false << u"password"_s << R::Write << S::Done << P::Failed;
        QTest::newRow("removing from a locked keyring, prompt dismissed: Refused")
            << locked << true << u"cancel"_s << R::Remove << S::Problem << P::Refused;
        QTest::newRow("writing with no keyring made yet: NoService")
            << QStringList{u"--no-keyring"_s} << false << QString() << R::Write << S::Problem
            << P::NoService;
        QTest::newRow("no Secret Service on the bus: NoService")
            << QStringList{u"--no-service"_s} << false << QString() << R::Read << S::Problem
            << P::NoService;
        QTest::newRow("writing with no Secret Service on the bus: NoService")
            << QStringList{u"--no-service"_s} << false << QString() << R::Write << S::Problem
            << P::NoService;
    }
    void keyringStates()
    {
        QFETCH(QStringList, options);
        QFETCH(bool, storedBefore);
        QFETCH(QString, prompter);
        QFETCH(SecretStore::Request, request);
        QFETCH(SecretResult::Status, status);
        QFETCH(SecretProblem, problem);

        if (storedBefore) {
            KeyringSandbox sandbox(m_state->path());
            QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
            SecretServiceStore store(sandbox.connection());
            QCOMPARE(answerTo(store, store.write(Mailbox, u"hunter2"_s)).status,
                     SecretResult::Status::Done);
        }
        KeyringSandbox sandbox(m_state->path(), options);
        QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
        if (!prompter.isEmpty()) {
            QVERIFY2(sandbox.startPrompter(prompter), qPrintable(sandbox.error()));
        }
        SecretServiceStore store(sandbox.connection());
        SecretStore::RequestId id = 0;
        switch (request) {
        case SecretStore::Request::Read:
            id = store.read(Mailbox);
            break;
        case SecretStore::Request::Write:
            id = store.write(Mailbox, u"hunter2"_s);
            break;
        case SecretStore::Request::Remove:
            id = store.remove(Mailbox);
            break;
        }
        const SecretResult result = answerTo(store, id);
        QVERIFY2(result.status == status, qPrintable(describe(result)));
        if (status == SecretResult::Status::Problem) {
            QVERIFY2(result.problem == problem, qPrintable(describe(result)));
            QVERIFY2(!result.reason.isEmpty(), "a problem comes with the English reason");
        }
        if (status == SecretResult::Status::Found) {
            QCOMPARE(result.value, u"hunter2"_s);
        }
    }

    // The program's own session bus, when DBUS_SESSION_BUS_ADDRESS leads nowhere.
    void noSessionBus()
    {
        SecretServiceStore store(QDBusConnection::sessionBus());
        QSignalSpy spy(&store, &SecretStore::finished);
        const SecretStore::RequestId id = store.read(Mailbox);
        QCOMPARE(spy.size(), 0); // answered later, from the loop, as always
        const SecretResult result = answerTo(store, id);
        QVERIFY2(result.status == SecretResult::Status::Problem &&
                     result.problem == SecretProblem::NoBus,
                 qPrintable(describe(result)));
        QVERIFY2(!result.reason.isEmpty(), "a problem comes with the English reason");
    }

private:
    QTemporaryDir m_nowhere;
    std::unique_ptr<QTemporaryDir> m_state;
};

QTEST_GUILESS_MAIN(TestSecretServiceStore)
#include "tst_secretservicestore.moc"
