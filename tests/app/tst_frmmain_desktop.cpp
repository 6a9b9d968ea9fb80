// The window with the desktop's services over D-Bus: the remembered password in a real GNOME
// Keyring (tests/support/keyring-sandbox), and new mail told to a notification server on a
// private bus. The mail server is a FakeSocket fed line by line.
#include "FakeSocket.h"
#include "WindowServices.h"
#include "app/FrmMain.h"
#include "notify/DesktopNotifier.h"
#include "notify/PopUp.h"
#include "notify/PopUpHost.h"
#include "signin/SecretServiceStore.h"
#include "support/FakeNotificationServer.h"
#include "support/KeyringSandbox.h"
#include "support/PrivateSessionBus.h"
#include "wording/Wording.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;

namespace
{

QByteArray scrambled(const QByteArray &plain)
{
    QByteArray out;
    for (char c : plain)
        out.append(char(255 - static_cast<unsigned char>(c)));
    return out;
}

const SecretKey Mailbox{u"mail.example"_s, u"somchai"_s, SecretKind::Password};

// The answer of `store` to `request`: for a read the password, "" when it holds none; else
// "done", or the problem.
QString answer(SecretStore &store, const std::function<SecretStore::RequestId()> &request)
{
    QSignalSpy finished(&store, &SecretStore::finished);
    const SecretStore::RequestId id = request();
    std::optional<SecretResult> result;
    const auto answered = [&] {
        for (const QList<QVariant> &each : std::as_const(finished))
            if (each.at(0).value<SecretStore::RequestId>() == id)
                result = each.at(2).value<SecretResult>();
        return result.has_value();
    };
    if (!QTest::qWaitFor(answered, 20'000))
        return u"(no answer)"_s;
    if (result->status == SecretResult::Status::Problem)
        return u"(problem) "_s + result->reason;
    return result->status == SecretResult::Status::Done ? u"done"_s : result->value;
}

} // namespace

class TestFrmMainDesktop : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    QTemporaryDir nowhere;
    RecordingServices fakes;
    std::unique_ptr<FakeSocket> socket;

    QByteArray settingsBytes() const
    {
        QFile file(folder.filePath(u"Settings.inf"_s));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The password Settings.inf holds, unscrambled; empty without one.
    QByteArray filePassword() const
    {
        for (const QByteArray &line : settingsBytes().split('\n'))
            if (line.startsWith("loginpass="))
                return scrambled(line.mid(10).chopped(1));
        return {};
    }
    void writeSettings(const QByteArray &bytes)
    {
        QFile file(folder.filePath(u"Settings.inf"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    std::unique_ptr<FrmMain> started(SecretStore *keyring, DesktopNotifier *notifier = nullptr,
                                     bool notifyAlways = false)
    {
        socket = std::make_unique<FakeSocket>();
        FrmMainServices services = fakes.forFolder(folder.path());
        services.socket = socket.get();
        services.secretStore = keyring;
        services.notifier = notifier;
        services.notifyAlways = notifyAlways;
        services.useTray = true;
        services.trayAvailable = [] { return true; };
        auto form = std::make_unique<FrmMain>(services);
        form->Form_Load();
        return form;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid() && nowhere.isValid());
        // Whatever bus this test was started on, nothing here reaches it.
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(nowhere.filePath(u"no-bus"_s)));
    }

    void rememberedPassword_data()
    {
        QTest::addColumn<QString>("keyring");       // unlocked, locked or "no bus"
        QTest::addColumn<QString>("keyringBefore"); // stored by an earlier run
        QTest::addColumn<QByteArray>("fileBefore"); // scrambled in Settings.inf
        QTest::addColumn<QString>("typed");         // typed after the start-up, then checked
        QTest::addColumn<QString>("passReply");     // the server's answer to PASS
        QTest::addColumn<bool>("untick");           // chkMemPass unticked at the end
        QTest::addColumn<bool>("checkedAtStart");   // with the password in the box
        QTest::addColumn<QByteArray>("fileAfter");  // the password Settings.inf holds
        QTest::addColumn<QString>("keyringAfter");  // read back from the keyring
        QTest::addColumn<QString>("line");          // the one keyring line; empty: none

        const QString unlocked = u"unlocked"_s;
        QTest::newRow("the file's password moves to the keyring once the server took it")
            << unlocked << QString() << QByteArray("pw") << QString() << u"+OK"_s << false << true
            << QByteArray() << u"pw"_s << QString();
        QTest::newRow("a refused password stays in the file, the keyring untouched")
            << unlocked << QString() << QByteArray("pw") << QString() << u"-ERR"_s << false << true
            << QByteArray("pw") << QString() << QString();
        QTest::newRow("nothing in the keyring: typed, then kept there once the server took it")
            << unlocked << QString() << QByteArray() << u"pw"_s << u"+OK"_s << false << false
            << QByteArray() << u"pw"_s << QString();
        QTest::newRow("a restart reads it back and checks at once")
            << unlocked << u"pw"_s << QByteArray() << QString() << QString() << false << true
            << QByteArray() << u"pw"_s << QString();
        QTest::newRow("untick: gone from the keyring and the file")
            << unlocked << u"pw"_s << QByteArray() << QString() << QString() << true << true
            << QByteArray() << QString() << QString();
        QTest::newRow("no bus: one line naming it, the password stays scrambled")
            << u"no bus"_s << QString() << QByteArray("pw") << QString() << u"+OK"_s << false
            << true << QByteArray("pw") << QString() << Wording::keyringNoBus(QString());
        QTest::newRow("a locked keyring is named, not taken for an empty one")
            << u"locked"_s << u"pw"_s << QByteArray() << QString() << QString() << false << false
            << QByteArray() << QString() << Wording::keyringLocked(QString());
    }
    void rememberedPassword()
    {
        QFETCH(QString, keyring);
        QFETCH(QString, keyringBefore);
        QFETCH(QByteArray, fileBefore);
        QFETCH(QString, typed);
        QFETCH(QString, passReply);
        QFETCH(bool, untick);
        QFETCH(bool, checkedAtStart);
        QFETCH(QByteArray, fileAfter);
        QFETCH(QString, keyringAfter);
        QFETCH(QString, line);

        QTemporaryDir state;
        if (!keyringBefore.isEmpty()) {
            KeyringSandbox earlier(state.path());
            QVERIFY2(earlier.start(), qPrintable(earlier.error()));
            SecretServiceStore store(earlier.connection());
            QCOMPARE(answer(store, [&] { return store.write(Mailbox, keyringBefore); }), u"done"_s);
        }
        KeyringSandbox sandbox(state.path(),
                               keyring == u"locked"_s ? QStringList{u"--locked"_s} : QStringList());
        QDBusConnection bus = QDBusConnection::connectToBus(
            u"unix:path="_s + nowhere.filePath(u"no-bus"_s), u"no-bus"_s);
        if (keyring != u"no bus"_s) {
            QVERIFY2(sandbox.start(), qPrintable(sandbox.error()));
            bus = sandbox.connection();
        }
        SecretServiceStore store(bus);
        writeSettings(
            "[settings]\r\nPOP3MailServer=mail.example\r\nloginname=somchai\r\n"
            "mempass=1\r\n" +
            (fileBefore.isEmpty() ? QByteArray() : "loginpass=" + scrambled(fileBefore) + "\r\n") +
            "checkeverymin=15\r\nsecurity=none\r\n");

        auto form = started(&store);
        QTRY_VERIFY_WITH_TIMEOUT(form->isVisible() || !socket->connects.isEmpty(), 20'000);
        QCOMPARE(socket->connects.size(), checkedAtStart ? 1 : 0);
        QCOMPARE(form->isVisible(), !checkedAtStart);
        QCOMPARE(form->txtPassword->text(),
                 checkedAtStart ? QString::fromUtf8(fileBefore) + keyringBefore : QString());
        if (!typed.isEmpty()) {
            form->txtPassword->setText(typed);
            form->cmdCheckNow_Click();
        }
        if (!passReply.isEmpty()) {
            for (const QString &reply : {u"+OK ready"_s, u"+OK"_s, passReply})
                socket->arrive(reply + u"\r\n"_s);
        }
        if (untick)
            form->chkMemPass->setValue(0);
        // Whatever is saved from now on keeps the password where it lives.
        form->SaveSettings();

        if (keyring == u"unlocked"_s) {
            SecretServiceStore reader(sandbox.connection());
            QTRY_COMPARE_WITH_TIMEOUT(answer(reader, [&] { return reader.read(Mailbox); }),
                                      keyringAfter, 20'000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(filePassword(), fileAfter, 20'000);
        QCOMPARE(settingsBytes().contains("mempass=1\r\n"), !untick);
        const QString log = form->txtStatus->Text();
        if (line.isEmpty())
            QVERIFY2(!log.contains(u"(keyring)"_s), qPrintable(log));
        else
            QTRY_VERIFY2_WITH_TIMEOUT(form->txtStatus->Text().count(line) == 1,
                                      qPrintable(form->txtStatus->Text()), 20'000);
        form.reset();
        QDBusConnection::disconnectFromBus(u"no-bus"_s);
    }

    void newMailNotification_data()
    {
        QTest::addColumn<bool>("ticked");       // chkDesktopNotify
        QTest::addColumn<bool>("notifyAlways"); // the popup cannot be placed (Wayland)
        QTest::newRow("ticked: the popup's first line, a line per message") << true << false;
        QTest::newRow("not ticked: none") << false << false;
        QTest::newRow("not ticked, but the popup cannot be placed: one") << false << true;
    }
    void newMailNotification()
    {
        QFETCH(bool, ticked);
        QFETCH(bool, notifyAlways);
        PrivateSessionBus bus;
        QVERIFY2(bus.start(), qPrintable(bus.error()));
        // Named for the row: a name lives on as long as anything holds its connection.
        const QString clientName = u"client "_s + QString::fromUtf8(QTest::currentDataTag());
        const QString serverName = u"server "_s + QString::fromUtf8(QTest::currentDataTag());
        QDBusConnection client = QDBusConnection::connectToBus(bus.address(), clientName);
        QDBusConnection server = QDBusConnection::connectToBus(bus.address(), serverName);
        FakeNotificationServer fake;
        fake.capabilities = QStringList{u"actions"_s, u"body"_s};
        QVERIFY(server.registerObject(FakeNotificationServer::Path, &fake,
                                      QDBusConnection::ExportAllSlots));
        QVERIFY(server.registerService(FakeNotificationServer::Service));
        DesktopNotifier notifier(client);
        writeSettings("[settings]\r\nPOP3MailServer=mail.example\r\nloginname=somchai\r\n"
                      "mempass=1\r\nloginpass=" +
                      scrambled("pw") + "\r\ncheckeverymin=15\r\ntotaloldemail=1\r\n" +
                      "security=none\r\n" + (ticked ? "desktopnotify=1\r\n" : ""));

        auto form = started(nullptr, &notifier, notifyAlways);
        // Three messages, one of them old; the server has no UIDL, but TOP.
        for (const QString &line :
             {u"+OK ready"_s, u"+OK"_s, u"+OK logged in"_s, u"+OK 3 12345"_s, u"-ERR"_s, u"-ERR"_s,
              u"+OK"_s, u"From: =?UTF-8?B?4Liq4Lih4Lio4Lij4Li1?= <somsri@example.com>"_s,
              u"Subject: meeting"_s, u"."_s, u"+OK"_s, u"From: bank@example.com"_s,
              u"Subject: statement"_s, u"."_s})
            socket->arrive(line + u"\r\n"_s);
        QTRY_VERIFY(form->popUp().window() && form->popUp().window()->isVisible());
        if (!ticked && !notifyAlways) {
            // Anything the notifier had sent would have reached the server by now.
            QVERIFY(roundTrip(client, server));
            QCOMPARE(fake.capabilitiesAsked + fake.calls.size(), 0);
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(fake.calls.size(), 1, 10'000);
            const NotifyCall call = fake.calls.first();
            QCOMPARE(call.summary,
                     form->popUp().window()->findChild<QLabel *>(u"Mail"_s)->text().trimmed());
            QCOMPARE(call.body, u"สมศรี: meeting\nbank@example.com: statement"_s);
            // A click on it shows the window, hidden since the start-up's check.
            QVERIFY(!form->isVisible());
            QDBusMessage click = QDBusMessage::createTargetedSignal(
                client.baseService(), FakeNotificationServer::Path, FakeNotificationServer::Service,
                u"ActionInvoked"_s);
            click << call.givenId << u"default"_s;
            QVERIFY(server.send(click));
            QTRY_VERIFY_WITH_TIMEOUT(form->isVisible(), 10'000);
        }
        form.reset();
        QDBusConnection::disconnectFromBus(clientName);
        QDBusConnection::disconnectFromBus(serverName);
    }
};

QTEST_MAIN(TestFrmMainDesktop)
#include "tst_frmmain_desktop.moc"
