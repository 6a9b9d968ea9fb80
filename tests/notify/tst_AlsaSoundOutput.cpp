#include "AlsaCapture.h"
#include "WavImage.h"
#include "notify/ModSound.h"
#include "platform/AlsaSoundOutput.h"
#include "support/MappedFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace
{

QByteArray floats(std::initializer_list<float> values)
{
    QByteArray out;
    for (const float v : values) {
        quint32 bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        WavImage::putU32(out, bits);
    }
    return out;
}

QList<qint16> asSamples(const QByteArray &raw)
{
    QList<qint16> out;
    for (qsizetype i = 0; i + 1 < raw.size(); i += 2)
        out.append(qFromLittleEndian<qint16>(raw.constData() + i));
    return out;
}

} // namespace

// The sound player against real ALSA, its default device pointed at a file by a private config.
class tst_AlsaSoundOutput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    // First: it looks at the process before anything has played.
    void sndfileIsLoadedByTheFirstSound();
    void writesExactlyTheSamples_data();
    void writesExactlyTheSamples();
    void convertsOtherSampleFormats_data();
    void convertsOtherSampleFormats();
    void playsOnlyTheBytesGiven_data();
    void playsOnlyTheBytesGiven();
    void trimmedFilePlaysWhatIsLeft();
    void cutsOffAtTheLimit();
    void undecodableDataPlaysNothing_data();
    void undecodableDataPlaysNothing();
    void noDeviceReturnsQuietly();
    void deviceThatNeverDrainsIsGivenUp_data();
    void deviceThatNeverDrainsIsGivenUp();
    void shippedChimePlaysWhole();

private:
    std::unique_ptr<AlsaCapture> m_alsa;
};

void tst_AlsaSoundOutput::init()
{
    m_alsa = std::make_unique<AlsaCapture>();
    QVERIFY(m_alsa->capture());
}

void tst_AlsaSoundOutput::sndfileIsLoadedByTheFirstSound()
{
    AlsaSoundOutput output;
    output.playSync({});
    QVERIFY2(!isMapped("/libsndfile.so"), "libsndfile was loaded before any sound was played");
    output.playSync(WavImage::make(WavImage::Header{}, WavImage::ramp16(8, 1)));
    QVERIFY(isMapped("/libsndfile.so"));
    QCOMPARE(m_alsa->played().size(), 16);
}

void tst_AlsaSoundOutput::writesExactlyTheSamples_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("frames");

    QTest::newRow("mono 8 kHz") << 1 << 8000 << 4000;
    QTest::newRow("stereo 44.1 kHz") << 2 << 44100 << 10000;
    QTest::newRow("mono 48 kHz") << 1 << 48000 << 3001;
    QTest::newRow("stereo 22.05 kHz, one frame") << 2 << 22050 << 1;
}

void tst_AlsaSoundOutput::writesExactlyTheSamples()
{
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(int, frames);

    WavImage::Header header;
    header.channels = static_cast<quint16>(channels);
    header.rate = static_cast<quint32>(rate);
    const QByteArray data = WavImage::ramp16(frames, channels);
    AlsaSoundOutput output;
    output.playSync(WavImage::make(header, data));
    const QByteArray played = m_alsa->played();
    QCOMPARE(played.size(), data.size());
    QVERIFY(played == data);
}

void tst_AlsaSoundOutput::convertsOtherSampleFormats_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<qint16>>("expected");

    // Unsigned 8-bit: 128 is silence, each step is 256 in 16 bits.
    QTest::newRow("8-bit mono") << 1 << 8 << 1 << "\x80\x00\xff\x81\x7f"_ba
                                << QList<qint16>{0, -32768, 32512, 256, -256};
    // 24-bit keeps its upper 16 bits, rounded.
    QTest::newRow("24-bit stereo")
        << 1 << 24 << 2
        << "\x00\x00\x00\xff\xff\x7f\x00\x00\x80\x34\x12\x00\xc0\x12\x00\x00\x12\x00"_ba
        << QList<qint16>{0, 32767, -32768, 0x0012, 0x0013, 0x0012};
    // Floating point beyond full scale is clipped, not wrapped.
    QTest::newRow("float mono") << 3 << 32 << 1 << floats({0.0f, 0.25f, -1.0f, 2.0f, -3.0f})
                                << QList<qint16>{0, 8192, -32768, 32767, -32768};
}

