#include "platform/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{

// The keys of the file's [Desktop Entry] group; nothing when the file is not shaped like one
// (something before the group header, a line without "=", a key given twice).
std::optional<QMap<QString, QString>> readDesktopEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll());
    QStringList lines = text.split(u'\n');
    if (lines.isEmpty() || lines.takeFirst() != u"[Desktop Entry]")
        return std::nullopt;
    if (!text.endsWith(u'\n'))
        return std::nullopt;
    lines.removeLast();
    QMap<QString, QString> keys;
    for (const QString &line : std::as_const(lines)) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || keys.contains(line.left(eq)))
            return std::nullopt;
        keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

// A stand-in program that writes the path it was started under to $LARKSPUR_MARK.
bool makeProgram(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QByteArrayLiteral("#!/bin/sh\nprintf '%s' \"$0\" > \"$LARKSPUR_MARK\"\n"));
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool writeFile(const QString &path, const QByteArray &bytes = QByteArrayLiteral("x"))
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Root ignores permission bits; a test of them needs to see the folder really refuse.
bool refusesWrites(const QString &dir)
{
    const QString probe = dir + u"/.probe"_s;
    if (writeFile(probe)) {
        QFile::remove(probe);
        return false;
    }
    return true;
}

} // namespace

class TestXdgAutostart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void quoteExecArgument_data();
    void quoteExecArgument();
    void parseExec_data();
    void parseExec();

    void roundTripsThroughExec_data();
    void roundTripsThroughExec();
    void launchesThroughGio_data() { roundTripsThroughExec_data(); }
    void launchesThroughGio();
    void passesDesktopFileValidate();

    void findsTheAutostartFolder_data();
    void findsTheAutostartFolder();
    void rewritesWithNewPath();
    void removesTheEntry();
    void removingAbsentEntryIsQuiet_data();
    void removingAbsentEntryIsQuiet();
    void saveFailureSaysWhy_data();
    void saveFailureSaysWhy();
    void removeFailureSaysWhy_data();
    void removeFailureSaysWhy();

private:
    QString configHome() const { return m_temp->path() + u"/config"_s; }
    QString entryFile() const { return configHome() + u"/autostart/Larkspur.desktop"_s; }

    std::optional<QTemporaryDir> m_temp;
    QByteArray m_savedHome;
    QByteArray m_savedConfigHome;
    bool m_hadConfigHome = false;
};

void TestXdgAutostart::init()
{
    m_temp.emplace();
    QVERIFY(m_temp->isValid());
    m_savedHome = qgetenv("HOME");
    m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    // Not created: the store makes the folders itself.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome()));
}

void TestXdgAutostart::cleanup()
{
    qputenv("HOME", m_savedHome);
    if (m_hadConfigHome)
        qputenv("XDG_CONFIG_HOME", m_savedConfigHome);
    else
        qunsetenv("XDG_CONFIG_HOME");
    // Let the temporary folder be removed even where a test took away its write bit.
    QFile::setPermissions(configHome() + u"/autostart"_s,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_temp.reset();
}

void TestXdgAutostart::quoteExecArgument_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("exec");

    QTest::newRow("plain path stays bare") << u"/usr/bin/larkspur"_s << u"/usr/bin/larkspur"_s;
    QTest::newRow("blank needs quotes")
        << u"/opt/my apps/larkspur"_s << u"\"/opt/my apps/larkspur\""_s;
    QTest::newRow("literal backslash is four") << u"/a\\b"_s << u"\"/a\\\\\\\\b\""_s;
    QTest::newRow("dollar is two backslashes and $") << u"/a$b"_s << u"\"/a\\\\$b\""_s;
    QTest::newRow("double quote") << u"/a\"b"_s << u"\"/a\\\\\"b\""_s;
    QTest::newRow("backtick") << u"/a`b"_s << u"\"/a\\\\`b\""_s;
    QTest::newRow("single quote needs no escape") << u"/a'b"_s << u"\"/a'b\""_s;
    QTest::newRow("tilde and hash are reserved") << u"/~a#b"_s << u"\"/~a#b\""_s;
    QTest::newRow("percent alone stays bare") << u"/100%"_s << u"/100%%"_s;
    QTest::newRow("percent inside quotes") << u"/1 %f"_s << u"\"/1 %%f\""_s;
    QTest::newRow("newline as a string escape") << u"/a\nb"_s << u"\"/a\\nb\""_s;
    QTest::newRow("tab as a string escape") << u"/a\tb"_s << u"\"/a\\tb\""_s;
    QTest::newRow("Thai letters stay bare") << u"/โปรแกรม/larkspur"_s << u"/โปรแกรม/larkspur"_s;
    QTest::newRow("equals sign is not reserved") << u"/a=b"_s << u"/a=b"_s;
    QTest::newRow("empty argument") << QString() << u"\"\""_s;
}

