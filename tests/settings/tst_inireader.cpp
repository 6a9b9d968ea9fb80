#include "TestFileSystem.h"
#include "settings/IniReader.h"

#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestIniReader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lookup_data();
    void lookup();
    void keyNames_data();
    void keyNames();
    void missingFile_data();
    void missingFile();
    void unreadable_data();
    void unreadable();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestIniReader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestIniReader::lookup_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("defaultValue");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray own = QByteArrayLiteral("[settings]\r\nPOP3MailServer=mail.example.com\r\n"
                                             "loginname=somchai\r\nmempass=1\r\n"
                                             "loginpass=\x9E\x9D\x9C\r\ncheckeveryon=0\r\n"
                                             "checkeverymin=15\r\n");
    const QString settings = u"settings"_s;
    const QByteArray none;

    QTest::newRow("program's own file")
        << own << settings << u"loginname"_s << none << QByteArrayLiteral("somchai");
    QTest::newRow("scrambled bytes unchanged")
        << own << settings << u"loginpass"_s << none << QByteArrayLiteral("\x9E\x9D\x9C");
    QTest::newRow("last line") << own << settings << u"checkeverymin"_s << none
                               << QByteArrayLiteral("15");
    QTest::newRow("hand-written MEMPASS=1 under [Settings]")
        << QByteArrayLiteral("[Settings]\r\nMEMPASS=1\r\n") << settings << u"mempass"_s << none
        << QByteArrayLiteral("1");
    QTest::newRow("key asked in other case") << own << u"SETTINGS"_s << u"pop3mailserver"_s << none
                                             << QByteArrayLiteral("mail.example.com");
    QTest::newRow("blanks around name and value")
        << QByteArrayLiteral("  [settings]  \r\n   mempass   =   1   \r\n") << settings
        << u"mempass"_s << none << QByteArrayLiteral("1");
    QTest::newRow("tabs around value")
        << QByteArrayLiteral("[settings]\r\nmempass=\t1\t\r\n") << settings << u"mempass"_s << none
        << QByteArrayLiteral("1");
    QTest::newRow("vertical tabs around value, as Windows trims them")
        << QByteArrayLiteral("[settings]\r\nloginname= bob \v\r\n") << settings << u"loginname"_s
        << none << QByteArrayLiteral("bob");
    QTest::newRow("inner blanks kept")
        << QByteArrayLiteral("[settings]\r\nloginname= som  chai \r\n") << settings
        << u"loginname"_s << none << QByteArrayLiteral("som  chai");
    QTest::newRow("no-break space is not a blank")
        << QByteArrayLiteral("[settings]\r\nloginname=\xA0x\xA0\r\n") << settings << u"loginname"_s
        << none << QByteArrayLiteral("\xA0x\xA0");
    QTest::newRow("double quotes removed")
        << QByteArrayLiteral("[settings]\r\nloginname=\"som chai\"\r\n") << settings
        << u"loginname"_s << none << QByteArrayLiteral("som chai");
    QTest::newRow("single quotes removed")
        << QByteArrayLiteral("[settings]\r\nloginname='som'\r\n") << settings << u"loginname"_s
        << none << QByteArrayLiteral("som");
    QTest::newRow("blanks inside quotes kept")
        << QByteArrayLiteral("[settings]\r\nloginname=  \" som \"  \r\n") << settings
        << u"loginname"_s << none << QByteArrayLiteral(" som ");
    QTest::newRow("only one pair removed")
        << QByteArrayLiteral("[settings]\r\nloginname=\"\"som\"\"\r\n") << settings
        << u"loginname"_s << none << QByteArrayLiteral("\"som\"");
    QTest::newRow("mismatched quotes kept")
        << QByteArrayLiteral("[settings]\r\nloginname=\"som'\r\n") << settings << u"loginname"_s
        << none << QByteArrayLiteral("\"som'");
    QTest::newRow("one quote alone kept")
        << QByteArrayLiteral("[settings]\r\nloginname=\"\r\n") << settings << u"loginname"_s << none
        << QByteArrayLiteral("\"");
    QTest::newRow("empty quotes give empty")
        << QByteArrayLiteral("[settings]\r\nloginname=''\r\n") << settings << u"loginname"_s
        << QByteArrayLiteral("dflt") << QByteArray("");
    QTest::newRow("value after the first equals sign")
        << QByteArrayLiteral("[settings]\r\nloginname=a=b\r\n") << settings << u"loginname"_s
        << none << QByteArrayLiteral("a=b");
    QTest::newRow("empty value is not the default")
        << QByteArrayLiteral("[settings]\r\nloginname=\r\n") << settings << u"loginname"_s
        << QByteArrayLiteral("dflt") << QByteArray("");
    QTest::newRow("2000-character value cut to 1023")
        << QByteArray("[settings]\r\nloginname=" + QByteArray(2000, 'x') + "\r\n") << settings
        << u"loginname"_s << none << QByteArray(1023, 'x');
    QTest::newRow("1023-character value whole")
        << QByteArray("[settings]\r\nloginname=" + QByteArray(1022, 'x') + "y\r\n") << settings
        << u"loginname"_s << none << QByteArray(QByteArray(1022, 'x') + "y");
    QTest::newRow("quotes removed before the cut")
        << QByteArray("[settings]\r\nloginname=\"" + QByteArray(1100, 'x') + "\"\r\n") << settings
        << u"loginname"_s << none << QByteArray(1023, 'x');
    QTest::newRow("missing section")
        << QByteArrayLiteral("[other]\r\nloginname=x\r\n") << settings << u"loginname"_s
        << QByteArrayLiteral("dflt") << QByteArrayLiteral("dflt");
    QTest::newRow("missing key") << own << settings << u"enablesound"_s << QByteArrayLiteral("dflt")
                                 << QByteArrayLiteral("dflt");
    QTest::newRow("empty file") << QByteArray() << settings << u"mempass"_s << none << none;
    QTest::newRow("key of another section")
        << QByteArrayLiteral("[settings]\r\na=1\r\n[other]\r\nmempass=1\r\n") << settings
        << u"mempass"_s << none << none;
    QTest::newRow("key before any section")
        << QByteArrayLiteral("mempass=1\r\n[settings]\r\na=1\r\n") << settings << u"mempass"_s
        << none << none;
    QTest::newRow("key name is whole, not a prefix")
        << QByteArrayLiteral("[settings]\r\nmempassword=1\r\nmem=2\r\n") << settings << u"mempass"_s
        << none << none;
    QTest::newRow("section name is whole, not a prefix")
        << QByteArrayLiteral("[settings2]\r\nmempass=1\r\n") << settings << u"mempass"_s << none
        << none;
    QTest::newRow("first of two equal keys")
        << QByteArrayLiteral("[settings]\r\nmempass=1\r\nmempass=0\r\n") << settings << u"mempass"_s
        << none << QByteArrayLiteral("1");
    QTest::newRow("first of two equal sections")
        << QByteArrayLiteral("[settings]\r\nmempass=1\r\n[settings]\r\nmempass=0\r\n") << settings
        << u"mempass"_s << none << QByteArrayLiteral("1");
    QTest::newRow("line without equals sign gives the default")
        << QByteArrayLiteral("[settings]\r\nmempass\r\nmempass=1\r\n") << settings << u"mempass"_s
        << QByteArrayLiteral("dflt") << QByteArrayLiteral("dflt");
    QTest::newRow("blank lines and comment lines")
        << QByteArrayLiteral("\r\n; saved by hand\r\n[settings]\r\n\r\n;mempass=0\r\n\r\n"
                             "mempass=1\r\n")
        << settings << u"mempass"_s << none << QByteArrayLiteral("1");
    QTest::newRow("semicolon in a value kept")
        << QByteArrayLiteral("[settings]\r\nloginname=a ; b\r\n") << settings << u"loginname"_s
        << none << QByteArrayLiteral("a ; b");
    QTest::newRow("UTF-8 byte-order mark before [settings]")
        << QByteArrayLiteral("\xEF\xBB\xBF[settings]\r\nmempass=1\r\n") << settings << u"mempass"_s
        << none << QByteArrayLiteral("1");
    // Notepad's "Unicode" (UTF-16 LE) and "Unicode big endian", with their byte-order marks.
    const QString thai = u"[settings]\r\nloginname=\u0E2A\u0E21\u0E0A\u0E32\u0E22\r\n"_s;
    QByteArray littleEndian("\xFF\xFE");
    QByteArray bigEndian("\xFE\xFF");
    for (const QChar c : thai) {
        littleEndian += char(c.unicode() & 0xFF);
        littleEndian += char(c.unicode() >> 8);
        bigEndian += char(c.unicode() >> 8);
        bigEndian += char(c.unicode() & 0xFF);
    }
    QTest::newRow("UTF-16 LE read as its Windows-874 bytes")
        << littleEndian << settings << u"loginname"_s << none
        << QByteArrayLiteral("\xCA\xC1\xAA\xD2\xC2");
    QTest::newRow("UTF-16 BE read as its Windows-874 bytes")
        << bigEndian << settings << u"loginname"_s << none
        << QByteArrayLiteral("\xCA\xC1\xAA\xD2\xC2");
    QTest::newRow("LF line ends") << QByteArrayLiteral("[settings]\nmempass=1\nenablesound=1\n")
                                  << settings << u"enablesound"_s << none << QByteArrayLiteral("1");
    QTest::newRow("CR line ends") << QByteArrayLiteral("[settings]\rmempass=1\renablesound=1\r")
                                  << settings << u"mempass"_s << none << QByteArrayLiteral("1");
    QTest::newRow("no line end after the last value")
        << QByteArrayLiteral("[settings]\r\nmempass=1") << settings << u"mempass"_s << none
        << QByteArrayLiteral("1");
    QTest::newRow("CR in a value ends the line")
        << QByteArrayLiteral("[settings]\r\nloginpass=ab\rcd\r\n") << settings << u"loginpass"_s
        << none << QByteArrayLiteral("ab");
    QTest::newRow("NUL in a value ends it")
        << QByteArrayLiteral("[settings]\r\nloginpass=ab\0cd\r\n") << settings << u"loginpass"_s
        << none << QByteArrayLiteral("ab");
    QTest::newRow("section header with trailing text")
        << QByteArrayLiteral("[settings] saved\r\nmempass=1\r\n") << settings << u"mempass"_s
        << none << QByteArrayLiteral("1");
    QTest::newRow("section header without its closing bracket")
        << QByteArrayLiteral("[settings\r\nloginname=bob\r\n") << settings << u"loginname"_s << none
        << QByteArrayLiteral("bob");
    QTest::newRow("Thai value bytes unchanged")
        << QByteArrayLiteral("[settings]\r\nloginname=\xCA\xC1\xAA\xD2\xC2\r\n") << settings
        << u"loginname"_s << none << QByteArrayLiteral("\xCA\xC1\xAA\xD2\xC2");
    // 0xC1 and 0xE1 are case partners in Latin-1, but two different Thai letters.
    QTest::newRow("Thai names have no case")
        << QByteArrayLiteral("[settings]\r\n\xE1=1\r\n") << settings << u"\u0E21"_s << none << none;
    QTest::newRow("value after an overlong line")
        << QByteArray("[settings]\r\njunk=" + QByteArray(200 * 1024, 'j') + "\r\nmempass=1\r\n")
        << settings << u"mempass"_s << none << QByteArrayLiteral("1");
    QTest::newRow("overlong value line cut to 1023")
        << QByteArray("[settings]\r\nloginname=" + QByteArray(200 * 1024, 'v') + "\r\n") << settings
        << u"loginname"_s << none << QByteArray(1023, 'v');
    QTest::newRow("empty key name gives the default")
        << QByteArrayLiteral("[settings]\r\n=1\r\n") << settings << QString(u""_s)
        << QByteArrayLiteral("dflt") << QByteArrayLiteral("dflt");
    QTest::newRow("default loses its trailing blanks")
        << QByteArray() << settings << u"mempass"_s << QByteArrayLiteral("dflt  ")
        << QByteArrayLiteral("dflt");
}

