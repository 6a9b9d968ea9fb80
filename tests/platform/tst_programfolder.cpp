#include "platform/InstallLayout.h"
#include "platform/ProgramFolder.h"
#include "settings/TestFileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestProgramFolder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writableFolderIsUsed_data();
    void writableFolderIsUsed();
    void readOnlyFolderFallsBack_data();
    void readOnlyFolderFallsBack();
    void existingFallbackIsKept();
    void settingsBesideAReadOnlyProgram_data();
    void settingsBesideAReadOnlyProgram();
    void installedProgramNeverWritesBesideItself();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_home;
    QByteArray m_configHome;
    bool m_hadConfigHome = false;
};

void TestProgramFolder::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_home = qgetenv("HOME");
    m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(m_dir->filePath(u"home"_s)));
    qunsetenv("XDG_CONFIG_HOME");
}

void TestProgramFolder::cleanup()
{
    qputenv("HOME", m_home);
    if (m_hadConfigHome)
        qputenv("XDG_CONFIG_HOME", m_configHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
    m_dir.reset();
}

void TestProgramFolder::writableFolderIsUsed_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << u"bin"_s << u"bin"_s;
    QTest::newRow("trailing separator dropped") << u"bin/"_s << u"bin"_s;
    QTest::newRow("dot segments resolved") << u"bin/../bin/./"_s << u"bin"_s;
}

void TestProgramFolder::writableFolderIsUsed()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QVERIFY(QDir().mkdir(m_dir->filePath(u"bin"_s)));
    QCOMPARE(programFolder(m_dir->path() + u'/' + given), m_dir->filePath(expected));
    // Deciding leaves nothing behind, and needs no configuration folder.
    QCOMPARE(QDir(m_dir->filePath(u"bin"_s))
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"home"_s)));
}

void TestProgramFolder::readOnlyFolderFallsBack_data()
{
    QTest::addColumn<bool>("setConfigHome");
    QTest::addColumn<QString>("configHome"); // relative to the test folder, or as given
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_CONFIG_HOME unset") << false << QString() << u"home/.config/larkspur"_s;
    QTest::newRow("XDG_CONFIG_HOME empty") << true << u""_s << u"home/.config/larkspur"_s;
    QTest::newRow("XDG_CONFIG_HOME relative is ignored")
        << true << u"relative/config"_s << u"home/.config/larkspur"_s;
    QTest::newRow("XDG_CONFIG_HOME set") << true << u"<abs>/xdg"_s << u"xdg/larkspur"_s;
}

void TestProgramFolder::readOnlyFolderFallsBack()
{
    QFETCH(bool, setConfigHome);
    QFETCH(QString, configHome);
    QFETCH(QString, expected);

    if (setConfigHome) {
        configHome.replace(u"<abs>"_s, m_dir->path());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
    }
    const QString bin = m_dir->filePath(u"bin"_s);
    QVERIFY(QDir().mkdir(bin));
    const auto writableAgain = qScopeGuard([&] {
        QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);
    });
    testfs::PermissionsApply permissions;
    QVERIFY(QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (testfs::canCreateFileIn(bin))
        QSKIP("permission bits do not bind this process");

    const QString folder = programFolder(bin);
    QCOMPARE(folder, m_dir->filePath(expected));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(QFileInfo(folder).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteGroup | QFileDevice::WriteOther),
             QFileDevice::Permissions());
    QVERIFY(testfs::canCreateFileIn(folder));
}

void TestProgramFolder::existingFallbackIsKept()
{
    const QString fallback = m_dir->filePath(u"home/.config/larkspur"_s);
    QVERIFY(QDir().mkpath(fallback));
    QVERIFY(testfs::writeAll(fallback + u"/Settings.inf"_s, QByteArrayLiteral("[settings]\r\n")));
    QVERIFY(QFile::setPermissions(fallback, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ExeGroup));
    // A folder that does not exist cannot take Settings.inf either.
    QCOMPARE(programFolder(m_dir->filePath(u"no-such-bin"_s)), fallback);
    QCOMPARE(testfs::readAll(fallback + u"/Settings.inf"_s), QByteArrayLiteral("[settings]\r\n"));
    // The user's own choice of permissions on an existing folder stands.
    QVERIFY(QFileInfo(fallback).permissions() & QFileDevice::ReadGroup);
}

