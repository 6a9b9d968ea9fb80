// Checks over TLS through the real main window and Winsock1, inside tests/support/pop3-sandbox
// with --tls: a real Dovecot with certificates of a test CA that the program trusts through
// SSL_CERT_FILE, and scripted servers for what Dovecot will not do. Every refusal leaves the server
// without a PASS, the log with one line, the report empty and Settings.inf as it was.
#include "TlsScriptedServer.h"
#include "app/AppFakes.h"
#include "app/FrmMain.h"
#include "mailcheck/Winsock1.h"
#include "scheduling/RetryPolicy.h"
#include "wording/Wording.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace
{

enum Mode { Automatic, Tls, StartTls, None };

// A scripted server for the rows Dovecot cannot play.
enum class Fake {
    None,
    CapaRefused,
    CapaEndless,
    CapaUnfinished,
    InjectedAfterStls,
    SilentHandshake,
    StlsRefused
};

const QByteArray CapaWithStls = "+OK\r\nTOP\r\nUSER\r\nSTLS\r\n.\r\n";
const QByteArray CapaWithoutStls = "+OK\r\nTOP\r\nUSER\r\n.\r\n";
// USER, PASS, STAT, then a server without UIDL and TOP, and QUIT.
const QList<QByteArray> Dialogue{"+OK\r\n",  "+OK\r\n",  "+OK 1 100\r\n", "-ERR\r\n",
                                 "-ERR\r\n", "-ERR\r\n", "+OK bye\r\n"};
// Over TLS from the first byte, a run's first check asks CAPA before USER.
const QList<QByteArray> FirstDialogueOverTls = QList<QByteArray>{CapaWithoutStls} + Dialogue;

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program in a folder of its own, started with Settings.inf holding `server` and `extra`
// lines, the user and password of the sandbox typed in.
struct Program {
    QTemporaryDir folder;
    RecordingPrompt prompt;
    RecordingUrlOpener urls;
    RecordingSoundOutput sound;
    RecordingAutostart autostart;
    FixedClock clock;
    Winsock1 socket;
    std::unique_ptr<FrmMain> form;

    explicit Program(const QByteArray &settings)
    {
        QFile file(settingsPath());
        if (file.open(QIODevice::WriteOnly))
            file.write(settings);
        file.close();
        start();
    }
    // The same folder, a new run: what the last one saved is all it knows.
    void restart()
    {
        form.reset();
        prompt = RecordingPrompt();
        start();
    }
    QString settingsPath() const { return folder.filePath(u"Settings.inf"_s); }
    QByteArray settings() const { return readFile(settingsPath()); }
    QString log() const { return form->txtStatus->Text(); }

    void start()
    {
        socket.setTimeout(2s);
        FrmMainServices services;
        services.prompt = &prompt;
        services.urlOpener = &urls;
        services.soundOutput = &sound;
        services.autostart = &autostart;
        services.clock = &clock;
        services.socket = &socket;
        services.executablePath = folder.filePath(u"larkspur"_s);
        services.executableFolder = folder.path();
        services.stateFolder = folder.path() + QStringLiteral("/state");
        services.useTray = false;
        form = std::make_unique<FrmMain>(services);
        form->Form_Load();
        form->txtPassword->setText(env("LARKSPUR_POP3_PASSWORD"));
        // The file as the window would write it now, so that a check may save without changing it.
        form->SaveSettings();
    }

    void check() { form->cmdCheckNow_Click(); }
    // Until the report is shown: the session's QUIT line, and the boxes the window fills after.
    [[nodiscard]] bool waitForReport()
    {
        return QTest::qWaitFor(
            [this] {
                return log().contains(u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s) &&
                       !form->txtNewMail->text().isEmpty();
            },
            20'000);
    }
    // Until the log holds a whole line and the connection is over.
    [[nodiscard]] bool waitForEnd()
    {
        return QTest::qWaitFor(
            [this] {
                return log().endsWith(u"\r\n"_s) &&
                       socket.state() == QAbstractSocket::UnconnectedState;
            },
            20'000);
    }
};

QByteArray settingsFor(const QString &server, const QByteArray &extra = {})
{
    return "[settings]\r\nPOP3MailServer=" + server.toUtf8() +
           "\r\nloginname=" + env("LARKSPUR_POP3_USER").toUtf8() +
           "\r\nmempass=0\r\ncheckeveryon=0\r\ncheckeverymin=15\r\nlaunchatstartup=0\r\n"
           "enablesound=0\r\ntotaloldemail=0\r\n" +
           extra;
}

QByteArray modeLine(int mode)
{
    static const char *const names[] = {"auto", "tls", "starttls", "none"};
    return "security=" + QByteArray(names[mode]) + "\r\n";
}

std::unique_ptr<TlsScriptedServer> fakeFor(Fake kind, const QHostAddress &address)
{
    using T = TlsScriptedServer::Tls;
    std::unique_ptr<TlsScriptedServer> server;
    switch (kind) {
    case Fake::None:
        return nullptr;
    case Fake::CapaRefused:
        server = std::make_unique<TlsScriptedServer>(T::Never, address);
        server->answers = QList<QByteArray>{"-ERR unknown command\r\n"} + Dialogue;
        break;
    case Fake::CapaEndless:
        server = std::make_unique<TlsScriptedServer>(T::Never, address);
        server->answers = {"+OK\r\n" + QByteArray("X-CAPABILITY\r\n").repeated(101)};
        break;
    case Fake::CapaUnfinished:
        server = std::make_unique<TlsScriptedServer>(T::Never, address);
        server->answers = QList<QByteArray>{"+OK\r\nTOP\r\nSTLS\r\n"} + Dialogue;
        break;
    case Fake::InjectedAfterStls:
        server = std::make_unique<TlsScriptedServer>(T::AfterStls, address);
        server->stlsAnswer = "+OK Begin TLS\r\n+OK injected in the clear\r\n";
        server->answers = QList<QByteArray>{CapaWithStls} + Dialogue;
        break;
    case Fake::SilentHandshake:
        server = std::make_unique<TlsScriptedServer>(T::Silent, address);
        break;
    case Fake::StlsRefused:
        server = std::make_unique<TlsScriptedServer>(T::Never, address);
        server->answers = QList<QByteArray>{CapaWithStls, "-ERR TLS not available\r\n"} + Dialogue;
        break;
    }
    return server;
}

// Dovecot's log from `offset` on, once it holds the end of a connection to `address`.
QString dovecotLogAfter(qint64 offset, const QString &address)
{
    QString tail;
    // Whatever is there by then is what the test looks at.
    (void)QTest::qWaitFor(
        [&] {
            tail = QString::fromUtf8(readFile(env("LARKSPUR_POP3_LOG")).mid(offset));
            return tail.contains(u"lip=%1,"_s.arg(address)) && tail.contains(u"Disconnected"_s);
        },
        10'000);
    return tail;
}

} // namespace

class TestSecureCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void successfulChecks_data();
    void successfulChecks();
    void refusals_data();
    void refusals();
    void plainLoopbackLogsAsBefore_data();
    void plainLoopbackLogsAsBefore();
    void userTrustsAHomeServer();
    void checkWhileTheQuestionIsOpen();
};

void TestSecureCheck::initTestCase()
{
    if (env("LARKSPUR_POP3_LOG").isEmpty() || env("LARKSPUR_TEST_CERTS").isEmpty())
        QFAIL("run inside tests/support/pop3-sandbox --tls");
    // Trust comes from the test CA in SSL_CERT_FILE, never from switching checks off.
    QVERIFY(env("SSL_CERT_FILE").endsWith(u"/ca.pem"_s));
}

void TestSecureCheck::successfulChecks_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("note");

    QTest::newRow("automatic, port 995 given: TLS at once")
        << u"localhost:995"_s << int(Automatic) << 995 << u"เชื่อมต่อแบบเข้ารหัส TLS 1.3"_s;
    QTest::newRow("TLS chosen, bare IPv6, its usual port")
        << u"::1"_s << int(Tls) << 995 << u"เชื่อมต่อแบบเข้ารหัส TLS 1.3"_s;
    QTest::newRow("automatic, no port: STLS on 110")
        << u"localhost"_s << int(Automatic) << 110 << u"เชื่อมต่อแบบเข้ารหัส TLS 1.3 ด้วย STARTTLS"_s;
    QTest::newRow("STARTTLS chosen, [IPv6]:port")
        << u"[::1]:110"_s << int(StartTls) << 110 << u"เชื่อมต่อแบบเข้ารหัส TLS 1.3 ด้วย STARTTLS"_s;
}

void TestSecureCheck::successfulChecks()
{
    QFETCH(QString, server);
    QFETCH(int, mode);
    QFETCH(int, port);
    QFETCH(QString, note);

    Program p(settingsFor(server, modeLine(mode)));
    const qint64 logStart = readFile(env("LARKSPUR_POP3_LOG")).size();
    p.check();
    QVERIFY2(p.waitForReport(), qPrintable(p.log()));

    const QStringList lines = p.log().split(u"\r\n"_s);
    QVERIFY2(lines.at(0).startsWith(u"+OK"_s), qPrintable(p.log()));
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), note);
    QCOMPARE(lines.at(3), u"ชื่อผู้ใช้ : "_s + env("LARKSPUR_POP3_USER"));
    QCOMPARE(p.form->txtNewMail->text(), u"2"_s);

    // Dovecot itself says the login came over TLS, on the port the row expects.
    const QString dovecot = QString::fromUtf8(readFile(env("LARKSPUR_POP3_LOG")).mid(logStart));
    const QRegularExpression login(u"Login: user=<%1>, [^\n]*lport=%2, [^\n]*TLS"_s
                                       .arg(QRegularExpression::escape(env("LARKSPUR_POP3_USER")))
                                       .arg(port));
    QVERIFY2(login.match(dovecot).hasMatch(), qPrintable(dovecot));
    // Reached over TLS: remembered for this server.
    QVERIFY2(p.settings().contains("\r\ntlsserver=" + server.toUtf8() + "\r\n"),
             p.settings().constData());
    QVERIFY(p.prompt.asked.isEmpty());
}

