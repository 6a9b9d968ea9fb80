#include "TestFileSystem.h"
#include "settings/SettingsFile.h"
#include "settings/Windows874.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(MailboxSettings)

namespace
{

MailboxSettings firstStart()
{
    MailboxSettings s;
    s.checkEveryMin = u"15"_s;
    return s;
}

MailboxSettings remembered(const QString &password)
{
    MailboxSettings s = firstStart();
    s.server = u"mail.example.com"_s;
    s.loginName = u"somchai"_s;
    s.memPass = 1;
    s.password = password;
    return s;
}

int modeOf(const QString &path)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return int(status.st_mode & 07777);
}

QByteArray lineOf(const QByteArray &file, const QByteArray &key)
{
    for (const QByteArray &line : file.split('\n')) {
        if (line.startsWith(key))
            return line.chopped(line.endsWith('\r') ? 1 : 0);
    }
    return QByteArrayLiteral("<no such line>");
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exactBytes_data();
    void exactBytes();
    void notRemembered_data();
    void notRemembered();
    void everyPasswordCharacterComesBackOrIsReported_data();
    void everyPasswordCharacterComesBackOrIsReported();
    void everyNameCharacterComesBackOrIsReported();

    void roundTrip_data();
    void roundTrip();
    void windowsFileReadsTheSameAndBack();
    void securityKeys_data();
    void securityKeys();
    void loadRules_data();
    void loadRules();
    void loadUnreadable();
    void loadMissing();

    void saveCreatesOwnerOnlyFile();
    void saveNarrowsAWiderFile();
    void saveFollowsALink();
    void saveOfTheSameBytes_data();
    void saveOfTheSameBytes();
    void failedSaveKeepsTheOldFile_data();
    void failedSaveKeepsTheOldFile();

private:
    QString path() const { return m_dir->filePath(u"Settings.inf"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettingsFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSettingsFile::cleanup()
{
    // Failure rows leave folders that refuse; give them back so that they can be removed.
    QFile::setPermissions(m_dir->path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_dir.reset();
}

void TestSettingsFile::exactBytes_data()
{
    QTest::addColumn<MailboxSettings>("settings");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("first start: nine lines") << firstStart()
                                             << QByteArrayLiteral("[settings]\r\n"
                                                                  "POP3MailServer=\r\n"
                                                                  "loginname=\r\n"
                                                                  "mempass=0\r\n"
                                                                  "checkeveryon=0\r\n"
                                                                  "checkeverymin=15\r\n"
                                                                  "launchatstartup=0\r\n"
                                                                  "enablesound=0\r\n"
                                                                  "totaloldemail=0\r\n");
    QTest::newRow("password remembered: ten lines, abc scrambled")
        << remembered(u"abc"_s)
        << QByteArrayLiteral("[settings]\r\n"
                             "POP3MailServer=mail.example.com\r\n"
                             "loginname=somchai\r\n"
                             "mempass=1\r\n"
                             "loginpass=\x9E\x9D\x9C\r\n"
                             "checkeveryon=0\r\n"
                             "checkeverymin=15\r\n"
                             "launchatstartup=0\r\n"
                             "enablesound=0\r\n"
                             "totaloldemail=0\r\n");
    QTest::newRow("empty password remembered")
        << remembered(QString())
        << QByteArrayLiteral("[settings]\r\n"
                             "POP3MailServer=mail.example.com\r\n"
                             "loginname=somchai\r\n"
                             "mempass=1\r\n"
                             "loginpass=\r\n"
                             "checkeveryon=0\r\n"
                             "checkeverymin=15\r\n"
                             "launchatstartup=0\r\n"
                             "enablesound=0\r\n"
                             "totaloldemail=0\r\n");
    MailboxSettings cleared = remembered(u"abc"_s);
    cleared.memPass = 0;
    cleared.checkEveryOn = 1;
    cleared.checkEveryMin = u".5"_s;
    cleared.launchAtStartup = 1;
    cleared.enableSound = 2;
    cleared.totalOldEmail = -3;
    QTest::newRow("unticked drops the password; negative count")
        << cleared
        << QByteArrayLiteral("[settings]\r\n"
                             "POP3MailServer=mail.example.com\r\n"
                             "loginname=somchai\r\n"
                             "mempass=0\r\n"
                             "checkeveryon=1\r\n"
                             "checkeverymin=.5\r\n"
                             "launchatstartup=1\r\n"
                             "enablesound=2\r\n"
                             "totaloldemail=-3\r\n");
    MailboxSettings grey = remembered(u"abc"_s);
    grey.memPass = 2;
    QTest::newRow("grey mempass drops the password")
        << grey
        << QByteArrayLiteral("[settings]\r\n"
                             "POP3MailServer=mail.example.com\r\n"
                             "loginname=somchai\r\n"
                             "mempass=2\r\n"
                             "checkeveryon=0\r\n"
                             "checkeverymin=15\r\n"
                             "launchatstartup=0\r\n"
                             "enablesound=0\r\n"
                             "totaloldemail=0\r\n");
    MailboxSettings thai = firstStart();
    thai.server = u" mail.example.co.th "_s;
    thai.loginName = u"สมชาย"_s;
    thai.totalOldEmail = 3000000000LL;
    QTest::newRow("Thai name, blanks kept, count past 32 bits")
        << thai
        << QByteArrayLiteral("[settings]\r\n"
                             "POP3MailServer= mail.example.co.th \r\n"
                             "loginname=\xCA\xC1\xAA\xD2\xC2\r\n"
                             "mempass=0\r\n"
                             "checkeveryon=0\r\n"
                             "checkeverymin=15\r\n"
                             "launchatstartup=0\r\n"
                             "enablesound=0\r\n"
                             "totaloldemail=3000000000\r\n");
}

void TestSettingsFile::exactBytes()
{
    QFETCH(MailboxSettings, settings);
    QFETCH(QByteArray, bytes);
    const ComposedSettings composed = composeSettings(settings);
    QCOMPARE(composed.bytes, bytes);
    QCOMPARE(composed.notRemembered, QStringList());
}

void TestSettingsFile::notRemembered_data()
{
    QTest::addColumn<MailboxSettings>("settings");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("what");

    const QByteArray pass = QByteArrayLiteral("loginpass=");
    const QString password = u"รหัสผ่าน"_s;
    // Thai digit two (0xF2) scrambles to CR, Thai digit five (0xF5) to LF, the undefined 0xFF to
    // NUL, the baht sign (0xDF) to a blank, Thai digit six (0xF6) to a tab, the undefined 0xDD to a
    // double quote and sara u (0xD8) to a single quote.
    QTest::newRow("password scrambling to CR") << remembered(u"a\u0E52b"_s) << pass << password;
    QTest::newRow("password scrambling to LF") << remembered(u"a\u0E55b"_s) << pass << password;
    QTest::newRow("password scrambling to NUL") << remembered(u"a\uF7FFb"_s) << pass << password;
    QTest::newRow("password scrambling to a leading blank")
        << remembered(u"\u0E3Fab"_s) << pass << password;
    QTest::newRow("password scrambling to a trailing blank")
        << remembered(u"ab\u0E3F"_s) << pass << password;
    QTest::newRow("password scrambling to a trailing tab")
        << remembered(u"ab\u0E56"_s) << pass << password;
    QTest::newRow("password scrambling to double quotes")
        << remembered(u"\uF7DDab\uF7DD"_s) << pass << password;
    QTest::newRow("password scrambling to single quotes")
        << remembered(u"\u0E38ab\u0E38"_s) << pass << password;
    QTest::newRow("password outside Windows-874") << remembered(u"caf\u00E9"_s) << pass << password;

    MailboxSettings server = firstStart();
    server.server = u"m\u00E4il.example.com"_s;
    QTest::newRow("server outside Windows-874")
        << server << QByteArrayLiteral("POP3MailServer=") << u"ชื่อเซิร์ฟเวอร์"_s;
    MailboxSettings injected = firstStart();
    injected.server = u"x\r\nmempass=1"_s;
    QTest::newRow("server with a line break")
        << injected << QByteArrayLiteral("POP3MailServer=") << u"ชื่อเซิร์ฟเวอร์"_s;
    MailboxSettings user = firstStart();
    user.loginName = u"som\U0001F600"_s;
    QTest::newRow("user name outside Windows-874")
        << user << QByteArrayLiteral("loginname=") << u"ชื่อผู้ใช้"_s;
    MailboxSettings nul = firstStart();
    nul.loginName = u"som"_s + QChar(u'\0') + u"chai"_s;
    QTest::newRow("user name with NUL") << nul << QByteArrayLiteral("loginname=") << u"ชื่อผู้ใช้"_s;
    MailboxSettings minutes = firstStart();
    minutes.checkEveryMin = u"1\n"_s;
    QTest::newRow("interval with a line break")
        << minutes << QByteArrayLiteral("checkeverymin=") << u"ช่วงเวลา"_s;
}

void TestSettingsFile::notRemembered()
{
    QFETCH(MailboxSettings, settings);
    QFETCH(QByteArray, key);
    QFETCH(QString, what);

    const ComposedSettings composed = composeSettings(settings);
    QCOMPARE(composed.bytes.count("\r\n"), settings.memPass == 1 ? 10 : 9);
    QCOMPARE(lineOf(composed.bytes, key), key); // written, with nothing after "="
    QCOMPARE(composed.notRemembered.size(), 1);
    const QString line = composed.notRemembered.first();
    QVERIFY2(line.contains(what), qPrintable(line));
    QVERIFY2(!line.contains(u'\n') && !line.contains(u'\r'), qPrintable(line));
    // The rest of the file is as usual.
    QCOMPARE(lineOf(composed.bytes, "totaloldemail="), QByteArrayLiteral("totaloldemail=0"));
}

void TestSettingsFile::everyPasswordCharacterComesBackOrIsReported_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("alone") << 0;
    QTest::newRow("at the start") << 1;
    QTest::newRow("in the middle") << 2;
    QTest::newRow("at the end") << 3;
    QTest::newRow("at both ends") << 4;
}

// Every byte the code page has, in every place of a password: either the next start reads the
// same password, or the save says it is not remembered and stores none.
void TestSettingsFile::everyPasswordCharacterComesBackOrIsReported()
{
    QFETCH(int, position);
    int reported = 0;
    for (int b = 0; b < 256; ++b) {
        const QString c = decodeWindows874(QByteArray(1, char(b)));
        const QString password = position == 0   ? c
                                 : position == 1 ? c + u"pw"_s
                                 : position == 2 ? u"p"_s + c + u"w"_s
                                 : position == 3 ? u"pw"_s + c
                                                 : c + u"pw"_s + c;
        const ComposedSettings composed = composeSettings(remembered(password));
        // Written plainly, as a new file: the reader is under test here, and synced saves (or
        // truncating rewrites, which ext4 flushes) are slow by the thousand.
        QFile::remove(path());
        QVERIFY(testfs::writeAll(path(), composed.bytes));
        QString error;
        const LoadedSettings loaded = loadSettings(path(), &error);
        QCOMPARE(error, QString());
        QVERIFY(loaded.passwordRead);
        if (composed.notRemembered.isEmpty()) {
            QVERIFY2(loaded.password == password, qPrintable(u"byte 0x%1"_s.arg(b, 2, 16)));
        } else {
            ++reported;
            QCOMPARE(loaded.password, QString());
        }
        // Whatever the password, the file keeps its other lines.
        QCOMPARE(loaded.loginName, u"somchai"_s);
        QCOMPARE(loaded.totalOldEmailText, u"0"_s);
    }
    // CR, LF and NUL anywhere; blank, tab and vertical tab at an end; quotes only around the whole
    // value.
    const int expected[] = {6, 6, 3, 6, 8};
    QCOMPARE(reported, expected[position]);
}

void TestSettingsFile::everyNameCharacterComesBackOrIsReported()
{
    for (int b = 0; b < 256; ++b) {
        const QString c = decodeWindows874(QByteArray(1, char(b)));
        MailboxSettings settings = firstStart();
        settings.server = u"mail"_s + c + u"host"_s;
        settings.loginName = c + u"som"_s + c;
        const ComposedSettings composed = composeSettings(settings);
        // Written plainly, as a new file: the reader is under test here, and synced saves (or
        // truncating rewrites, which ext4 flushes) are slow by the thousand.
        QFile::remove(path());
        QVERIFY(testfs::writeAll(path(), composed.bytes));
        QString error;
        const LoadedSettings loaded = loadSettings(path(), &error);
        if (composed.notRemembered.isEmpty()) {
            QVERIFY2(loaded.server == settings.server, qPrintable(u"byte 0x%1"_s.arg(b, 2, 16)));
            // The reader trims blanks and one pair of quotes around a value, as it always has.
            const bool trimmed =
                c == u" "_s || c == u"\t"_s || c == u"\v"_s || c == u"\""_s || c == u"'"_s;
            QCOMPARE(loaded.loginName, trimmed ? u"som"_s : settings.loginName);
        } else {
            QVERIFY2(b == '\0' || b == '\r' || b == '\n', qPrintable(u"byte 0x%1"_s.arg(b, 2, 16)));
            QCOMPARE(loaded.server, QString());
            QCOMPARE(loaded.loginName, QString());
            QCOMPARE(composed.notRemembered.size(), 2);
        }
    }
}

void TestSettingsFile::roundTrip_data()
{
    QTest::addColumn<MailboxSettings>("settings");

    QTest::newRow("first start") << firstStart();
    QTest::newRow("abc remembered") << remembered(u"abc"_s);
    QTest::newRow("Thai password") << remembered(u"รหัสผ่าน"_s);
    QTest::newRow("password with blanks inside") << remembered(u"a b\tc"_s);
    QTest::newRow("quote scrambled at one end only") << remembered(u"\uF7DDabc"_s);
    QTest::newRow("password of quotes") << remembered(u"\"'"_s);
    QTest::newRow("1023 bytes") << remembered(QString(1023, u'p'));
    MailboxSettings all = remembered(u"x"_s);
    all.server = u"เมล.example.co.th"_s;
    all.loginName = u"สมชาย €…"_s;
    all.checkEveryOn = 1;
    all.checkEveryMin = u"99"_s;
    all.launchAtStartup = 1;
    all.enableSound = 1;
    all.totalOldEmail = 9007199254740993LL;
    QTest::newRow("every value set") << all;
}

void TestSettingsFile::roundTrip()
{
    QFETCH(MailboxSettings, settings);
    const ComposedSettings composed = composeSettings(settings);
    QCOMPARE(composed.notRemembered, QStringList());
    QString error;
    QVERIFY2(writeSettingsFile(path(), composed.bytes, &error), qPrintable(error));
    QCOMPARE(testfs::readAll(path()), composed.bytes);

    const LoadedSettings loaded = loadSettings(path(), &error);
    QCOMPARE(error, QString());
    QCOMPARE(loaded.server, settings.server);
    QCOMPARE(loaded.loginName, settings.loginName);
    QCOMPARE(loaded.memPass, QString::number(settings.memPass));
    QCOMPARE(loaded.passwordRead, settings.memPass == 1);
    QCOMPARE(loaded.password, settings.memPass == 1 ? settings.password : QString());
    QCOMPARE(loaded.checkEveryOn, QString::number(settings.checkEveryOn));
    QCOMPARE(loaded.checkEveryMin, settings.checkEveryMin);
    QCOMPARE(loaded.launchAtStartup, QString::number(settings.launchAtStartup));
    QCOMPARE(loaded.enableSound, QString::number(settings.enableSound));
    QCOMPARE(loaded.totalOldEmail, std::optional<qint64>(settings.totalOldEmail));
}

// A file as the Windows program writes it, Thai in Windows-874 and the password scrambled, reads as
// the same texts, and saving those texts gives the same bytes back.
void TestSettingsFile::windowsFileReadsTheSameAndBack()
{
    const QByteArray windows = QByteArrayLiteral("[settings]\r\n"
                                                 "POP3MailServer=pop.\xE0\xC1\xC5.th\r\n"
                                                 "loginname=\xCA\xC1\xAA\xD2\xC2\r\n"
                                                 "mempass=1\r\n"
                                                 "loginpass=\x3C\x3E\x9E\x9D\x1F\x0E\r\n"
                                                 "checkeveryon=1\r\n"
                                                 "checkeverymin=30\r\n"
                                                 "launchatstartup=0\r\n"
                                                 "enablesound=1\r\n"
                                                 "totaloldemail=3\r\n");
    QVERIFY(testfs::writeAll(path(), windows));
    QString error;
    const LoadedSettings loaded = loadSettings(path(), &error);
    QCOMPARE(error, QString());
    QCOMPARE(loaded.server, u"pop.เมล.th"_s);
    QCOMPARE(loaded.loginName, u"สมชาย"_s);
    // 255 - each byte: C3 C1 61 62 E0 F1, that is "ฃม" "ab" "เ๑".
    QCOMPARE(loaded.password, u"\u0E23\u0E21ab\u0E40\u0E51"_s);
    QCOMPARE(loaded.totalOldEmail, std::optional<qint64>(3));
    // No security keys: automatic, nothing remembered, and none written back.
    QVERIFY(loaded.security.mode == SecurityMode::Automatic);
    QVERIFY(loaded.security.memory == SecurityMemory());

    MailboxSettings again;
    again.server = loaded.server;
    again.loginName = loaded.loginName;
    again.memPass = 1;
    again.password = loaded.password;
    again.checkEveryOn = 1;
    again.checkEveryMin = loaded.checkEveryMin;
    again.enableSound = 1;
    again.totalOldEmail = *loaded.totalOldEmail;
    QCOMPARE(composeSettings(again).bytes, windows);
}

// The keys after the nine: how each value reads, and what a save of what was read writes back.
void TestSettingsFile::securityKeys_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("tlsServer");
    QTest::addColumn<QByteArray>("trustedSha256");
    QTest::addColumn<QByteArray>("written");

    const QByteArray sha(64, 'a');
    const QByteArray shaWithColons = QByteArray("AA:").repeated(31) + "AA";
    const int automatic = int(SecurityMode::Automatic);
    QTest::newRow("tls") << QByteArray("security=tls\r\n") << int(SecurityMode::Tls) << QString()
                         << QByteArray() << QByteArray("security=tls\r\n");
    QTest::newRow("STARTTLS in capitals, with blanks")
        << QByteArray("security= STARTTLS \r\n") << int(SecurityMode::StartTls) << QString()
        << QByteArray() << QByteArray("security=starttls\r\n");
    QTest::newRow("none") << QByteArray("security=none\r\n") << int(SecurityMode::None) << QString()
                          << QByteArray() << QByteArray("security=none\r\n");
    QTest::newRow("auto is the default, not written")
        << QByteArray("security=auto\r\n") << automatic << QString() << QByteArray()
        << QByteArray();
    QTest::newRow("unknown value reads as automatic")
        << QByteArray("security=ssl\r\n") << automatic << QString() << QByteArray() << QByteArray();
    QTest::newRow("learnt for this server, fingerprint with colons")
        << "tlsserver=mail.example.com\r\ncertserver=mail.example.com\r\ncertsha256=" +
               shaWithColons + "\r\n"
        << automatic << u"mail.example.com"_s << sha
        << "tlsserver=mail.example.com\r\ncertserver=mail.example.com\r\ncertsha256=" + sha +
               "\r\n";
    QTest::newRow("learnt for another server is dropped")
        << "tlsserver=old.example.com\r\ncertserver=old.example.com\r\ncertsha256=" + sha + "\r\n"
        << automatic << QString() << QByteArray() << QByteArray();
    QTest::newRow("a fingerprint that is no SHA-256 is dropped")
        << QByteArray("certserver=mail.example.com\r\ncertsha256=12:34\r\n") << automatic
        << QString() << QByteArray() << QByteArray();
}

void TestSettingsFile::securityKeys()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, mode);
    QFETCH(QString, tlsServer);
    QFETCH(QByteArray, trustedSha256);
    QFETCH(QByteArray, written);

    const QByteArray nine = composeSettings(remembered(u"abc"_s)).bytes;
    QVERIFY(testfs::writeAll(path(), nine + stored));
    QString error;
    const LoadedSettings loaded = loadSettings(path(), &error);
    QCOMPARE(error, QString());
    QCOMPARE(int(loaded.security.mode), mode);
    QCOMPARE(loaded.security.memory.tlsServer, tlsServer);
    QCOMPARE(loaded.security.memory.trustedSha256, trustedSha256);
    QCOMPARE(loaded.security.memory.trustedServer,
             trustedSha256.isEmpty() ? QString() : loaded.server);

    MailboxSettings again = remembered(u"abc"_s);
    again.security = loaded.security.mode;
    again.securityMemory = loaded.security.memory;
    QCOMPARE(composeSettings(again).bytes, nine + written);
}

