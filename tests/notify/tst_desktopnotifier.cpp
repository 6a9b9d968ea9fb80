#include "notify/DesktopNotifier.h"
#include "support/FakeNotificationServer.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

const QString Service = FakeNotificationServer::Service;
const QString Path = FakeNotificationServer::Path;

} // namespace

// The desktop notification over a private session bus, against a fake notification server.
class tst_DesktopNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void arrives_data();
    void arrives();
    void replacesItsOwnNotification();
    void clickOpensWindow_data();
    void clickOpensWindow();
    void failsWithALine_data();
    void failsWithALine();

private:
    PrivateSessionBus m_bus;
    QDBusConnection m_client{u"client"_s};
    QDBusConnection m_server{u"server"_s};
    FakeNotificationServer m_fake;
};

void tst_DesktopNotifier::initTestCase()
{
    QVERIFY2(m_bus.start(), qPrintable(m_bus.error()));
    m_client = QDBusConnection::connectToBus(m_bus.address(), u"client"_s);
    m_server = QDBusConnection::connectToBus(m_bus.address(), u"server"_s);
    QVERIFY(m_client.isConnected() && m_server.isConnected());
    QVERIFY(m_server.registerObject(Path, &m_fake, QDBusConnection::ExportAllSlots));
}

void tst_DesktopNotifier::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(u"client"_s);
    QDBusConnection::disconnectFromBus(u"server"_s);
    m_bus.stop();
}

void tst_DesktopNotifier::init()
{
    m_fake.capabilities = QStringList{u"actions"_s, u"body"_s, u"body-markup"_s};
    m_fake.refuseNotify = false;
    m_fake.calls.clear();
    if (!m_server.interface()->isServiceRegistered(Service))
        QVERIFY(m_server.registerService(Service));
}