void TestIniReader::lookup()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QByteArray, defaultValue);
    QFETCH(QByteArray, expected);

    const QString path = m_dir->filePath(u"Settings.inf"_s);
    QVERIFY(testfs::writeAll(path, file));
    QString error = u"stale"_s;
    const QByteArray value = ReadIniString(section, key, defaultValue, path, &error);
    QCOMPARE(value, expected);
    QCOMPARE(error, QString());
}

void TestIniReader::keyNames_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("every key of the section, in file order")
        << QByteArrayLiteral("[other]\r\nx=1\r\n[settings]\r\nmempass=1\r\n Loginname = a\r\n"
                             "\r\nenablesound\r\n[more]\r\ny=2\r\n")
        << QByteArrayLiteral("mempass\0Loginname\0enablesound\0");
    QTest::newRow("missing section gives the default")
        << QByteArrayLiteral("[other]\r\nx=1\r\n") << QByteArrayLiteral("dflt");
    QByteArray many = QByteArrayLiteral("[settings]\r\n");
    for (int i = 0; i < 1000; ++i)
        many += "key" + QByteArray::number(1000 + i) + "=v\r\n";
    QByteArray names;
    for (int i = 0; i < 1000; ++i)
        names += "key" + QByteArray::number(1000 + i) + '\0';
    QTest::newRow("long list cut to 4094") << many << names.left(4094);
}