void TestSettingsFile::loadRules_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("passwordRead");
    QTest::addColumn<QString>("password");
    QTest::addColumn<std::optional<qint64>>("totalOldEmail");

    const auto withMempass = [](const QByteArray &mempass, const QByteArray &total) {
        return QByteArray("[settings]\r\nmempass=" + mempass +
                          "\r\nloginpass=\x9E\x9D\x9C\r\n"
                          "totaloldemail=" +
                          total + "\r\n");
    };
    QTest::newRow("mempass 1") << withMempass("1", "5") << true << u"abc"_s
                               << std::optional<qint64>(5);
    QTest::newRow("mempass 1.0") << withMempass("1.0", "5") << true << u"abc"_s
                                 << std::optional<qint64>(5);
    QTest::newRow("mempass 0 skips the password")
        << withMempass("0", "5") << false << QString() << std::optional<qint64>(5);
    QTest::newRow("mempass 2 skips the password")
        << withMempass("2", "5") << false << QString() << std::optional<qint64>(5);
    QTest::newRow("mempass yes counts as remembered")
        << withMempass("yes", "5") << true << u"abc"_s << std::optional<qint64>(5);
    QTest::newRow("mempass missing counts as remembered")
        << QByteArrayLiteral("[settings]\r\nloginpass=\x9E\x9D\x9C\r\n") << true << u"abc"_s
        << std::optional<qint64>();
    QTest::newRow("totaloldemail abc does not convert")
        << withMempass("1", "abc") << true << u"abc"_s << std::optional<qint64>();
    QTest::newRow("totaloldemail 40000 is kept")
        << withMempass("1", "40000") << true << u"abc"_s << std::optional<qint64>(40000);
    QTest::newRow("totaloldemail below 0 reads as no count")
        << withMempass("1", "-32769") << true << u"abc"_s << std::optional<qint64>();
    QTest::newRow("totaloldemail past 64 bits does not convert")
        << withMempass("1", "99999999999999999999") << true << u"abc"_s << std::optional<qint64>();
}

