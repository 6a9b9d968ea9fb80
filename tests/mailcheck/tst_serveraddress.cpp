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
    void protocol_data();
    void protocol();
    void loopback_data();
    void loopback();
    void webAddress_data();
    void webAddress();
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

void TestServerAddress::protocol_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port"); // 0: none given
    QTest::addColumn<bool>("imap");
    QTest::addColumn<bool>("tlsAtOnce");
    QTest::addColumn<bool>("invalid");

    QTest::newRow("imaps:// with a port of its own")
        << u"imaps://mail.example.org:10993"_s << u"mail.example.org"_s << 10993 << true << true
        << false;
    QTest::newRow("IMAP:// in capitals, with the slash of a URL")
        << u"IMAP://mail.example.org/"_s << u"mail.example.org"_s << 0 << true << false << false;
    QTest::newRow("pop3s:// before [IPv6]")
        << u"pop3s://[::1]"_s << u"::1"_s << 0 << false << true << false;
    QTest::newRow("pop3:// keeps POP3 even on 143")
        << u"pop3://mail.example.org:143"_s << u"mail.example.org"_s << 143 << false << false
        << false;
    QTest::newRow("no scheme, 993: IMAP")
        << u"mail.example.org:993"_s << u"mail.example.org"_s << 993 << true << false << false;
    QTest::newRow("no scheme, 143: IMAP")
        << u"192.0.2.7:143"_s << u"192.0.2.7"_s << 143 << true << false << false;
    QTest::newRow("no scheme, 995: POP3 as always")
        << u"mail.example.org:995"_s << u"mail.example.org"_s << 995 << false << false << false;
    QTest::newRow("a scheme and no port that is one")
        << u"imap://mail.example.org:0"_s << u"mail.example.org"_s << 0 << true << false << true;
}

void TestServerAddress::protocol()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, imap);
    QFETCH(bool, tlsAtOnce);
    QFETCH(bool, invalid);

    const ServerAddress address = parseServerAddress(text);
    QCOMPARE(address.host, host);
    QCOMPARE(address.port.value_or(0), port);
    QCOMPARE(address.protocol == MailProtocol::Imap, imap);
    QCOMPARE(address.tlsAtOnce, tlsAtOnce);
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

void TestServerAddress::webAddress_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("address");
    QTest::newRow("a server as typed, port and blanks and all")
        << u" pop.example.org:995"_s << u"http:// pop.example.org:995"_s;
    QTest::newRow("a mail scheme gives way to the host")
        << u"imaps://imap.example.org:993/"_s << u"http://imap.example.org"_s;
    QTest::newRow("an IPv6 host in brackets") << u"IMAP://[::1]:143"_s << u"http://[::1]"_s;
}

void TestServerAddress::webAddress()
{
    QFETCH(QString, server);
    QFETCH(QString, address);
    QCOMPARE(webAddressFor(server), address);
}

QTEST_GUILESS_MAIN(TestServerAddress)
#include "tst_serveraddress.moc"
