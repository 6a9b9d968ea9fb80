#include "notify/ModSound.h"
#include "platform/SoundOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace
{

// Records what the sound module asks of the platform.
class RecordingOutput final : public SoundOutput
{
public:
    void stop() override { calls.append(u"stop"_s); }
    PlayResult playSync(const QByteArray &wavImage) override
    {
        calls.append(u"play"_s);
        played.append(wavImage);
        return PlayResult::Ended;
    }
    QStringList calls;
    QList<QByteArray> played;
};

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('A' + i % 23);
    return bytes;
}

} // namespace

// Loading mail.wav into memory and handing it to the sound output.
class tst_ModSound : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void loadsRegularFiles_data();
    void loadsRegularFiles();
    void missingFileIsCreatedEmpty();
    void danglingLinkCreatesNothing();
    void refusesWhatIsNotAPlainFile_data();
    void refusesWhatIsNotAPlainFile();
    void linkToAPlainFileIsFollowed();
    void playsOnlyWhatThereIs_data();
    void playsOnlyWhatThereIs();
    void twoAnnouncementsStopThenPlayEachTime();
    void programSoundOfAnInstall_data();
    void programSoundOfAnInstall();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_ModSound::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_ModSound::loadsRegularFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray big = pattern(ModSound::MaxSoundFileBytes);
    QTest::newRow("zero length") << QByteArray() << QByteArray();
    QTest::newRow("blanks only") << QByteArray(3000, ' ') << QByteArray();
    QTest::newRow("plain bytes") << "RIFF\x01\x00WAVE"_ba
                                 << "RIFF\x01\x00WAVE"_ba;
    QTest::newRow("blanks at both ends trimmed") << "   RIFF x  WAVE  "_ba
                                                 << "RIFF x  WAVE"_ba;
    QTest::newRow("only 0x20 is trimmed") << "\t\n\r\0 RIFF \0"_ba
                                          << "\t\n\r\0 RIFF \0"_ba;
    QTest::newRow("one block") << pattern(1024) << pattern(1024);
    QTest::newRow("a block and a byte") << pattern(1025) << pattern(1025);
    QTest::newRow("blanks across a block edge")
        << QByteArray(1020, ' ') + "RIFFDATA"_ba + QByteArray(2000, ' ') << "RIFFDATA"_ba;
    QTest::newRow("exactly the largest size") << big << big;
    QTest::newRow("one byte too large") << big + "x"_ba << QByteArray();
}

void tst_ModSound::loadsRegularFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    const QString path = m_dir->filePath(u"mail.wav"_s);
    QVERIFY(writeFile(path, content));
    const QByteArray loaded = LoadSoundFile(path);
    QCOMPARE(loaded.size(), expected.size());
    QVERIFY(loaded == expected);
    QCOMPARE(QFileInfo(path).size(), content.size()); // reading leaves the file as it was
}

void tst_ModSound::missingFileIsCreatedEmpty()
{
    const QString path = m_dir->filePath(u"mail.wav"_s);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(LoadSoundFile(path).isEmpty());
    const QFileInfo created(path);
    QVERIFY(created.exists());
    QVERIFY(created.isFile());
    QCOMPARE(created.size(), 0);

    // A missing folder: nothing to create it in, and still no complaint.
    QVERIFY(LoadSoundFile(m_dir->filePath(u"gone/mail.wav"_s)).isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(u"gone"_s)));
    QVERIFY(LoadSoundFile(QString()).isEmpty());
}

void tst_ModSound::danglingLinkCreatesNothing()
{
    const QString target = m_dir->filePath(u"elsewhere.wav"_s);
    const QString path = m_dir->filePath(u"mail.wav"_s);
    QVERIFY(QFile::link(target, path));
    QVERIFY(LoadSoundFile(path).isEmpty());
    QVERIFY(!QFileInfo::exists(target));
}

void tst_ModSound::refusesWhatIsNotAPlainFile_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("FIFO") << u"fifo"_s;
    QTest::newRow("FIFO holding data") << u"fifo with data"_s;
    QTest::newRow("link to a FIFO") << u"link to fifo"_s;
    QTest::newRow("character device") << u"device"_s;
    QTest::newRow("link to a device") << u"link to device"_s;
    QTest::newRow("folder") << u"folder"_s;
}

void tst_ModSound::refusesWhatIsNotAPlainFile()
{
    QFETCH(QString, kind);

    const QString path = m_dir->filePath(u"mail.wav"_s);
    const QString fifo = m_dir->filePath(u"pipe"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    int writer = -1;
    const auto closeWriter = qScopeGuard([&writer] {
        if (writer >= 0)
            ::close(writer);
    });
    if (kind == "fifo"_L1 || kind == "fifo with data"_L1)
        QVERIFY(QFile::rename(fifo, path));
    if (kind == "fifo with data"_L1) {
        // Held open by a writer that never finishes: a read would wait for the end for ever.
        writer = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK);
        QVERIFY(writer >= 0);
        QCOMPARE(::write(writer, "RIFF", 4), 4);
    } else if (kind == "link to fifo"_L1)
        QVERIFY(QFile::link(fifo, path));
    else if (kind == "device"_L1 || kind == "link to device"_L1)
        QVERIFY(QFile::link(u"/dev/zero"_s, path)); // /dev/zero would never end
    else if (kind == "folder"_L1)
        QVERIFY(QDir(m_dir->path()).mkdir(u"mail.wav"_s));

    // A FIFO with no writer would block a read for ever; the loader must not even wait.
    QVERIFY(LoadSoundFile(kind == "device"_L1 ? u"/dev/zero"_s : path).isEmpty());
}