void TestSettingsFile::loadRules()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, passwordRead);
    QFETCH(QString, password);
    QFETCH(std::optional<qint64>, totalOldEmail);
    QVERIFY(testfs::writeAll(path(), file));
    QString error;
    const LoadedSettings loaded = loadSettings(path(), &error);
    QCOMPARE(error, QString());
    QCOMPARE(loaded.passwordRead, passwordRead);
    QCOMPARE(loaded.password, password);
    QCOMPARE(loaded.totalOldEmail, totalOldEmail);
    QCOMPARE(loaded.server, QString());
}

void TestSettingsFile::loadUnreadable()
{
    QVERIFY(QDir().mkdir(path()));
    QString error;
    const LoadedSettings loaded = loadSettings(path(), &error);
    QVERIFY2(error.contains(path()), qPrintable(error));
    QCOMPARE(loaded.memPass, QString());
    QCOMPARE(loaded.checkEveryMin, QString());
}

void TestSettingsFile::loadMissing()
{
    QString error = u"stale"_s;
    const LoadedSettings loaded = loadSettings(path(), &error);
    QCOMPARE(error, QString());
    QCOMPARE(loaded.server, QString());
    QCOMPARE(loaded.memPass, QString());
    QVERIFY(loaded.passwordRead); // "" is not a number: the test for 1 counts as passed
    QCOMPARE(loaded.password, QString());
    QCOMPARE(loaded.checkEveryMin, QString());
    QCOMPARE(loaded.totalOldEmail, std::optional<qint64>());
}

