// Winsock1 against scripted servers on loopback: framing, bounds, time-outs, failures, addresses.
#include "ScriptedServer.h"
#include "mailcheck/Winsock1.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace
{

// What a handler of the control sees: each DataArrival's line as GetData gives it, and the errors.
struct Recorder {
    QStringList lines;
    QList<qint32> sizes;
    QList<qint16> errorNumbers;
    QStringList errorTexts;
    bool secondReadEmpty = true;
    int depth = 0;
    int maxDepth = 0;
    std::function<void(const QString &)> onLine;

    explicit Recorder(Winsock1 &socket)
    {
        QObject::connect(&socket, &TcpControl::DataArrival, &socket, [this, &socket](qint32 size) {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            const QString line = socket.GetData();
            secondReadEmpty = secondReadEmpty && socket.GetData().isEmpty();
            lines << line;
            sizes << size;
            if (onLine)
                onLine(line);
            --depth;
        });
        QObject::connect(&socket, &TcpControl::Error, &socket,
                         [this](qint16 number, const QString &text) {
                             errorNumbers << number;
                             errorTexts << text;
                         });
    }

    [[nodiscard]] bool waitForLines(qsizetype count, int timeoutMs = 10'000)
    {
        return QTest::qWaitFor([this, count] { return lines.size() >= count; }, timeoutMs);
    }
    [[nodiscard]] bool waitForError(int timeoutMs = 10'000)
    {
        return QTest::qWaitFor([this] { return !errorNumbers.isEmpty(); }, timeoutMs);
    }
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

class TestWinsock1 : public QObject
{
    Q_OBJECT

private slots:
    void greetingSplitInThreeSegments();
    void twoRepliesInOneSegment();
    void noEventInsideAnother();
    void closeDropsWhatIsLeft();
    void lineBounds_data();
    void lineBounds();
    void nulAndInvalidBytes();
    void timeOuts_data();
    void timeOuts();
    void unansweredConnect();
    void noDeadlineWhileNothingIsAwaited();
    void serverGoesAway_data();
    void serverGoesAway();
    void refused();
    void hostNotFound_data();
    void hostNotFound();
    void refusedAtOnce_data();
    void refusedAtOnce();
    void addresses_data();
    void addresses();
    void sendsUtf8();
    void sendWithoutConnection();
    void localPort();
};

void TestWinsock1::greetingSplitInThreeSegments()
{
    ScriptedServer server;
    QVERIFY(server.isListening());
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(server.waitForClient());

    server.send("+OK Dov");
    QTRY_COMPARE(socket.pendingBytes(), 7);
    server.send("ecot re");
    QTRY_COMPARE(socket.pendingBytes(), 14);
    QVERIFY(recorder.lines.isEmpty());
    server.send("ady.\r\n");
    QVERIFY(recorder.waitForLines(1));

    QCOMPARE(recorder.lines, QStringList{u"+OK Dovecot ready.\r\n"_s});
    QCOMPARE(recorder.sizes, QList<qint32>{20});
    QVERIFY(recorder.secondReadEmpty);
    QCOMPARE(socket.pendingBytes(), 0);
}

void TestWinsock1::twoRepliesInOneSegment()
{
    ScriptedServer server;
    server.greeting = "+OK one\r\n+OK two\r\n";
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(recorder.waitForLines(2));
    QCOMPARE(recorder.lines, (QStringList{u"+OK one\r\n"_s, u"+OK two\r\n"_s}));
    QVERIFY(recorder.secondReadEmpty);
}

void TestWinsock1::noEventInsideAnother()
{
    ScriptedServer server;
    server.greeting = "+OK a\r\n+OK b\r\n";
    Winsock1 socket;
    Recorder recorder(socket);
    // The first handler lets events run until more data has reached the control's socket.
    recorder.onLine = [&](const QString &line) {
        if (line != u"+OK a\r\n"_s)
            return;
        auto *inner = socket.findChild<QTcpSocket *>();
        QVERIFY(inner);
        QSignalSpy more(inner, &QTcpSocket::readyRead);
        server.send("+OK c\r\n");
        QVERIFY(more.wait(10'000));
        QCoreApplication::processEvents();
    };
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(recorder.waitForLines(3));
    QCOMPARE(recorder.lines, (QStringList{u"+OK a\r\n"_s, u"+OK b\r\n"_s, u"+OK c\r\n"_s}));
    QCOMPARE(recorder.maxDepth, 1);
}

void TestWinsock1::closeDropsWhatIsLeft()
{
    ScriptedServer server;
    server.greeting = "-ERR one\r\n+OK two\r\n";
    Winsock1 socket;
    Recorder recorder(socket);
    recorder.onLine = [&](const QString &) { socket.Close(); };
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(recorder.waitForLines(1));
    // Both lines came in one read, so the second would have followed in the same turn.
    QCoreApplication::processEvents();
    QCOMPARE(recorder.lines, QStringList{u"-ERR one\r\n"_s});
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(server.waitForClientGone());
    QVERIFY(recorder.errorNumbers.isEmpty());
}

void TestWinsock1::lineBounds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("delivered");

    QTest::newRow("4096 bytes, CR LF included") << QByteArray(4094, 'x') + "\r\n" << true;
    QTest::newRow("4097 bytes") << QByteArray(4095, 'x') + "\r\n" << false;
    QTest::newRow("1 MB without CR LF") << QByteArray(1 << 20, '+') << false;
    QTest::newRow("1 MB with CR LF at the end") << QByteArray(1 << 20, '+') + "\r\n" << false;
    QTest::newRow("a bare LF ends a line too") << QByteArray("+OK\n") << true;
}

void TestWinsock1::lineBounds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, delivered);

    ScriptedServer server;
    server.greeting = bytes;
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));

    if (delivered) {
        QVERIFY(recorder.waitForLines(1));
        QCOMPARE(recorder.lines.first().toUtf8(), bytes);
        QVERIFY(recorder.errorNumbers.isEmpty());
        return;
    }
    QVERIFY(recorder.waitForError());
    QCOMPARE(recorder.errorNumbers, QList<qint16>{Winsock1::MessageTooLong});
    QVERIFY(recorder.errorTexts.first().contains(u"4096"_s));
    QVERIFY(recorder.lines.isEmpty());
    // The control has let go of the connection and of what it held.
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(socket.pendingBytes(), 0);
    QVERIFY(server.waitForClientGone());
}

void TestWinsock1::nulAndInvalidBytes()
{
    ScriptedServer server;
    // NULs, bytes that are never UTF-8, and a Thai character cut short.
    server.greeting = QByteArrayLiteral("+OK \0\0 \xff\xfe \xe0\xb8 end\r\n");
    QCOMPARE(server.greeting.size(), 18);
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(recorder.waitForLines(1));
    QCOMPARE(recorder.lines.first(), u"+OK \uFFFD\uFFFD \uFFFD\uFFFD \uFFFD\uFFFD end\r\n"_s);
    QCOMPARE(recorder.sizes.first(), 18);
}

void TestWinsock1::timeOuts_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<bool>("sendUser");
    QTest::addColumn<bool>("dribble");

    QTest::newRow("no greeting at all") << QByteArray() << false << false;
    QTest::newRow("silence after the greeting") << QByteArray("+OK\r\n") << true << false;
    QTest::newRow("half a greeting") << QByteArray("+OK Dove") << false << false;
    QTest::newRow("a server dribbling a byte at a time") << QByteArray() << false << true;
}