void TestXdgAutostart::quoteExecArgument()
{
    QFETCH(QString, argument);
    QFETCH(QString, exec);
    QCOMPARE(::quoteExecArgument(argument), exec);
}

void TestXdgAutostart::parseExec_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("program and quoted argument")
        << u"/bin/x \"a b\""_s << QStringList{u"/bin/x"_s, u"a b"_s};
    QTest::newRow("extra blanks separate nothing")
        << u"  /bin/x   y "_s << QStringList{u"/bin/x"_s, u"y"_s};
    QTest::newRow("file codes vanish without files")
        << u"/bin/x %U %f"_s << QStringList{u"/bin/x"_s};
    QTest::newRow("doubled percent") << u"/bin/100%%"_s << QStringList{u"/bin/100%"_s};
    QTest::newRow("four backslashes are one") << u"\"a\\\\\\\\b\""_s << QStringList{u"a\\b"_s};
    QTest::newRow("escaped dollar") << u"\"a\\\\$b\""_s << QStringList{u"a$b"_s};
    QTest::newRow("string escape \\s is a blank") << u"\"a\\sb\""_s << QStringList{u"a b"_s};
    QTest::newRow("empty quoted argument") << u"/bin/x \"\""_s << QStringList{u"/bin/x"_s, {}};

    QTest::newRow("open quote") << u"\"/bin/x"_s << QStringList();
    QTest::newRow("reserved character unquoted") << u"/bin/a$b"_s << QStringList();
    QTest::newRow("quote inside a word") << u"/bin/a\"b\""_s << QStringList();
    QTest::newRow("text after the closing quote") << u"\"/bin/a\"b"_s << QStringList();
    QTest::newRow("unknown string escape") << u"/bin/\\q"_s << QStringList();
    QTest::newRow("lone backslash at the end") << u"/bin/x\\"_s << QStringList();
    QTest::newRow("backslash before a plain letter in quotes") << u"\"a\\\\b\""_s << QStringList();
    QTest::newRow("unescaped dollar inside quotes") << u"\"a$b\""_s << QStringList();
    QTest::newRow("unescaped backtick inside quotes") << u"\"a`b\""_s << QStringList();
    QTest::newRow("stray percent") << u"/bin/%"_s << QStringList();
    QTest::newRow("field code inside quotes") << u"\"/bin/x %f\""_s << QStringList();
}

void TestXdgAutostart::parseExec()
{
    QFETCH(QString, exec);
    QFETCH(QStringList, arguments);
    QCOMPARE(::parseExec(exec), arguments);
}

void TestXdgAutostart::roundTripsThroughExec_data()
{
    QTest::addColumn<QString>("relative");

    QTest::newRow("plain") << u"bin/larkspur"_s;
    QTest::newRow("blanks in folders") << u"My Programs/Larkspur Mail/larkspur"_s;
    QTest::newRow("blank in the program name") << u"bin/larkspur beta"_s;
    QTest::newRow("leading blank in a folder") << u" lead/larkspur"_s;
    QTest::newRow("double quotes") << u"say \"hi\"/larkspur"_s;
    QTest::newRow("single quote") << u"it's mine/larkspur"_s;
    QTest::newRow("dollar signs") << u"$HOME and ${PATH}/larkspur"_s;
    QTest::newRow("backtick command") << u"`touch pwned`/larkspur"_s;
    QTest::newRow("backslash") << u"back\\slash/larkspur"_s;
    QTest::newRow("backslash before a quote") << u"end\\\"/larkspur"_s;
    QTest::newRow("two trailing backslashes") << u"two\\\\/larkspur"_s;
    QTest::newRow("backslash and string-escape letters") << u"\\s\\n\\t/larkspur"_s;
    QTest::newRow("percent") << u"100%/larkspur"_s;
    QTest::newRow("percent like field codes") << u"%f %U/larkspur"_s;
    QTest::newRow("doubled percent") << u"%%/larkspur"_s;
    QTest::newRow("Thai letters") << u"โปรแกรม ลาร์คสเปอร์/ตรวจจดหมาย"_s;
    QTest::newRow("accented letters") << u"Café Müller/naïve"_s;
    QTest::newRow("shell operators") << u"a;b&c|d<e>f*g?h#i(j)k~l/larkspur"_s;
    QTest::newRow("equals and brackets") << u"key=value [x]/larkspur"_s;
    QTest::newRow("tab") << u"tab\there/larkspur"_s;
    QTest::newRow("newline") << u"line\nbreak/larkspur"_s;
    QTest::newRow("carriage return") << u"cr\rhere/larkspur"_s;
}