void tst_AlsaSoundOutput::convertsOtherSampleFormats()
{
    QFETCH(int, format);
    QFETCH(int, bits);
    QFETCH(int, channels);
    QFETCH(QByteArray, data);
    QFETCH(QList<qint16>, expected);

    WavImage::Header header;
    header.format = static_cast<quint16>(format);
    header.bits = static_cast<quint16>(bits);
    header.channels = static_cast<quint16>(channels);
    header.rate = 11025;
    AlsaSoundOutput output;
    output.playSync(WavImage::make(header, data));
    QCOMPARE(asSamples(m_alsa->played()), expected);
}

void tst_AlsaSoundOutput::playsOnlyTheBytesGiven_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("framesPresent");
    QTest::addColumn<int>("extraBytes");
    QTest::addColumn<qint64>("declaredDataSize");

    QTest::newRow("header promises twice as much") << 1 << 500 << 0 << qint64(2000);
    QTest::newRow("header promises 4 GiB") << 2 << 700 << 0 << qint64(0xffffffff);
    QTest::newRow("cut inside a sample") << 1 << 321 << 1 << qint64(4000);
    QTest::newRow("cut inside a stereo frame") << 2 << 100 << 3 << qint64(4000);
}

void tst_AlsaSoundOutput::playsOnlyTheBytesGiven()
{
    QFETCH(int, channels);
    QFETCH(int, framesPresent);
    QFETCH(int, extraBytes);
    QFETCH(qint64, declaredDataSize);

    WavImage::Header header;
    header.channels = static_cast<quint16>(channels);
    header.dataSize = declaredDataSize;
    const QByteArray whole = WavImage::ramp16(framesPresent + 1, channels);
    const QByteArray present = whole.first(framesPresent * channels * 2 + extraBytes);
    // The image lives in a buffer of its own size: a read past it would show under ASan.
    const QByteArray image = WavImage::make(header, present);
    AlsaSoundOutput output;
    output.playSync(image);
    const QByteArray played = m_alsa->played();
    QCOMPARE(played.size(), framesPresent * channels * 2);
    QVERIFY(played == present.first(played.size()));
}

void tst_AlsaSoundOutput::trimmedFilePlaysWhatIsLeft()
{
    // The last samples end in 0x20 bytes, which loading takes off: the first part still plays.
    const QByteArray data = WavImage::ramp16(200, 1) + WavImage::samples16({0x2020, 0x2020});
    const QByteArray image = WavImage::make({}, data);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(u"mail.wav"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(image), image.size());
    file.close();

    const QByteArray SoundData = LoadSoundFile(file.fileName());
    QCOMPARE(SoundData.size(), image.size() - 4);
    AlsaSoundOutput output;
    PlaySoundData(SoundData, 0, output);
    QCOMPARE(m_alsa->played(), data.first(400));
}

void tst_AlsaSoundOutput::cutsOffAtTheLimit()
{
    WavImage::Header header;
    header.rate = 8000;
    const QByteArray data = WavImage::ramp16(8000, 1); // one second
    AlsaSoundOutput output(250ms);
    output.playSync(WavImage::make(header, data));
    const QByteArray played = m_alsa->played();
    QCOMPARE(played.size(), 2000 * 2);
    QVERIFY(played == data.first(4000));
}