void TestWinsock1::timeOuts()
{
    QFETCH(QByteArray, greeting);
    QFETCH(bool, sendUser);
    QFETCH(bool, dribble);

    ScriptedServer server;
    server.greeting = greeting;
    Winsock1 socket;
    socket.setTimeout(300ms);
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(server.waitForClient());

    QTimer dribbler;
    if (dribble) {
        connect(&dribbler, &QTimer::timeout, &server, [&server] {
            if (server.client())
                server.send("+");
        });
        dribbler.start(20);
    }
    if (sendUser) {
        QVERIFY(recorder.waitForLines(1));
        QVERIFY(socket.SendData(u"USER demo\r\n"_s));
    }

    QVERIFY(recorder.waitForError());
    QCOMPARE(recorder.errorNumbers, QList<qint16>{Winsock1::TimedOut});
    QCOMPARE(
        recorder.errorTexts.first(),
        u"หมดเวลารอคำตอบจากเซิร์ฟเวอร์ : Timed out: the server's reply did not arrive whole within 0.3 seconds"_s);
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(server.waitForClientGone());
    QCOMPARE(recorder.lines.size(), sendUser ? 1 : 0);
}

void TestWinsock1::unansweredConnect()
{
    // A listener whose queue of unaccepted connections is full drops new attempts unanswered.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    const auto closeListener = qScopeGuard([listener] { ::close(listener); });
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const quint16 port = ntohs(address.sin_port);

    QList<QTcpSocket *> fillers;
    const auto dropFillers = qScopeGuard([&fillers] { qDeleteAll(fillers); });
    for (int i = 0; i < 8; ++i) {
        auto *filler = new QTcpSocket;
        fillers << filler;
        filler->connectToHost(QHostAddress::LocalHost, port);
        if (!filler->waitForConnected(500))
            break;
    }
    if (fillers.last()->state() == QAbstractSocket::ConnectedState)
        QSKIP("this network stack answers connections beyond a full listen queue");

    Winsock1 socket;
    socket.setTimeout(300ms);
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, port));
    QVERIFY(recorder.waitForError());
    QCOMPARE(recorder.errorNumbers, QList<qint16>{Winsock1::TimedOut});
    QCOMPARE(recorder.errorTexts.first(),
             u"หมดเวลาเชื่อมต่อ : Connection timed out: no connection within 0.3 seconds"_s);
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
}