void TestXdgAutostart::roundTripsThroughExec()
{
    QFETCH(QString, relative);
    const QString program = m_temp->path() + u"/programs/"_s + relative;

    XdgAutostart store;
    QString error;
    QVERIFY2(store.SaveString(u"Larkspur"_s, program, &error), qPrintable(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(store.entryPath(u"Larkspur"_s), entryFile());

    const auto keys = readDesktopEntry(entryFile());
    QVERIFY2(keys, "not shaped like a desktop entry");
    QCOMPARE(keys->value(u"Type"_s), u"Application"_s);
    QCOMPARE(keys->value(u"Name"_s), u"Larkspur"_s);
    QCOMPARE(keys->value(u"X-GNOME-Autostart-enabled"_s), u"true"_s);
    QVERIFY(!keys->value(u"Comment"_s).isEmpty());
    QCOMPARE(::parseExec(keys->value(u"Exec"_s)), QStringList{program});
}

void TestXdgAutostart::launchesThroughGio()
{
    QFETCH(QString, relative);
    const QString gio = QStandardPaths::findExecutable(u"gio"_s);
    if (gio.isEmpty())
        QSKIP("gio is not installed");
    // GLib looks for the program before it expands %%, so it never finds one under a "%".
    if (relative.contains(u'%'))
        QSKIP("GLib cannot load an entry whose program path holds a %");

    const QString program = m_temp->path() + u"/programs/"_s + relative;
    QVERIFY(makeProgram(program));
    XdgAutostart store;
    QString error;
    QVERIFY2(store.SaveString(u"Larkspur"_s, program, &error), qPrintable(error));

    const QString mark = m_temp->path() + u"/started"_s;
    QProcess launcher;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LARKSPUR_MARK"_s, mark);
    launcher.setProcessEnvironment(environment);
    launcher.start(gio, {u"launch"_s, entryFile()});
    QVERIFY(launcher.waitForFinished(30000));
    QVERIFY2(launcher.exitStatus() == QProcess::NormalExit && launcher.exitCode() == 0,
             launcher.readAllStandardError().constData());

    auto startedAs = [&mark] {
        QFile file(mark);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(startedAs(), program, 10000);
}

void TestXdgAutostart::passesDesktopFileValidate()
{
    XdgAutostart store;
    QString error;
    const QString program = m_temp->path() + u"/My \"Programs\" $5 \\ ไทย 100%/larkspur"_s;
    QVERIFY2(store.SaveString(u"Larkspur"_s, program, &error), qPrintable(error));

    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validator, {entryFile()});
    QVERIFY(process.waitForFinished(30000));
    const QByteArray output = process.readAll();
    QVERIFY2(process.exitCode() == 0, output.constData());
    QVERIFY2(output.trimmed().isEmpty(), output.constData());
}

void TestXdgAutostart::findsTheAutostartFolder_data()
{
    QTest::addColumn<bool>("setConfigHome");
    QTest::addColumn<QString>("configHome"); // relative to the temporary folder unless "rel:"
    QTest::addColumn<QString>("expected");   // relative to the temporary folder

    QTest::newRow("XDG_CONFIG_HOME set") << true << u"xdg"_s << u"xdg/autostart"_s;
    QTest::newRow("XDG_CONFIG_HOME with trailing slash") << true << u"xdg/"_s << u"xdg/autostart"_s;
    QTest::newRow("XDG_CONFIG_HOME unset") << false << QString() << u"home/.config/autostart"_s;
    QTest::newRow("XDG_CONFIG_HOME empty") << true << QString() << u"home/.config/autostart"_s;
    QTest::newRow("XDG_CONFIG_HOME relative is ignored")
        << true << u"rel:relative/config"_s << u"home/.config/autostart"_s;
}

void TestXdgAutostart::findsTheAutostartFolder()
{
    QFETCH(bool, setConfigHome);
    QFETCH(QString, configHome);
    QFETCH(QString, expected);

    const QString root = m_temp->path() + u'/';
    QVERIFY(QDir().mkpath(root + u"home"_s));
    qputenv("HOME", QFile::encodeName(root + u"home"_s));
    if (!setConfigHome)
        qunsetenv("XDG_CONFIG_HOME");
    else if (configHome.startsWith(u"rel:"))
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.mid(4)));
    else if (configHome.isEmpty())
        qputenv("XDG_CONFIG_HOME", QByteArray());
    else
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + configHome));

    QCOMPARE(defaultAutostartDir(), root + expected);
    XdgAutostart store;
    QString error;
    QVERIFY2(store.SaveString(u"Larkspur"_s, u"/usr/bin/larkspur"_s, &error), qPrintable(error));
    QVERIFY(QFile::exists(root + expected + u"/Larkspur.desktop"_s));
    // Folders made for the entry are the user's alone.
    // Owner, group and other bits; the "user" bits only repeat the owner's for us.
    QCOMPARE(QFile::permissions(root + expected) & 0x7077,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestXdgAutostart::rewritesWithNewPath()
{
    XdgAutostart store;
    QString error;
    QVERIFY(store.SaveString(u"Larkspur"_s, u"/old place/larkspur"_s, &error));
    QVERIFY2(store.SaveString(u"Larkspur"_s, u"/new place/larkspur"_s, &error), qPrintable(error));

    const auto keys = readDesktopEntry(entryFile());
    QVERIFY(keys);
    QCOMPARE(::parseExec(keys->value(u"Exec"_s)), QStringList{u"/new place/larkspur"_s});
    // Nothing of the atomic write is left behind.
    QCOMPARE(QDir(configHome() + u"/autostart"_s)
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"Larkspur.desktop"_s});
}