void tst_DesktopNotifier::arrives_data()
{
    QTest::addColumn<bool>("listsCapabilities");
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("expectedSummary");
    QTest::addColumn<QString>("expectedBody");

    const QStringList markup{u"actions"_s, u"body"_s, u"body-markup"_s};
    const QStringList plain{u"actions"_s, u"body"_s};
    const QStringList risky{u"R&D <rd@example.com>"_s, u"a > b"_s};
    const QString escaped = u"R&amp;D &lt;rd@example.com&gt;\na &gt; b"_s;
    QTest::newRow("Thai summary and body arrive intact")
        << true << markup << u"จดหมายใหม่ 2 ฉบับ"_s
        << QStringList{u"สมศรี: นัดประชุมวันจันทร์"_s,
                       u"ฝ่ายบัญชี: ใบแจ้งหนี้ 🧾"_s}
        << u"จดหมายใหม่ 2 ฉบับ"_s
        << u"สมศรี: นัดประชุมวันจันทร์\nฝ่ายบัญชี: ใบแจ้งหนี้ 🧾"_s;
    QTest::newRow("markup escaped for a server that parses it")
        << true << markup << u"s"_s << risky << u"s"_s << escaped;
    QTest::newRow("markup escaped for a server that cannot list what it does")
        << false << QStringList() << u"s"_s << risky << u"s"_s << escaped;
    QTest::newRow("markup sent as typed to a plain-text server")
        << true << plain << u"s"_s << risky << u"s"_s << risky.join(u'\n');
    QTest::newRow("control characters become spaces")
        << true << markup << u"จดหมาย\nใหม่"_s
        << QStringList{u"สวัสดี\r\nBcc:\tx\u0000y\u2028z\u0007"_s} << u"จดหมาย ใหม่"_s
        << u"สวัสดี Bcc: x y z"_s;

    QStringList many;
    for (int i = 1; i <= 12; ++i)
        many << u"ข้อความ %1"_s.arg(i);
    QTest::newRow("past ten lines, the rest is counted")
        << true << markup << u"s"_s << many << u"s"_s
        << QStringList(many.first(10)).join(u'\n') + u"\nและอีก 2 ฉบับ"_s;
    QTest::newRow("a huge line is cut with an ellipsis")
        << true << markup << u"s"_s << QStringList{QString(100'000, u'ก')} << u"s"_s
        << QString(DesktopNotifier::MaxLineLength - 1, u'ก') + u'\u2026';
}

void tst_DesktopNotifier::arrives()
{
    QFETCH(bool, listsCapabilities);
    QFETCH(QStringList, capabilities);
    QFETCH(QString, summary);
    QFETCH(QStringList, lines);
    m_fake.capabilities = listsCapabilities ? std::optional(capabilities) : std::nullopt;
    DesktopNotifier notifier(m_client);
    QSignalSpy failed(&notifier, &DesktopNotifier::failed);

    notifier.notify(summary, lines);
    QTRY_COMPARE_WITH_TIMEOUT(m_fake.calls.size() + failed.size(), 1, 10'000);
    QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
    const NotifyCall call = m_fake.calls.first();
    QTEST(call.summary, "expectedSummary");
    QTEST(call.body, "expectedBody");

    QCOMPARE(call.appName, u"larkspur"_s);
    QCOMPARE(call.appIcon, u"larkspur"_s);
    QCOMPARE(call.replacesId, 0u);
    QCOMPARE(call.actions, (QStringList{u"default"_s, u"เปิดหน้าต่าง"_s}));
    QCOMPARE(call.expireTimeout, -1);
    // The types are the bus's: a server reads urgency as a BYTE and nothing else.
    const QVariant urgency = call.hints.value(u"urgency"_s);
    QCOMPARE(urgency.metaType(), QMetaType::fromType<uchar>());
    QCOMPARE(urgency.value<uchar>(), 1);
    QCOMPARE(call.hints.value(u"category"_s), QVariant(u"email.arrived"_s));
    QCOMPARE(call.hints.value(u"desktop-entry"_s), QVariant(u"io.github.larkspur.Larkspur"_s));
    QCOMPARE(call.hints.value(u"suppress-sound"_s), QVariant(true));
}

void tst_DesktopNotifier::replacesItsOwnNotification()
{
    DesktopNotifier notifier(m_client);
    // Asked for while the first is on its way: the second is passed over for the third.
    notifier.notify(u"1"_s, {});
    notifier.notify(u"2"_s, {});
    notifier.notify(u"3"_s, {});
    QTRY_COMPARE_WITH_TIMEOUT(m_fake.calls.size(), 2, 10'000);
    QCOMPARE(m_fake.calls.at(0).replacesId, 0u);
    QCOMPARE(m_fake.calls.at(1).summary, u"3"_s);
    QCOMPARE(m_fake.calls.at(1).replacesId, m_fake.calls.at(0).givenId);
}

void tst_DesktopNotifier::clickOpensWindow_data()
{
    QTest::addColumn<uint>("idOffset");
    QTest::addColumn<bool>("fromServer");
    QTest::addColumn<int>("expectedActivations");

    QTest::newRow("a click on our notification") << 0u << true << 1;
    QTest::newRow("a click on another program's notification") << 1u << true << 0;
    QTest::newRow("our id from another sender") << 0u << false << 0;
}

void tst_DesktopNotifier::clickOpensWindow()
{
    QFETCH(uint, idOffset);
    QFETCH(bool, fromServer);
    DesktopNotifier notifier(m_client);
    QSignalSpy activated(&notifier, &DesktopNotifier::activated);
    notifier.notify(u"จดหมายใหม่"_s, {u"สมศรี: สวัสดี"_s});
    QTRY_COMPARE_WITH_TIMEOUT(m_fake.calls.size(), 1, 10'000);

    QDBusConnection sender =
        fromServer ? m_server : QDBusConnection::connectToBus(m_bus.address(), u"other"_s);
    // As GNOME sends it: to the program that asked for the notification alone.
    QDBusMessage click = QDBusMessage::createTargetedSignal(m_client.baseService(), Path, Service,
                                                            u"ActionInvoked"_s);
    click << m_fake.calls.first().givenId + idOffset << u"default"_s;
    QVERIFY(sender.send(click));
    QVERIFY(roundTrip(sender, m_client));
    QTEST(static_cast<int>(activated.size()), "expectedActivations");
    QDBusConnection::disconnectFromBus(u"other"_s);
}

void tst_DesktopNotifier::failsWithALine_data()
{
    QTest::addColumn<bool>("busUp");
    QTest::addColumn<bool>("serviceUp");

    QTest::newRow("no bus at all") << false << false;
    QTest::newRow("no notification service on the bus") << true << false;
    QTest::newRow("the service refuses the notification") << true << true;
}

void tst_DesktopNotifier::failsWithALine()
{
    QFETCH(bool, busUp);
    QFETCH(bool, serviceUp);
    if (!serviceUp)
        QVERIFY(m_server.unregisterService(Service));
    m_fake.refuseNotify = true;
    const QDBusConnection bus =
        busUp ? m_client
              : QDBusConnection::connectToBus(u"unix:path="_s + m_bus.folder() + u"/none"_s,
                                              u"none"_s);
    DesktopNotifier notifier(bus);
    QSignalSpy failed(&notifier, &DesktopNotifier::failed);

    notifier.notify(u"จดหมายใหม่"_s, {u"สมศรี: สวัสดี"_s});
    QVERIFY(failed.wait(15'000));
    const QString line = failed.first().first().toString();
    const QString thai = u"แสดงการแจ้งเตือนบนเดสก์ท็อปไม่ได้ : "_s;
    QVERIFY2(line.startsWith(thai) && line.size() > thai.size(), qPrintable(line));
    QDBusConnection::disconnectFromBus(u"none"_s);
}

QTEST_GUILESS_MAIN(tst_DesktopNotifier)
#include "tst_desktopnotifier.moc"