void TestSettingsFile::saveCreatesOwnerOnlyFile()
{
    QString error;
    QVERIFY2(writeSettingsFile(path(), QByteArrayLiteral("[settings]\r\n"), &error),
             qPrintable(error));
    QCOMPARE(modeOf(path()), 0600);
    // Nothing but the file itself is left behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{u"Settings.inf"_s});
}

void TestSettingsFile::saveNarrowsAWiderFile()
{
    QVERIFY(testfs::writeAll(path(), QByteArrayLiteral("old")));
    QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QString error;
    QVERIFY2(writeSettingsFile(path(), QByteArrayLiteral("new"), &error), qPrintable(error));
    QCOMPARE(testfs::readAll(path()), QByteArrayLiteral("new"));
    QCOMPARE(modeOf(path()), 0600);
}

// A user who keeps Settings.inf elsewhere behind a link keeps the link.
void TestSettingsFile::saveFollowsALink()
{
    const QString target = m_dir->filePath(u"kept.inf"_s);
    QVERIFY(testfs::writeAll(target, QByteArrayLiteral("old")));
    QVERIFY(QFile::link(target, path()));
    QString error;
    QVERIFY2(writeSettingsFile(path(), QByteArrayLiteral("new"), &error), qPrintable(error));
    QVERIFY(QFileInfo(path()).isSymLink());
    QCOMPARE(testfs::readAll(target), QByteArrayLiteral("new"));
}