void TestXdgAutostart::removesTheEntry()
{
    XdgAutostart store;
    QString error;
    QVERIFY(store.SaveString(u"Larkspur"_s, u"/usr/bin/larkspur"_s, &error));
    QVERIFY(writeFile(configHome() + u"/autostart/other.desktop"_s));

    QVERIFY2(store.DeleteValue(u"Larkspur"_s, &error), qPrintable(error));
    QVERIFY(!QFile::exists(entryFile()));
    QVERIFY2(QFile::exists(configHome() + u"/autostart/other.desktop"_s),
             "another program's entry went with ours");
}

void TestXdgAutostart::removingAbsentEntryIsQuiet_data()
{
    QTest::addColumn<QString>("setup");

    QTest::newRow("folder without the entry") << u"folder"_s;
    QTest::newRow("no autostart folder") << u"config"_s;
    QTest::newRow("no config folder") << QString();
    QTest::newRow("config home is a regular file") << u"file"_s;
}

void TestXdgAutostart::removingAbsentEntryIsQuiet()
{
    QFETCH(QString, setup);
    if (setup == u"folder")
        QVERIFY(QDir().mkpath(configHome() + u"/autostart"_s));
    if (setup == u"config")
        QVERIFY(QDir().mkpath(configHome()));
    if (setup == u"file")
        QVERIFY(writeFile(configHome()));

    XdgAutostart store;
    QString error;
    QVERIFY2(store.DeleteValue(u"Larkspur"_s, &error), qPrintable(error));
    QVERIFY(error.isEmpty());
}