void TestIniReader::keyNames()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, expected);
    const QString path = m_dir->filePath(u"Settings.inf"_s);
    QVERIFY(testfs::writeAll(path, file));
    QCOMPARE(ReadIniString(u"settings"_s, QString(), QByteArrayLiteral("dflt"), path), expected);
}

void TestIniReader::missingFile_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::newRow("no such file") << u"Settings.inf"_s;
    QTest::newRow("no such folder") << u"gone/Settings.inf"_s;
}

void TestIniReader::missingFile()
{
    QFETCH(QString, relativePath);
    QString error = u"stale"_s;
    QCOMPARE(ReadIniString(u"settings"_s, u"mempass"_s, QByteArrayLiteral("dflt"),
                           m_dir->filePath(relativePath), &error),
             QByteArrayLiteral("dflt"));
    QCOMPARE(error, QString());
}

enum class Unreadable { Folder, BrokenLink, NoPermission, Fifo, TooLarge, Utf16Foreign, Utf16Cut };

void TestIniReader::unreadable_data()
{
    QTest::addColumn<Unreadable>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a folder") << Unreadable::Folder << u"folder"_s;
    QTest::newRow("a broken link") << Unreadable::BrokenLink << u"does not exist"_s;
    QTest::newRow("no read permission") << Unreadable::NoPermission << u"ermission"_s;
    QTest::newRow("a named pipe, which must not hang") << Unreadable::Fifo << u"regular"_s;
    QTest::newRow("over 1 MiB of comment lines, refused unread")
        << Unreadable::TooLarge << u"larger than 1 MiB"_s;
    QTest::newRow("UTF-16 holding what Windows-874 cannot")
        << Unreadable::Utf16Foreign << u"Windows-874 cannot hold"_s;
    QTest::newRow("UTF-16 cut in the middle of a character")
        << Unreadable::Utf16Cut << u"cut off"_s;
}