// The same bytes again leave the file alone (no new inode, nothing written); anything that
// differs from what a save would leave gets a new file.
void TestSettingsFile::saveOfTheSameBytes_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("replaced");
    const QByteArray bytes = composeSettings(remembered(u"abc"_s)).bytes;
    QTest::newRow("same bytes, owner only") << bytes << 0600 << false;
    QTest::newRow("same bytes, readable by others") << bytes << 0644 << true;
    QTest::newRow("one byte more") << bytes + '\n' << 0600 << true;
    QTest::newRow("one byte less") << bytes.chopped(1) << 0600 << true;
    QByteArray changed = bytes;
    changed[changed.size() - 3] = 'x';
    QTest::newRow("same length, one byte changed") << changed << 0600 << true;
    QTest::newRow("empty file") << QByteArray() << 0600 << true;
}

void TestSettingsFile::saveOfTheSameBytes()
{
    QFETCH(QByteArray, before);
    QFETCH(int, mode);
    QFETCH(bool, replaced);
    const QByteArray bytes = composeSettings(remembered(u"abc"_s)).bytes;
    QVERIFY(testfs::writeAll(path(), before));
    QVERIFY(::chmod(QFile::encodeName(path()).constData(), mode_t(mode)) == 0);
    const auto inode = [&] {
        struct stat status {
        };
        return ::stat(QFile::encodeName(path()).constData(), &status) == 0 ? status.st_ino
                                                                           : ino_t(0);
    };
    const ino_t first = inode();
    QString error = u"stale"_s;
    QVERIFY2(writeSettingsFile(path(), bytes, &error), qPrintable(error));
    QCOMPARE(error, QString());
    QCOMPARE(testfs::readAll(path()), bytes);
    QCOMPARE(modeOf(path()), 0600);
    QCOMPARE(inode() != first, replaced);
}