void TestSecureCheck::refusals_data()
{
    QTest::addColumn<QString>("server"); // %1: the scripted server's port
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("extra"); // further Settings.inf lines
    QTest::addColumn<int>("fake");
    QTest::addColumn<QString>("line"); // how the one status line begins
    QTest::addColumn<int>("asked");    // trust questions the user answered no

    const auto row = [](const char *name, const QString &server, int mode, Fake fake,
                        const QString &line, const QByteArray &extra = {}) {
        // The user is asked (and says no) only where no authority vouches for the certificate.
        const bool asked = line.contains(u"ไม่รู้จักผู้ออก"_s) || line.contains(u"self-signed"_s);
        QTest::newRow(name) << server << mode << extra << int(fake) << line << int(asked);
    };
    // Dovecot on addresses that each serve one fault (tests/support/pop3-sandbox).
    row("expired", u"127.0.0.2:995"_s, Tls, Fake::None,
        u"12002 : ใบรับรองของเซิร์ฟเวอร์หมดอายุแล้ว : "_s);
    row("not yet valid", u"127.0.0.3:995"_s, Automatic, Fake::None,
        u"12002 : ใบรับรองของเซิร์ฟเวอร์ยังไม่ถึงวันที่เริ่มใช้ได้ : "_s);
    row("wrong host name", u"127.0.0.4"_s, Automatic, Fake::None,
        u"12002 : ใบรับรองของเซิร์ฟเวอร์ออกให้ชื่ออื่น"_s);
    row("unknown issuer, not trusted by the user", u"127.0.0.5:995"_s, Tls, Fake::None,
        u"12002 : ไม่รู้จักผู้ออกใบรับรองของเซิร์ฟเวอร์ : "_s);
    row("self-signed, not trusted by the user", u"127.0.0.6"_s, StartTls, Fake::None,
        u"12002 : ใบรับรองของเซิร์ฟเวอร์รับรองตัวเอง (self-signed)"_s);
    row("STARTTLS chosen, no STLS offered", u"192.0.2.1"_s, StartTls, Fake::None,
        u"12003 : เซิร์ฟเวอร์ไม่มี STLS"_s);
    row("automatic, no STLS, not loopback", u"192.0.2.1"_s, Automatic, Fake::None,
        u"12003 : เซิร์ฟเวอร์นี้ไม่มีการเข้ารหัส"_s);
    row("STLS stripped after an earlier TLS success", u"192.0.2.1"_s, Automatic, Fake::None,
        u"12003 : เซิร์ฟเวอร์นี้เคยเชื่อมต่อแบบเข้ารหัส TLS ได้"_s, "tlsserver=192.0.2.1\r\n");
    row("plain POP3 where TLS is due", u"127.0.0.1:110"_s, Tls, Fake::None,
        u"12001 : เจรจา TLS กับเซิร์ฟเวอร์ไม่สำเร็จ"_s);
    // Scripted servers.
    row("CAPA answered with -ERR, not loopback", u"192.0.2.1:%1"_s, Automatic, Fake::CapaRefused,
        u"12003 : เซิร์ฟเวอร์นี้ไม่มีการเข้ารหัส"_s);
    row("STLS answered with -ERR: no plain even on loopback", u"127.0.0.1:%1"_s, Automatic,
        Fake::StlsRefused, u"12003 : เซิร์ฟเวอร์ไม่ยอมเริ่ม TLS"_s);
    row("CAPA list past 100 lines", u"127.0.0.1:%1"_s, Automatic, Fake::CapaEndless,
        u"10040 : รายการความสามารถ (CAPA) ของเซิร์ฟเวอร์ยาวเกินไป"_s);
    row("CAPA list that never ends", u"127.0.0.1:%1"_s, StartTls, Fake::CapaUnfinished,
        u"10060 : หมดเวลารอรายการความสามารถ (CAPA) ของเซิร์ฟเวอร์ : "_s);
    row("a line injected after +OK to STLS", u"127.0.0.1:%1"_s, Automatic, Fake::InjectedAfterStls,
        u"12004 : มีข้อมูลไม่เข้ารหัสแทรกมาหลังคำตอบ STLS"_s);
    row("a stalled handshake", u"127.0.0.1:%1"_s, Tls, Fake::SilentHandshake,
        u"10060 : หมดเวลาเจรจา TLS : Timed out: the TLS handshake did not finish within 2 seconds"_s);
}

