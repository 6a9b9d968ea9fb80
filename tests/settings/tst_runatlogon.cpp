#include "platform/XdgAutostart.h"
#include "settings/RunAtLogon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{

bool writeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArrayLiteral("x")) == 1;
}

} // namespace

class TestRunAtLogon : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void chkLoadStart_Click_data();
    void chkLoadStart_Click();
    void failureIsToldAndSettingsStillSaved_data();
    void failureIsToldAndSettingsStillSaved();
    void addAndRemoveUseTheGivenName();
    void runCommandIsThisExecutable();

private:
    QString configHome() const { return m_temp->path() + u"/config"_s; }
    QString entryFile() const { return configHome() + u"/autostart/Larkspur.desktop"_s; }
    // The program the entry starts, or "" without an entry.
    QString entryProgram() const;

    std::optional<QTemporaryDir> m_temp;
    QByteArray m_savedConfigHome;
    bool m_hadConfigHome = false;
};

QString TestRunAtLogon::entryProgram() const
{
    QFile file(entryFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &line : lines) {
        if (line.startsWith(u"Exec="))
            return parseExec(line.mid(5)).value(0, u"<unreadable Exec>"_s);
    }
    return u"<no Exec>"_s;
}

void TestRunAtLogon::init()
{
    m_temp.emplace();
    QVERIFY(m_temp->isValid());
    m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
}

