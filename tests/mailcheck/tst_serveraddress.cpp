// Where txtPOP3Server points, and which servers count as this machine's own.
#include "mailcheck/ServerAddress.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestServerAddress : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void loopback_data();
    void loopback();
};

void TestServerAddress::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port"); // 0: none given
    QTest::addColumn<bool>("invalid");

    QTest::newRow("host name") << u"pop.example.com"_s << u"pop.example.com"_s << 0 << false;
    QTest::newRow("host:port") << u"pop.example.com:995"_s << u"pop.example.com"_s << 995 << false;
    QTest::newRow("IPv4:port") << u"192.0.2.7:110"_s << u"192.0.2.7"_s << 110 << false;
    QTest::newRow("bare IPv6 keeps its colons")
        << u"2001:db8::7"_s << u"2001:db8::7"_s << 0 << false;
    QTest::newRow("[IPv6]:port") << u"[2001:db8::7]:995"_s << u"2001:db8::7"_s << 995 << false;
    QTest::newRow("[IPv6] alone") << u"[::1]"_s << u"::1"_s << 0 << false;
    QTest::newRow("blanks are kept for the lookup to refuse")
        << u" pop "_s << u" pop "_s << 0 << false;
    QTest::newRow("port 0") << u"pop:0"_s << u"pop"_s << 0 << true;
    QTest::newRow("port past 65535") << u"pop:65536"_s << u"pop"_s << 0 << true;
    QTest::newRow("a name after the colon") << u"pop:pop3s"_s << u"pop"_s << 0 << true;
    QTest::newRow("[IPv6] with a bad port") << u"[::1]:x"_s << u"::1"_s << 0 << true;
    QTest::newRow("brackets around no IPv6 address")
        << u"[pop]:995"_s << u"[pop]:995"_s << 0 << false;
}

void TestServerAddress::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, invalid);

    const ServerAddress address = parseServerAddress(text);
    QCOMPARE(address.host, host);
    QCOMPARE(address.port.value_or(0), port);
    QCOMPARE(!address.invalidPort.isEmpty(), invalid);
}

void TestServerAddress::loopback_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("localhost, any case") << u"LocalHost"_s << true;
    QTest::newRow("127.0.0.1") << u"127.0.0.1"_s << true;
    QTest::newRow("elsewhere in 127/8") << u"127.1.2.3"_s << true;
    QTest::newRow("::1") << u"::1"_s << true;
    QTest::newRow("a LAN address") << u"192.168.1.10"_s << false;
    QTest::newRow("a name that merely starts like it") << u"localhost.example.com"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestServerAddress::loopback()
{
    QFETCH(QString, host);
    QFETCH(bool, loopback);
    QCOMPARE(isLoopbackHost(host), loopback);
}

QTEST_GUILESS_MAIN(TestServerAddress)
#include "tst_serveraddress.moc"