void tst_AlsaSoundOutput::undecodableDataPlaysNothing_data()
{
    QTest::addColumn<QByteArray>("image");

    WavImage::Header zeroChannels;
    zeroChannels.channels = 0;
    WavImage::Header nineChannels;
    nineChannels.channels = 9;
    WavImage::Header rateZero;
    rateZero.rate = 0;
    WavImage::Header rateTooLow;
    rateTooLow.rate = 200;
    WavImage::Header rateAbsurd;
    rateAbsurd.rate = 0xfffffff0;
    WavImage::Header bitsZero;
    bitsZero.bits = 0;
    const QByteArray data = WavImage::ramp16(100, 1);

    QTest::newRow("text") << "this is not a sound"_ba;
    QTest::newRow("header only, cut short") << WavImage::make({}, data).first(30);
    QTest::newRow("zero channels") << WavImage::make(zeroChannels, data);
    QTest::newRow("nine channels") << WavImage::make(nineChannels, data);
    QTest::newRow("rate 0") << WavImage::make(rateZero, data);
    QTest::newRow("rate 200 Hz") << WavImage::make(rateTooLow, data);
    QTest::newRow("rate near 2^32") << WavImage::make(rateAbsurd, data);
    QTest::newRow("zero bits a sample") << WavImage::make(bitsZero, data);
    QTest::newRow("not a WAV: raw AU header")
        << ".snd\x00\x00\x00\x18\xff\xff\xff\xff\x00\x00\x00\x03"
           "\x00\x00\x1f\x40\x00\x00\x00\x01"_ba +
               data;
}

void tst_AlsaSoundOutput::undecodableDataPlaysNothing()
{
    QFETCH(QByteArray, image);
    AlsaSoundOutput output;
    output.playSync(image);
    QVERIFY(m_alsa->devicePlayedNothing());
}

void tst_AlsaSoundOutput::noDeviceReturnsQuietly()
{
    QVERIFY(m_alsa->noDevice());
    AlsaSoundOutput output;
    output.stop();
    // Not a device given up: there is none, and that is no news to tell.
    QCOMPARE(output.playSync(WavImage::make({}, WavImage::ramp16(800, 1))),
             SoundOutput::PlayResult::Ended);
    QVERIFY(m_alsa->devicePlayedNothing());
}

void tst_AlsaSoundOutput::deviceThatNeverDrainsIsGivenUp_data()
{
    QTest::addColumn<bool>("readerAttached");
    QTest::newRow("a FIFO nobody opens: the device's open blocks") << false;
    QTest::newRow("a FIFO opened but never read: the device's writes block") << true;
}

void tst_AlsaSoundOutput::deviceThatNeverDrainsIsGivenUp()
{
    QFETCH(bool, readerAttached);
    QVERIFY(m_alsa->stuck(readerAttached));
    WavImage::Header header;
    header.channels = 2;
    header.rate = 48000;
    // Half a second, more than a pipe holds.
    const QByteArray image = WavImage::make(header, WavImage::ramp16(24000, 2));
    AlsaSoundOutput output(500ms);
    QCOMPARE(output.playSync(image), SoundOutput::PlayResult::DeviceGivenUp);

    // Once the sink drains, the playback left in it ends, and the next sound plays.
    QVERIFY(m_alsa->unstick(10s));
    QVERIFY(m_alsa->capture());
    const QByteArray next = WavImage::make({}, WavImage::ramp16(10, 1));
    QTRY_VERIFY(output.playSync(next) == SoundOutput::PlayResult::Ended &&
                m_alsa->played() == WavImage::ramp16(10, 1));
}

void tst_AlsaSoundOutput::shippedChimePlaysWhole()
{
    const QString path =
        qEnvironmentVariable("LARKSPUR_SOURCE_DIR") + u"/resources/sound/mail.wav"_s;
    const QByteArray SoundData = LoadSoundFile(path);
    QVERIFY2(SoundData.size() > WavImage::HeaderBytes, qPrintable(path));
    QCOMPARE(SoundData.first(4), "RIFF"_ba);
    AlsaSoundOutput output;
    PlaySoundData(SoundData, 0, output);
    // A plain 16-bit image: the device gets its data chunk byte for byte.
    QCOMPARE(m_alsa->played(), SoundData.sliced(WavImage::HeaderBytes));
}

QTEST_GUILESS_MAIN(tst_AlsaSoundOutput)
#include "tst_AlsaSoundOutput.moc"