void TestSecureCheck::refusals()
{
    QFETCH(QString, server);
    QFETCH(int, mode);
    QFETCH(QByteArray, extra);
    QFETCH(int, fake);
    QFETCH(QString, line);
    QFETCH(int, asked);

    const QHostAddress address(server.section(u':', 0, 0));
    const auto scripted = fakeFor(Fake(fake), address);
    if (scripted) {
        QVERIFY(scripted->isListening());
        server = server.arg(scripted->serverPort());
    }
    Program p(settingsFor(server, modeLine(mode) + extra));
    const QByteArray before = p.settings();
    const qint64 logStart = readFile(env("LARKSPUR_POP3_LOG")).size();

    p.check();
    QVERIFY2(p.waitForEnd(), qPrintable(p.log()));
    // Whatever would follow the refusal in the same turn has come by now.
    QCoreApplication::processEvents();

    QVERIFY2(p.log().startsWith(line), qPrintable(p.log()));
    // One line; a time-out, worth another try soon, is followed by the retry's line alone.
    QStringList lines = p.log().split(u"\r\n"_s, Qt::SkipEmptyParts);
    lines.removeAll(Wording::retryingIn(RetryPolicy::Backoff.front()));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(p.prompt.asked.size(), asked);
    QCOMPARE(p.form->txtNewMail->text(), QString());
    QVERIFY(p.form->fraReport->isHidden());
    QCOMPARE(p.settings(), before);

    if (scripted) {
        QVERIFY2(!scripted->receivedCommand("USER") && !scripted->receivedCommand("PASS"),
                 scripted->received.join().constData());
    } else {
        const QString dovecot = dovecotLogAfter(logStart, address.toString());
        QVERIFY2(dovecot.contains(u"no auth attempts"_s), qPrintable(dovecot));
        QVERIFY2(!dovecot.contains(u"Login:"_s) && !dovecot.contains(u"auth failed"_s),
                 qPrintable(dovecot));
    }
}

