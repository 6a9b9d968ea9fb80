// `larkspur --check`: the real executable, without any display, against a real Dovecot run inside
// tests/support/pop3-sandbox --tls yes --oauth2 (see CMakeLists.txt), with a real GNOME Keyring
// where the credential is kept there. What it prints, its exit status, and that it leaves
// Settings.inf and the seen ids exactly as they were.
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/SeenStore.h"
#include "mailcheck/Winsock1.h"
#include "platform/Clock.h"
#include "settings/SettingsFile.h"
#include "signin/CredentialSource.h"
#include "signin/SecretServiceStore.h"
#include "support/KeyringSandbox.h"
#include "support/OAuth2TestServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

QString environment(const char *name)
{
    return qEnvironmentVariable(name);
}

// Every file below `folder` but `program` as bytes and modification time, to compare before and
// after.
QStringList snapshot(const QString &folder, const QString &program)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path == program)
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {u"unreadable "_s + path};
        files << path + u' ' + QString::number(it.fileInfo().lastModified().toMSecsSinceEpoch()) +
                     u' ' + QString::fromLatin1(file.readAll().toHex());
    }
    files.sort();
    return files;
}

// Kilobytes as the report rounds them, worked out from the maildir (POP3 counts CR LF).
qint64 mailboxKilobytes(qint64 *count)
{
    qint64 octets = 0;
    *count = 0;
    for (const char *folder : {"new", "cur"}) {
        const QDir dir(environment("LARKSPUR_POP3_MAILDIR") + u'/' + QLatin1StringView(folder));
        for (const QFileInfo &entry : dir.entryInfoList(QDir::Files)) {
            QFile file(entry.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            octets += bytes.size() + bytes.count('\n') - bytes.count("\r\n");
            ++*count;
        }
    }
    return qRound64(static_cast<double>(octets) / 1024);
}

MailboxSettings mailbox(const QString &server, SecurityMode security, const QString &password)
{
    MailboxSettings settings;
    settings.server = server;
    settings.loginName = environment("LARKSPUR_POP3_USER");
    settings.password = password;
    settings.memPass = password.isEmpty() ? 0 : 1;
    settings.security = security;
    return settings;
}

} // namespace

class TestCheckOnce : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_home;
    QString m_program;

private slots:
    void initTestCase();
    void init();
    void exitStatus_data();
    void exitStatus();
    void credentialInKeyring_data();
    void credentialInKeyring();

private:
    QProcessEnvironment checkEnvironment() const;
    void expectReport(int exitCode, const QString &out) const;
};

void TestCheckOnce::initTestCase()
{
    if (environment("LARKSPUR_POP3_MAILDIR").isEmpty() ||
        environment("LARKSPUR_TEST_CERTS").isEmpty() ||
        environment("LARKSPUR_OAUTH2_URL").isEmpty())
        QFAIL("run inside tests/support/pop3-sandbox --tls yes --oauth2");
    QVERIFY2(QFileInfo(environment("LARKSPUR_BINARY")).isExecutable(), "LARKSPUR_BINARY");
}

// A portable copy in a folder of its own, so that its Settings.inf is this test's; and a home,
// configuration and state of its own.
void TestCheckOnce::init()
{
    m_home.emplace();
    QVERIFY(m_home->isValid());
    QVERIFY(QDir().mkpath(m_home->filePath(u"program"_s)));
    m_program = m_home->filePath(u"program/larkspur"_s);
    QVERIFY(QFile::copy(environment("LARKSPUR_BINARY"), m_program));
}