void TestWinsock1::noDeadlineWhileNothingIsAwaited()
{
    ScriptedServer server;
    server.greeting = "+OK\r\n";
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(recorder.waitForLines(1));
    socket.setTimeout(100ms);
    // Nothing sent since the greeting: an idle connection is no late reply.
    QSignalSpy errors(&socket, &TcpControl::Error);
    QVERIFY(!errors.wait(1000));
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    // And the next command has its own deadline.
    QVERIFY(socket.SendData(u"NOOP\r\n"_s));
    QVERIFY(recorder.waitForError());
    QCOMPARE(recorder.errorNumbers, QList<qint16>{Winsock1::TimedOut});
}

void TestWinsock1::serverGoesAway_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("sendCommand");
    QTest::addColumn<bool>("hardReset");
    QTest::addColumn<bool>("error");

    QTest::newRow("reset in the middle of a reply")
        << QByteArray("+OK Dov") << false << true << true;
    QTest::newRow("closed in the middle of a reply")
        << QByteArray("+OK Dov") << false << false << true;
    QTest::newRow("closed while a reply is awaited")
        << QByteArray("+OK\r\n") << true << false << true;
    QTest::newRow("reset while a reply is awaited")
        << QByteArray("+OK\r\n") << true << true << true;
    QTest::newRow("closed with nothing awaited")
        << QByteArray("+OK\r\n") << false << false << false;
}

void TestWinsock1::serverGoesAway()
{
    QFETCH(QByteArray, before);
    QFETCH(bool, sendCommand);
    QFETCH(bool, hardReset);
    QFETCH(bool, error);

    ScriptedServer server;
    Winsock1 socket;
    Recorder recorder(socket);
    QSignalSpy closedByPeer(&socket, &TcpControl::closedByPeer);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(server.waitForClient());
    server.send(before);
    if (before.endsWith('\n'))
        QVERIFY(recorder.waitForLines(1));
    else
        QTRY_COMPARE(socket.pendingBytes(), before.size());
    if (sendCommand) {
        QVERIFY(socket.SendData(u"STAT\r\n"_s));
        QVERIFY(server.waitForLines(1));
    }
    if (hardReset)
        server.reset();
    else
        server.close();

    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    if (error) {
        QCOMPARE(recorder.errorNumbers, QList<qint16>{Winsock1::ConnectionReset});
        QCOMPARE(
            recorder.errorTexts.first(),
            u"เซิร์ฟเวอร์ปิดการเชื่อมต่อก่อนตอบครบ : The server closed the connection before its reply was complete"_s);
    } else {
        QVERIFY(recorder.errorNumbers.isEmpty());
    }
    // Either the Error or, with nothing cut short, the plain news that it is gone: never both.
    QCOMPARE(closedByPeer.count(), error ? 0 : 1);
    QCOMPARE(recorder.lines.size(), before.endsWith('\n') ? 1 : 0);
    QVERIFY(!socket.SendData(u"QUIT\r\n"_s));
}

void TestWinsock1::refused()
{
    const quint16 port = closedPort();
    QVERIFY(port != 0);
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, port));
    // The failure comes as an event, after Connect has returned.
    QVERIFY(recorder.errorNumbers.isEmpty());
    QVERIFY(recorder.waitForError());
    QCOMPARE(recorder.errorNumbers, QList<qint16>{Winsock1::ConnectionRefused});
    QCOMPARE(recorder.errorTexts, QStringList{u"เซิร์ฟเวอร์ไม่รับการเชื่อมต่อ : Connection refused"_s});
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
}