void TestXdgAutostart::saveFailureSaysWhy_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("told"); // {config} and {entry} stand for the paths

    const QString program = u"/usr/bin/larkspur"_s;
    QTest::newRow("config home is a regular file")
        << u"config is file"_s << u"Larkspur"_s << program
        << QStringList{u"{config}/autostart"_s, u"Not a directory"_s};
    QTest::newRow("autostart is a regular file")
        << u"autostart is file"_s << u"Larkspur"_s << program
        << QStringList{u"{config}/autostart"_s, u"Not a directory"_s};
    QTest::newRow("entry is a folder")
        << u"entry is folder"_s << u"Larkspur"_s << program << QStringList{u"{entry}"_s};
    QTest::newRow("read-only autostart folder") << u"read-only"_s << u"Larkspur"_s << program
                                                << QStringList{u"{entry}"_s, u"ermission denied"_s};
    QTest::newRow("read-only config folder")
        << u"read-only config"_s << u"Larkspur"_s << program
        << QStringList{u"{config}/autostart"_s, u"Permission denied"_s};
    QTest::newRow("control character in the path")
        << QString() << u"Larkspur"_s << u"/opt/a\u0001b/larkspur"_s
        << QStringList{u"control characters"_s};
    QTest::newRow("no program path")
        << QString() << u"Larkspur"_s << QString() << QStringList{u"path is unknown"_s};
    QTest::newRow("name with a slash")
        << QString() << u"../Larkspur"_s << program << QStringList{u"../Larkspur"_s};
}

void TestXdgAutostart::saveFailureSaysWhy()
{
    QFETCH(QString, setup);
    QFETCH(QString, name);
    QFETCH(QString, command);
    QFETCH(QStringList, told);

    const QString autostart = configHome() + u"/autostart"_s;
    if (setup == u"config is file") {
        QVERIFY(writeFile(configHome()));
    } else if (setup == u"autostart is file") {
        QVERIFY(QDir().mkpath(configHome()));
        QVERIFY(writeFile(autostart));
    } else if (setup == u"entry is folder") {
        QVERIFY(QDir().mkpath(entryFile()));
    } else if (setup == u"read-only") {
        QVERIFY(QDir().mkpath(autostart));
        QVERIFY(QFile::setPermissions(autostart, QFile::ReadOwner | QFile::ExeOwner));
        if (!refusesWrites(autostart))
            QSKIP("permission bits do not bind this user (root)");
    } else if (setup == u"read-only config") {
        QVERIFY(QDir().mkpath(configHome()));
        QVERIFY(QFile::setPermissions(configHome(), QFile::ReadOwner | QFile::ExeOwner));
        const bool refuses = refusesWrites(configHome());
        if (!refuses) {
            QFile::setPermissions(configHome(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("permission bits do not bind this user (root)");
        }
    }

    XdgAutostart store;
    QString error;
    const bool saved = store.SaveString(name, command, &error);
    if (setup == u"read-only config")
        QFile::setPermissions(configHome(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!saved);
    for (QString fragment : std::as_const(told)) {
        fragment.replace(u"{config}"_s, configHome()).replace(u"{entry}"_s, entryFile());
        QVERIFY2(error.contains(fragment),
                 qPrintable(u"\"%1\" does not say \"%2\""_s.arg(error, fragment)));
    }
    QVERIFY2(!QFileInfo(entryFile()).isFile(), "an entry was written after all");
}

void TestXdgAutostart::removeFailureSaysWhy_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("told");

    QTest::newRow("entry is a folder") << u"entry is folder"_s << u"Is a directory"_s;
    QTest::newRow("read-only autostart folder") << u"read-only"_s << u"Permission denied"_s;
}

void TestXdgAutostart::removeFailureSaysWhy()
{
    QFETCH(QString, setup);
    QFETCH(QString, told);

    const QString autostart = configHome() + u"/autostart"_s;
    XdgAutostart store;
    QString error;
    if (setup == u"entry is folder") {
        QVERIFY(QDir().mkpath(entryFile()));
    } else {
        QVERIFY(store.SaveString(u"Larkspur"_s, u"/usr/bin/larkspur"_s, &error));
        QVERIFY(QFile::setPermissions(autostart, QFile::ReadOwner | QFile::ExeOwner));
        if (!refusesWrites(autostart))
            QSKIP("permission bits do not bind this user (root)");
    }

    QVERIFY(!store.DeleteValue(u"Larkspur"_s, &error));
    QVERIFY2(error.contains(entryFile()), qPrintable(error));
    QVERIFY2(error.contains(told), qPrintable(error));
    QVERIFY(QFileInfo::exists(entryFile()));
}

QTEST_GUILESS_MAIN(TestXdgAutostart)
#include "tst_xdgautostart.moc"