void TestCheckOnce::exitStatus_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<SecurityMode>("security");
    QTest::addColumn<QString>("password"); // "" when not remembered
    QTest::addColumn<bool>("seenBefore");  // a check of the tray program's kind ran before
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errors"); // a pattern for stderr

    const QString password = environment("LARKSPUR_POP3_PASSWORD");
    QTest::newRow("new mail: 0, the count, the size and each new message")
        << u"127.0.0.1"_s << SecurityMode::None << password << false << 0 << u"^$"_s;
    QTest::newRow("nothing new since the tray program's check: 1")
        << u"127.0.0.1"_s << SecurityMode::None << password << true << 1 << u"^$"_s;
    QTest::newRow("over TLS: new mail, and what it learnt about the server is not saved")
        << u"127.0.0.1:995"_s << SecurityMode::Automatic << password << false << 0 << u"^$"_s;
    QTest::newRow("a wrong password: 2, the server's refusal on stderr")
        << u"127.0.0.1"_s << SecurityMode::None << u"not-"_s + password << false << 2
        << u"^larkspur: เซิร์ฟเวอร์ไม่รับชื่อผู้ใช้หรือรหัสผ่าน : -ERR [^\n]+\n$"_s;
    QTest::newRow("no remembered password: 2, nothing connected")
        << u"127.0.0.1"_s << SecurityMode::None << QString() << false << 2
        << u"^larkspur: ไม่ได้จำรหัสผ่านไว้[^\n]+\n$"_s;
    QTest::newRow("a certificate the system does not trust: 2, refused without asking")
        << u"127.0.0.6:995"_s << SecurityMode::Tls << password << false << 2
        << u"^larkspur: ถามเรื่องใบรับรอง[^\n]+\nlarkspur: เช็คอีเมลล์ไม่สำเร็จ : [^\n]+\n$"_s;
}