void TestWinsock1::hostNotFound_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("empty server") << QString();
    QTest::newRow("reserved name that never resolves") << u"no-such-host.invalid"_s;
    QTest::newRow("blank server") << u" "_s;
}

void TestWinsock1::hostNotFound()
{
    QFETCH(QString, host);
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(host, 110));
    QVERIFY(recorder.waitForError(40'000));
    QCOMPARE(recorder.errorNumbers, QList<qint16>{Winsock1::HostNotFound});
    QCOMPARE(recorder.errorTexts, QStringList{u"หาเซิร์ฟเวอร์ไม่พบ : Host not found"_s});
}

void TestWinsock1::refusedAtOnce_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("port 0") << u"127.0.0.1"_s << 0;
    QTest::newRow("line break in the server name") << u"mail.example.org\r\nX"_s << 110;
    QTest::newRow("NUL in the server name") << u"mail\u0000.example.org"_s << 110;
}

void TestWinsock1::refusedAtOnce()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    Winsock1 socket;
    Recorder recorder(socket);
    QString why;
    QVERIFY(!socket.Connect(host, static_cast<quint16>(port), &why));
    QVERIFY(!why.isEmpty());
    QCOMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QCoreApplication::processEvents();
    QVERIFY(recorder.errorNumbers.isEmpty());
}

void TestWinsock1::addresses_data()
{
    QTest::addColumn<bool>("ipv6");
    QTest::addColumn<QString>("host");
    QTest::newRow("IPv4 address") << false << u"127.0.0.1"_s;
    QTest::newRow("IPv6 address") << true << u"::1"_s;
    QTest::newRow("IPv6 address in brackets") << true << u"[::1]"_s;
    QTest::newRow("host name") << false << u"localhost"_s;
}

void TestWinsock1::addresses()
{
    QFETCH(bool, ipv6);
    QFETCH(QString, host);

    ScriptedServer server(
        QHostAddress(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost));
    if (ipv6 && !server.isListening())
        QSKIP("no IPv6 loopback here");
    QVERIFY(server.isListening());
    server.greeting = "+OK hello\r\n";
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(host, server.port()));
    QVERIFY(recorder.waitForLines(1));
    QCOMPARE(recorder.lines, QStringList{u"+OK hello\r\n"_s});
    QVERIFY(recorder.errorNumbers.isEmpty());
}

void TestWinsock1::sendsUtf8()
{
    ScriptedServer server;
    server.greeting = "+OK\r\n";
    Winsock1 socket;
    Recorder recorder(socket);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(recorder.waitForLines(1));
    QVERIFY(socket.SendData(u"USER สมชาย\r\n"_s));
    QVERIFY(server.waitForLines(1));
    QCOMPARE(server.received.first(),
             QByteArray("USER \xe0\xb8\xaa\xe0\xb8\xa1\xe0\xb8\x8a\xe0\xb8\xb2\xe0\xb8\xa2\r\n"));
}

void TestWinsock1::sendWithoutConnection()
{
    Winsock1 socket;
    QVERIFY(!socket.SendData(u"QUIT\r\n"_s));
    const quint16 port = closedPort();
    QVERIFY(socket.Connect(u"127.0.0.1"_s, port));
    // Still connecting: nothing can go out yet.
    QVERIFY(!socket.SendData(u"QUIT\r\n"_s));
    socket.Close();
    QVERIFY(!socket.SendData(u"QUIT\r\n"_s));
}

void TestWinsock1::localPort()
{
    ScriptedServer server;
    server.greeting = "+OK\r\n";
    const quint16 local = closedPort();
    QVERIFY(local != 0);
    Winsock1 socket;
    Recorder recorder(socket);
    socket.setLocalPort(local);
    QVERIFY(socket.Connect(u"127.0.0.1"_s, server.port()));
    QVERIFY(server.waitForClient());
    QCOMPARE(server.client()->peerPort(), local);
    QVERIFY(recorder.waitForLines(1));

    // Back to any port for the next connection.
    socket.setLocalPort(0);
    ScriptedServer second;
    QVERIFY(socket.Connect(u"127.0.0.1"_s, second.port()));
    QVERIFY(second.waitForClient());
    QVERIFY(second.client()->peerPort() != 0);
}

QTEST_GUILESS_MAIN(TestWinsock1)
#include "tst_winsock1.moc"