void TestIniReader::unreadable()
{
    QFETCH(Unreadable, kind);
    QFETCH(QString, reason);

    const QString path = m_dir->filePath(u"Settings.inf"_s);
    const QByteArray nativePath = QFile::encodeName(path);
    testfs::PermissionsApply permissions;
    switch (kind) {
    case Unreadable::Folder:
        QVERIFY(QDir().mkdir(path));
        break;
    case Unreadable::BrokenLink:
        QVERIFY(QFile::link(m_dir->filePath(u"elsewhere.inf"_s), path));
        break;
    case Unreadable::NoPermission:
        QVERIFY(testfs::writeAll(path, QByteArrayLiteral("[settings]\r\nmempass=1\r\n")));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        if (QFile file(path); file.open(QIODevice::ReadOnly))
            QSKIP("permission bits do not bind this process");
        break;
    case Unreadable::Fifo:
        QCOMPARE(::mkfifo(nativePath.constData(), 0600), 0);
        break;
    case Unreadable::TooLarge: {
        QByteArray comments("[settings]\r\nmempass=1\r\n");
        while (comments.size() <= 1024 * 1024)
            comments += "; a comment line of no use to anyone\r\n";
        QVERIFY(testfs::writeAll(path, comments));
        break;
    }
    case Unreadable::Utf16Foreign: // "[s]" and an e-acute, which Windows-874 lacks
        QVERIFY(testfs::writeAll(path, QByteArrayLiteral("\xFF\xFE[\0s\0]\0\r\0\n\0\xE9\0")));
        break;
    case Unreadable::Utf16Cut:
        QVERIFY(testfs::writeAll(path, QByteArrayLiteral("\xFF\xFE[\0s\0]")));
        break;
    }

    QString error;
    QCOMPARE(ReadIniString(u"settings"_s, u"mempass"_s, QByteArrayLiteral("dflt"), path, &error),
             QByteArrayLiteral("dflt"));
    QVERIFY2(error.contains(path), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY2(!error.contains(u'\n'), qPrintable(error));
}

QTEST_APPLESS_MAIN(TestIniReader)
#include "tst_inireader.moc"