void TestCheckOnce::exitStatus()
{
    QFETCH(QString, server);
    QFETCH(SecurityMode, security);
    QFETCH(QString, password);
    QFETCH(bool, seenBefore);
    QFETCH(int, exitCode);
    QFETCH(QString, errors);

    const MailboxSettings settings = mailbox(server, security, password);
    const QString settingsFile = m_home->filePath(u"program/Settings.inf"_s);
    QString error;
    QVERIFY2(writeSettingsFile(settingsFile, composeSettings(settings).bytes, &error),
             qPrintable(error));
    const QString state = m_home->filePath(u"state"_s);
    if (seenBefore) {
        // The tray program's check: its watcher with the seen ids where the program keeps them.
        Winsock1 socket;
        SystemClock clock;
        TypedPassword typed;
        SeenStore seen(state + u"/larkspur"_s);
        MailboxWatcher watcher(socket, typed, clock, &seen);
        watcher.settings() = settings;
        QVERIFY(!watcher.check());
        QVERIFY(QTest::qWaitFor(
            [&] { return watcher.session().state() == Pop3Session::State::Ended; }, 40'000));
        QVERIFY(seen.load(watcher.key()).known);
    }
    const QStringList before = snapshot(m_home->path(), m_program);

    QProcess check;
    check.setProcessEnvironment(checkEnvironment());
    check.start(m_program, {u"--check"_s});
    QVERIFY(check.waitForFinished(60'000));
    const QString out = QString::fromUtf8(check.readAllStandardOutput());
    const QString err = QString::fromUtf8(check.readAllStandardError());
    QCOMPARE(check.exitStatus(), QProcess::NormalExit);
    QVERIFY2(check.exitCode() == exitCode, qPrintable(out + err));
    QVERIFY2(QRegularExpression(errors).match(err).hasMatch(), qPrintable(err));
    expectReport(exitCode, out);
    if (QTest::currentTestFailed())
        return;
    // It only looked: not a byte or a time stamp changed, and no state file was made.
    QCOMPARE(snapshot(m_home->path(), m_program), before);
}

// What is kept in the keyring is found there; a rotated refresh token is kept for the next run.
void TestCheckOnce::credentialInKeyring_data()
{
    QTest::addColumn<bool>("oauth2");
    QTest::newRow("the password") << false;
    QTest::newRow("an OAuth2 refresh token, used twice as it rotates") << true;
}

void TestCheckOnce::credentialInKeyring()
{
    QFETCH(bool, oauth2);

    const QTemporaryDir keyringState;
    KeyringSandbox keyring(keyringState.path());
    QVERIFY2(keyring.start(), qPrintable(keyring.error()));
    MailboxSettings settings = mailbox(u"127.0.0.1"_s, SecurityMode::None, QString());
    SecretKey key{settings.server, settings.loginName, SecretKind::Password};
    QString secret = environment("LARKSPUR_POP3_PASSWORD");
    if (oauth2) {
        OAuth2TestServer server;
        QVERIFY(server.useSandbox());
        settings.signIn = MailboxSettings::SignIn::OAuth2;
        settings.oauth2.provider = u"custom"_s;
        settings.oauth2.clientId = environment("LARKSPUR_OAUTH2_CLIENT_ID");
        settings.oauth2.authUrl = server.url() + u"/authorize"_s;
        settings.oauth2.tokenUrl = server.url() + u"/token"_s;
        settings.oauth2.scope = u"mail"_s;
        key.kind = SecretKind::OAuth2Refresh;
        secret = server.post(u"/admin/issue"_s).value(u"refresh_token"_s).toString();
        QVERIFY(!secret.isEmpty());
    } else {
        settings.memPass = 1;
        settings.passwordInKeyring = true;
    }
    SecretServiceStore store(keyring.connection());
    bool stored = false;
    connect(&store, &SecretStore::finished, this,
            [&](SecretStore::RequestId, SecretStore::Request, const SecretResult &result) {
                stored = result.status == SecretResult::Status::Done;
            });
    store.write(key, secret);
    QTRY_VERIFY(stored);
    QString error;
    QVERIFY2(writeSettingsFile(m_home->filePath(u"program/Settings.inf"_s),
                               composeSettings(settings).bytes, &error),
             qPrintable(error));

    QProcessEnvironment env = checkEnvironment();
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, keyring.address());
    for (int run = 0; run < (oauth2 ? 2 : 1); ++run) {
        QProcess check;
        check.setProcessEnvironment(env);
        check.start(m_program, {u"--check"_s});
        QVERIFY(check.waitForFinished(60'000));
        const QString out = QString::fromUtf8(check.readAllStandardOutput());
        QVERIFY2(check.exitCode() == 0,
                 qPrintable(out + QString::fromUtf8(check.readAllStandardError())));
        expectReport(0, out);
    }
}

// Its own home, configuration and state, and no display.
QProcessEnvironment TestCheckOnce::checkEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(display));
    env.insert(u"HOME"_s, m_home->filePath(u"home"_s));
    env.insert(u"XDG_CONFIG_HOME"_s, m_home->filePath(u"config"_s));
    env.insert(u"XDG_STATE_HOME"_s, m_home->filePath(u"state"_s));
    return env;
}

// The count, the size and the new messages, as the maildir holds them; nothing on exit code 2.
void TestCheckOnce::expectReport(int exitCode, const QString &out) const
{
    qint64 count = 0;
    const qint64 kilobytes = mailboxKilobytes(&count);
    QStringList lines = out.split(u'\n');
    if (exitCode == 2) {
        QCOMPARE(out, QString());
        return;
    }
    const qint64 fresh = exitCode == 0 ? count : 0;
    QCOMPARE(lines.takeLast(), QString()); // every line ends
    QCOMPARE(lines.mid(0, 3), (QStringList{u"อีเมลล์ทั้งหมด %1 ฉบับ"_s.arg(count),
                                           u"อีเมลล์ทั้งหมดมีขนาด %1 กิโลไบต์"_s.arg(kilobytes),
                                           u"อีเมลล์ใหม่ %1 ฉบับ"_s.arg(fresh)}));
    QStringList messages = lines.mid(3);
    messages.sort();
    QStringList expected;
    for (qint64 i = 1; i <= fresh; ++i)
        expected << u"Larkspur Tests: Test message %1 of %2"_s.arg(i).arg(count);
    QCOMPARE(messages, expected);
}

QTEST_GUILESS_MAIN(TestCheckOnce)
#include "tst_checkonce.moc"