void tst_ModSound::linkToAPlainFileIsFollowed()
{
    const QString target = m_dir->filePath(u"chime.wav"_s);
    QVERIFY(writeFile(target, "  RIFFchime "_ba));
    const QString path = m_dir->filePath(u"mail.wav"_s);
    QVERIFY(QFile::link(target, path));
    QCOMPARE(LoadSoundFile(path), "RIFFchime"_ba);
}

void tst_ModSound::playsOnlyWhatThereIs_data()
{
    QTest::addColumn<QByteArray>("fileContent");
    QTest::addColumn<qint16>("flags");
    QTest::addColumn<QStringList>("expectedCalls");
    QTest::addColumn<QByteArray>("expectedSound");

    const QStringList none;
    const QStringList stopThenPlay{u"stop"_s, u"play"_s};
    QTest::newRow("zero length") << QByteArray() << qint16(0) << none << QByteArray();
    QTest::newRow("blanks only") << QByteArray(44, ' ') << qint16(0) << none << QByteArray();
    QTest::newRow("a sound") << "RIFFsound"_ba << qint16(0) << stopThenPlay << "RIFFsound"_ba;
    QTest::newRow("trailing blanks cut off")
        << "RIFFsound  "_ba << qint16(0) << stopThenPlay << "RIFFsound"_ba;
    QTest::newRow("asynchronous flag still waits")
        << "RIFFsound"_ba << qint16(1) << stopThenPlay << "RIFFsound"_ba;
}

void tst_ModSound::playsOnlyWhatThereIs()
{
    QFETCH(QByteArray, fileContent);
    QFETCH(qint16, flags);
    QFETCH(QStringList, expectedCalls);
    QFETCH(QByteArray, expectedSound);

    const QString path = m_dir->filePath(u"mail.wav"_s);
    QVERIFY(writeFile(path, fileContent));
    RecordingOutput output;
    const QByteArray SoundData = LoadSoundFile(path);
    PlaySoundData(SoundData, flags, output);
    QCOMPARE(output.calls, expectedCalls);
    if (!expectedCalls.isEmpty())
        QCOMPARE(output.played.value(0), expectedSound);
}

void tst_ModSound::twoAnnouncementsStopThenPlayEachTime()
{
    RecordingOutput output;
    const QByteArray SoundData = "RIFFchime"_ba;
    PlaySoundData(SoundData, 0, output);
    PlaySoundData(SoundData, 0, output);
    QCOMPARE(output.calls, (QStringList{u"stop"_s, u"play"_s, u"stop"_s, u"play"_s}));
    QCOMPARE(output.played, (QList<QByteArray>{SoundData, SoundData}));
}

void tst_ModSound::programSoundOfAnInstall_data()
{
    QTest::addColumn<QByteArray>("user");    // the user's mail.wav; "-" for none
    QTest::addColumn<QByteArray>("shipped"); // the installed default; "-" for none, "" for portable
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<qint64>("userFileAfter"); // its size afterwards, -1 for no file

    QTest::newRow("installed, the user has none") << "-"_ba
                                                  << "RIFFdefault"_ba
                                                  << "RIFFdefault"_ba << qint64(-1);
    QTest::newRow("installed, the user's file is empty") << ""_ba
                                                         << "RIFFdefault"_ba
                                                         << "RIFFdefault"_ba << qint64(0);
    QTest::newRow("installed, the user's own sound") << "RIFFmine"_ba
                                                     << "RIFFdefault"_ba
                                                     << "RIFFmine"_ba << qint64(8);
    QTest::newRow("installed, its default gone") << "-"_ba
                                                 << "-"_ba << QByteArray() << qint64(-1);
    QTest::newRow("portable copy, none: created empty")
        << "-"_ba << QByteArray() << QByteArray() << qint64(0);
}

void tst_ModSound::programSoundOfAnInstall()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, shipped);
    QFETCH(QByteArray, expected);
    QFETCH(qint64, userFileAfter);

    QVERIFY(QDir(m_dir->path()).mkpath(u"share/larkspur"_s));
    const QString userPath = m_dir->filePath(u"mail.wav"_s);
    const QString shippedPath = m_dir->filePath(u"share/larkspur/mail.wav"_s);
    if (user != "-")
        QVERIFY(writeFile(userPath, user));
    if (shipped != "-" && !shipped.isEmpty())
        QVERIFY(writeFile(shippedPath, shipped));

    QCOMPARE(loadProgramSound(userPath, shipped.isEmpty() ? QString() : shippedPath), expected);
    QCOMPARE(QFileInfo::exists(userPath) ? QFileInfo(userPath).size() : -1, userFileAfter);
    // The installed folder is never written to.
    QCOMPARE(QFileInfo::exists(shippedPath), shipped != "-" && !shipped.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ModSound)
#include "tst_ModSound.moc"