enum class Fault { ReadOnlyFolder, ReadOnlyMount, FolderNamedSettings, FullDisk, MissingFolder };

void TestSettingsFile::failedSaveKeepsTheOldFile_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only folder") << Fault::ReadOnlyFolder << u"ermission"_s;
    QTest::newRow("read-only file system") << Fault::ReadOnlyMount << u"not writable"_s;
    QTest::newRow("Settings.inf is a folder") << Fault::FolderNamedSettings << u"irectory"_s;
    QTest::newRow("full disk") << Fault::FullDisk << u"space"_s;
    QTest::newRow("folder gone") << Fault::MissingFolder << u"o such"_s;
}

void TestSettingsFile::failedSaveKeepsTheOldFile()
{
    QFETCH(Fault, fault);
    QFETCH(QString, reason);

    const QByteArray old = composeSettings(remembered(u"abc"_s)).bytes;
    const QByteArray next = composeSettings(remembered(QString(1000, u'n'))).bytes;
    QString folder = m_dir->filePath(u"program"_s);
    QVERIFY(QDir().mkdir(folder));
    const auto writableAgain = qScopeGuard([&] {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    });
    std::unique_ptr<testfs::Tmpfs> mount;
    testfs::PermissionsApply permissions;

    switch (fault) {
    case Fault::ReadOnlyFolder:
        QVERIFY(testfs::writeAll(folder + u"/Settings.inf"_s, old));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (testfs::canCreateFileIn(folder))
            QSKIP("permission bits do not bind this process");
        break;
    case Fault::ReadOnlyMount:
    case Fault::FullDisk:
        mount = std::make_unique<testfs::Tmpfs>(folder, 64 * 1024);
        if (!mount->mounted())
            QSKIP(qPrintable(u"cannot mount a tmpfs: "_s + mount->error()));
        QVERIFY(testfs::writeAll(folder + u"/Settings.inf"_s, old));
        if (fault == Fault::ReadOnlyMount)
            QVERIFY(mount->remountReadOnly());
        else
            QVERIFY(mount->fill());
        break;
    case Fault::FolderNamedSettings:
        QVERIFY(QDir().mkdir(folder + u"/Settings.inf"_s));
        break;
    case Fault::MissingFolder:
        folder = m_dir->filePath(u"gone"_s);
        break;
    }

    const QString settings = folder + u"/Settings.inf"_s;
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QString error;
    QVERIFY(!writeSettingsFile(settings, next, &error));
    QVERIFY2(error.contains(settings), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY2(!error.contains(u'\n'), qPrintable(error));

    // The previous state is whole, and no temporary file is left over.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    switch (fault) {
    case Fault::FolderNamedSettings:
        QVERIFY(QFileInfo(settings).isDir());
        break;
    case Fault::MissingFolder:
        QVERIFY(!QFileInfo::exists(folder));
        break;
    default:
        QCOMPARE(testfs::readAll(settings), old);
        break;
    }
}

QTEST_APPLESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