void TestSecureCheck::plainLoopbackLogsAsBefore_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<QByteArray>>("sent");
    QTest::newRow("automatic: CAPA beneath, no STLS, loopback goes on in plain")
        << int(Automatic)
        << QList<QByteArray>{"CAPA\r\n",   "USER demo\r\n", "PASS demo-pass\r\n", "STAT\r\n",
                             "UIDL 1\r\n", "UIDL\r\n",      "TOP 1 0\r\n",        "QUIT\r\n"};
    QTest::newRow("none: the dialogue in the clear, nothing beneath it")
        << int(None)
        << QList<QByteArray>{"USER demo\r\n", "PASS demo-pass\r\n", "STAT\r\n", "UIDL 1\r\n",
                             "UIDL\r\n",      "TOP 1 0\r\n",        "QUIT\r\n"};
}

void TestSecureCheck::plainLoopbackLogsAsBefore()
{
    QFETCH(int, mode);
    QFETCH(QList<QByteArray>, sent);

    TlsScriptedServer server(TlsScriptedServer::Tls::Never);
    server.greeting = "+OK ready\r\n";
    server.answers = Dialogue;
    if (mode == Automatic)
        server.answers.prepend(CapaWithoutStls);
    const QString address = u"127.0.0.1:%1"_s.arg(server.serverPort());
    Program p(settingsFor(address, modeLine(mode)));
    p.form->txtUserName->setText(u"demo"_s);
    p.form->txtPassword->setText(u"demo-pass"_s);
    p.check();
    QVERIFY2(p.waitForReport(), qPrintable(p.log()));
    QVERIFY(QTest::qWaitFor([&] { return server.received.size() == sent.size(); }, 5'000));

    QCOMPARE(server.received, sent);
    QTRY_COMPARE(p.log(), u"+OK ready\r\n\r\nชื่อผู้ใช้ : demo\r\n+OK\r\n\r\n"
                          u"รหัสผ่าน : xxxxxxxxxxxx \r\n+OK\r\n\r\nรับข้อมูลจาก "_s +
                              address +
                              u"\r\n+OK 1 100\r\n\r\nรับข้อมูลเรียบร้อย (ออกจากระบบ)\r\n"
                              u"+OK bye\r\n\r\n"_s);
    // A plain check teaches nothing about TLS.
    QVERIFY(!p.settings().contains("tlsserver="));
}

void TestSecureCheck::userTrustsAHomeServer()
{
    TlsScriptedServer server(TlsScriptedServer::Tls::AtOnce);
    server.certificate = u"selfsigned"_s;
    const QString address = u"127.0.0.1:%1"_s.arg(server.serverPort());
    const QByteArray sha256 = [] {
        QFile pem(env("LARKSPUR_TEST_CERTS") + u"/selfsigned.pem"_s);
        return pem.open(QIODevice::ReadOnly)
                   ? QSslCertificate(&pem).digest(QCryptographicHash::Sha256).toHex()
                   : QByteArray();
    }();
    QCOMPARE(sha256.size(), 64);

    // The first run: the user says no, and is not asked again in that run.
    Program p(settingsFor(address, modeLine(Tls)));
    const QByteArray untouched = p.settings();
    for (int check = 0; check < 2; ++check) {
        p.check();
        QVERIFY2(p.waitForEnd(), qPrintable(p.log()));
        QVERIFY2(p.log().startsWith(u"12002 : ใบรับรองของเซิร์ฟเวอร์รับรองตัวเอง"_s),
                 qPrintable(p.log()));
    }
    QCOMPARE(p.prompt.asked.size(), 1);
    QVERIFY(p.prompt.asked[0].text.contains(address));
    QVERIFY(p.prompt.asked[0].text.contains(
        QString::fromLatin1(sha256.left(2).toUpper() + ':' + sha256.mid(2, 2).toUpper())));
    QVERIFY(!server.receivedCommand("PASS"));
    QCOMPARE(p.settings(), untouched);

    // The next run asks again; yes stores exactly this certificate for this server.
    p.restart();
    p.prompt.answers = {true};
    server.answers = FirstDialogueOverTls;
    p.check();
    QVERIFY2(p.waitForReport(), qPrintable(p.log()));
    QCOMPARE(p.prompt.asked.size(), 1);
    QCOMPARE(p.log().split(u"\r\n"_s).at(2), u"เชื่อมต่อแบบเข้ารหัส TLS 1.3 ใบรับรองที่เชื่อถือไว้"_s);
    QVERIFY(server.receivedCommand("PASS"));
    // The server's goodbye is taken before the next check clears the log.
    QVERIFY2(p.waitForEnd(), qPrintable(p.log()));
    const QByteArray trusted = p.settings();
    QVERIFY2(trusted.contains("\r\ncertserver=" + address.toUtf8() + "\r\ncertsha256=" + sha256 +
                              "\r\n"),
             trusted.constData());

    // Another certificate for the same server is refused, without a question.
    server.certificate = u"selfsigned2"_s;
    server.received.clear();
    server.answers = Dialogue;
    p.check();
    QVERIFY2(p.waitForEnd(), qPrintable(p.log()));
    QVERIFY2(p.log().startsWith(u"12002 : ใบรับรองของเซิร์ฟเวอร์ไม่ใช่ใบที่เคยเชื่อถือไว้"_s),
             qPrintable(p.log()));
    QCOMPARE(p.log().count(u"\r\n"_s), 1);
    QCOMPARE(p.prompt.asked.size(), 1);
    QVERIFY(!server.receivedCommand("USER") && !server.receivedCommand("PASS"));
    QCOMPARE(p.settings(), trusted);
}

// A periodic check that comes while the trust question is open raises no second box, and meets
// the answer once it is given.
void TestSecureCheck::checkWhileTheQuestionIsOpen()
{
    TlsScriptedServer server(TlsScriptedServer::Tls::AtOnce);
    server.certificate = u"selfsigned"_s;
    server.answers = FirstDialogueOverTls;
    Program p(settingsFor(u"127.0.0.1:%1"_s.arg(server.serverPort()), modeLine(Tls)));
    p.prompt.answers = {true};
    int nested = 0;
    p.prompt.onMessage = [&] {
        ++nested;
        p.check();
    };
    p.check();
    QVERIFY2(p.waitForReport(), qPrintable(p.log()));
    QCOMPARE(nested, 1);
    QCOMPARE(p.prompt.asked.size(), 1);
    QCOMPARE(p.form->txtNewMail->text(), u"1"_s);
    QVERIFY(p.settings().contains("\r\ncertsha256="));
}

QTEST_MAIN(TestSecureCheck)
#include "tst_secure_check.moc"