enum class Fallback { Empty, HasItsOwn, BesideUnreadable };

void TestProgramFolder::settingsBesideAReadOnlyProgram_data()
{
    QTest::addColumn<Fallback>("fallback");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("note"); // a part of it; empty: no note

    QTest::newRow("copied into an empty settings folder")
        << Fallback::Empty << QByteArrayLiteral("[settings]\r\nloginname=beside\r\n")
        << u"ใช้ค่าจาก"_s;
    QTest::newRow("the settings folder's own file stands")
        << Fallback::HasItsOwn << QByteArrayLiteral("[settings]\r\nloginname=own\r\n") << QString();
    QTest::newRow("one that cannot be read is said so")
        << Fallback::BesideUnreadable << QByteArrayLiteral("<unreadable>") << u"ermission"_s;
}

void TestProgramFolder::settingsBesideAReadOnlyProgram()
{
    QFETCH(Fallback, fallback);
    QFETCH(QByteArray, expected);
    QFETCH(QString, note);

    const QString bin = m_dir->filePath(u"bin"_s);
    const QString besideSettings = bin + u"/Settings.inf"_s;
    const QString settings = m_dir->filePath(u"home/.config/larkspur/Settings.inf"_s);
    QVERIFY(QDir().mkdir(bin));
    QVERIFY(
        testfs::writeAll(besideSettings, QByteArrayLiteral("[settings]\r\nloginname=beside\r\n")));
    if (fallback == Fallback::HasItsOwn) {
        QVERIFY(QDir().mkpath(QFileInfo(settings).path()));
        QVERIFY(testfs::writeAll(settings, QByteArrayLiteral("[settings]\r\nloginname=own\r\n")));
    }
    if (fallback == Fallback::BesideUnreadable)
        QVERIFY(QFile::setPermissions(besideSettings, QFileDevice::WriteOwner));
    const auto writableAgain = qScopeGuard([&] {
        QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);
    });
    testfs::PermissionsApply permissions;
    QVERIFY(QFile::setPermissions(bin, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (testfs::canCreateFileIn(bin))
        QSKIP("permission bits do not bind this process");

    QString told;
    QCOMPARE(programFolder(bin, &told), QFileInfo(settings).path());
    QCOMPARE(testfs::readAll(settings), expected);
    if (note.isEmpty()) {
        QCOMPARE(told, QString());
    } else {
        // One line that names where the settings are kept now, and why.
        QVERIFY2(told.contains(note) && told.contains(settings), qPrintable(told));
        QVERIFY2(!told.contains(u'\n'), qPrintable(told));
    }
    if (fallback == Fallback::Empty)
        QCOMPARE(QFile::permissions(settings) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // The file beside the program is left as it was.
    if (fallback != Fallback::BesideUnreadable)
        QCOMPARE(testfs::readAll(besideSettings),
                 QByteArrayLiteral("[settings]\r\nloginname=beside\r\n"));
}

void TestProgramFolder::installedProgramNeverWritesBesideItself()
{
    // <prefix>/bin/larkspur with <prefix>/share/larkspur: an installation, writable or not.
    const QString bin = m_dir->filePath(u"usr/bin"_s);
    QVERIFY(QDir().mkpath(bin));
    QCOMPARE(installedDataFolder(bin), QString());
    QCOMPARE(programFolder(bin), bin);
    QVERIFY(QDir().mkpath(m_dir->filePath(u"usr/share/larkspur"_s)));
    QCOMPARE(installedDataFolder(bin + u"/"_s), m_dir->filePath(u"usr/share/larkspur"_s));
    QCOMPARE(programFolder(bin), m_dir->filePath(u"home/.config/larkspur"_s));
}

QTEST_APPLESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