void TestRunAtLogon::cleanup()
{
    if (m_hadConfigHome)
        qputenv("XDG_CONFIG_HOME", m_savedConfigHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
    QFile::setPermissions(configHome() + u"/autostart"_s,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_temp.reset();
}

void TestRunAtLogon::chkLoadStart_Click_data()
{
    QTest::addColumn<QString>("before"); // the program of an existing entry, "" for none
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("after");

    const QString none;
    QTest::newRow("tick writes the entry")
        << none << 1 << u"/opt/larkspur/larkspur"_s << u"/opt/larkspur/larkspur"_s;
    QTest::newRow("tick after a move writes the new path")
        << u"/old/larkspur"_s << 1 << u"/new home/larkspur"_s << u"/new home/larkspur"_s;
    QTest::newRow("tick with blanks and Thai in the folder")
        << none << 1 << u"/opt/จดหมาย ของฉัน/larkspur"_s << u"/opt/จดหมาย ของฉัน/larkspur"_s;
    QTest::newRow("clear removes the entry")
        << u"/opt/larkspur"_s << 0 << u"/opt/larkspur"_s << none;
    QTest::newRow("clear without an entry is quiet") << none << 0 << u"/opt/larkspur"_s << none;
    QTest::newRow("grey keeps an entry as it is")
        << u"/old/larkspur"_s << 2 << u"/new/larkspur"_s << u"/old/larkspur"_s;
    QTest::newRow("grey adds nothing") << none << 2 << u"/opt/larkspur"_s << none;
}

void TestRunAtLogon::chkLoadStart_Click()
{
    QFETCH(QString, before);
    QFETCH(int, state);
    QFETCH(QString, command);
    QFETCH(QString, after);

    XdgAutostart store;
    if (!before.isEmpty()) {
        QString error;
        QVERIFY2(store.SaveString(u"Larkspur"_s, before, &error), qPrintable(error));
    }

    QStringList events;
    auto SaveSettings = [&] {
        events << u"saved with entry \"%1\""_s.arg(entryProgram());
        return true;
    };
    auto tellUser = [&](const QString &line) { events << u"told "_s + line; };

    QVERIFY(::chkLoadStart_Click(state, store, command, SaveSettings, tellUser));
    // One save, after the entry work and with nothing told.
    QCOMPARE(events, QStringList{u"saved with entry \"%1\""_s.arg(after)});
    QCOMPARE(entryProgram(), after);
}

void TestRunAtLogon::failureIsToldAndSettingsStillSaved_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("told"); // {config} and {entry} stand for the paths

    QTest::newRow("tick with the config home a regular file")
        << u"config is file"_s << 1
        << QStringList{u"ตั้งให้เรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s, u"\"{config}/autostart\""_s,
                       u"Not a directory"_s};
    QTest::newRow("tick with the entry a folder")
        << u"entry is folder"_s << 1
        << QStringList{u"ตั้งให้เรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s, u"{entry}"_s};
    QTest::newRow("clear with the entry a folder")
        << u"entry is folder"_s << 0
        << QStringList{u"ยกเลิกการเรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s, u"\"{entry}\""_s,
                       u"Is a directory"_s};
    QTest::newRow("tick in a read-only autostart folder")
        << u"read-only"_s << 1
        << QStringList{u"ตั้งให้เรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s, u"{entry}"_s};
    QTest::newRow("clear in a read-only autostart folder")
        << u"read-only"_s << 0
        << QStringList{u"ยกเลิกการเรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s, u"Permission denied"_s};
    QTest::newRow("line break in the config path stays on one line")
        << u"config with line break is file"_s << 1
        << QStringList{u"ตั้งให้เรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่องไม่ได้ : "_s, u"Not a directory"_s};
}

void TestRunAtLogon::failureIsToldAndSettingsStillSaved()
{
    QFETCH(QString, setup);
    QFETCH(int, state);
    QFETCH(QStringList, told);

    const QString autostart = configHome() + u"/autostart"_s;
    XdgAutostart store;
    if (setup == u"config is file") {
        QVERIFY(writeFile(configHome()));
    } else if (setup == u"config with line break is file") {
        const QString odd = m_temp->path() + u"/con\nfig"_s;
        QVERIFY(writeFile(odd));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(odd));
    } else if (setup == u"entry is folder") {
        QVERIFY(QDir().mkpath(entryFile()));
    } else if (setup == u"read-only") {
        QString error;
        QVERIFY(store.SaveString(u"Larkspur"_s, u"/opt/larkspur"_s, &error));
        QVERIFY(QFile::setPermissions(autostart, QFile::ReadOwner | QFile::ExeOwner));
        const QString probe = autostart + u"/probe"_s;
        if (writeFile(probe)) {
            QFile::remove(probe);
            QSKIP("permission bits do not bind this user (root)");
        }
    }

    QStringList events;
    auto SaveSettings = [&] {
        events << u"saved"_s;
        return true;
    };
    auto tellUser = [&](const QString &line) { events << line; };

    QVERIFY(!::chkLoadStart_Click(state, store, u"/opt/new/larkspur"_s, SaveSettings, tellUser));
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(1), u"saved"_s);
    const QString line = events.at(0);
    QVERIFY2(line.startsWith(told.first()), qPrintable(line));
    for (QString fragment : std::as_const(told)) {
        fragment.replace(u"{config}"_s, configHome()).replace(u"{entry}"_s, entryFile());
        QVERIFY2(line.contains(fragment),
                 qPrintable(u"\"%1\" does not say \"%2\""_s.arg(line, fragment)));
    }
    QVERIFY2(!line.contains(u'\n') && !line.contains(u'\r'), qPrintable(line));
}

void TestRunAtLogon::addAndRemoveUseTheGivenName()
{
    XdgAutostart store;
    int told = 0;
    auto tellUser = [&](const QString &) { ++told; };
    const QString other = configHome() + u"/autostart/Other.desktop"_s;

    QVERIFY(AddToRun(store, u"Other"_s, u"/opt/other"_s, tellUser));
    QVERIFY(QFile::exists(other));
    QVERIFY(!QFile::exists(entryFile()));
    QVERIFY(RemoveFromRun(store, u"Other"_s, tellUser));
    QVERIFY(!QFile::exists(other));
    QVERIFY(RemoveFromRun(store, u"Other"_s, tellUser));
    QCOMPARE(told, 0);
}

void TestRunAtLogon::runCommandIsThisExecutable()
{
    const QFileInfo program(runCommand());
    QVERIFY2(program.isAbsolute(), qPrintable(program.filePath()));
    QVERIFY(program.isFile() && program.isExecutable());
    // The executable itself: no ".exe" added, nothing left off.
    QCOMPARE(program.fileName(), u"tst_runatlogon"_s);
}

QTEST_GUILESS_MAIN(TestRunAtLogon)
#include "tst_runatlogon.moc"
