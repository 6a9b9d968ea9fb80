#include "AlsaCapture.h"
#include "WavImage.h"
#include "notify/ModSound.h"
#include "platform/AlsaSoundOutput.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace
{

constexpr quint32 Seed = 20240611;
constexpr auto Limit = 2s;
// The most any image may make the device play: the limit at the highest rate and channel count.
constexpr qint64 MostBytesPlayed = 2 * 192000 * 8 * 2 + 4096;

void putU32At(QByteArray &image, qsizetype offset, quint32 value)
{
    if (offset + 4 <= image.size())
        qToLittleEndian(value, image.data() + offset);
}

void putU16At(QByteArray &image, qsizetype offset, quint16 value)
{
    if (offset + 2 <= image.size())
        qToLittleEndian(value, image.data() + offset);
}

QByteArray randomBytes(QRandomGenerator &random, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(random.bounded(256));
    return bytes;
}

QList<QByteArray> validImages()
{
    QList<QByteArray> images;
    WavImage::Header h;
    images.append(WavImage::make(h, WavImage::ramp16(300, 1)));
    h.channels = 2;
    h.rate = 44100;
    images.append(WavImage::make(h, WavImage::ramp16(300, 2)));
    h.channels = 1;
    h.bits = 8;
    images.append(WavImage::make(h, WavImage::ramp16(300, 1)));
    h.bits = 24;
    images.append(WavImage::make(h, WavImage::ramp16(300, 1)));
    h.format = WavImage::IeeeFloat;
    h.bits = 32;
    images.append(WavImage::make(h, WavImage::ramp16(300, 2)));
    return images;
}

} // namespace

// Hostile sound files: the loader and the decoder take whatever bytes they are given, and neither
// crashes, hangs nor plays more than the bytes can hold. The sanitizer build runs this too.
class tst_SoundFuzz : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyTruncationPlaysThePartPresent();
    void hostileHeaderFields_data();
    void hostileHeaderFields();
    void hostileChunks_data();
    void hostileChunks();
    void randomByteFlips();
    void randomImages();
    void loaderTrimsWhateverItReads();

private:
    // Plays the image and checks what reached the device against the bound.
    void play(const QByteArray &image);
    std::unique_ptr<AlsaCapture> m_alsa;
    int m_imagesPlayed = 0;
};

void tst_SoundFuzz::init()
{
    m_alsa = std::make_unique<AlsaCapture>();
    QVERIFY(m_alsa->capture());
    m_imagesPlayed = 0;
}

void tst_SoundFuzz::play(const QByteArray &image)
{
    m_alsa->forget();
    AlsaSoundOutput output(Limit);
    PlaySoundData(image, 0, output);
    const qsizetype played = m_alsa->played().size();
    QVERIFY2(played <= MostBytesPlayed, qPrintable(u"%1 bytes played"_s.arg(played)));
    if (played > 0)
        ++m_imagesPlayed;
}

void tst_SoundFuzz::everyTruncationPlaysThePartPresent()
{
    const QByteArray data = WavImage::ramp16(150, 1);
    const QByteArray image = WavImage::make({}, data);
    for (qsizetype length = 0; length <= image.size(); ++length) {
        m_alsa->forget();
        AlsaSoundOutput output(Limit);
        output.playSync(image.first(length));
        const qsizetype present = std::max<qsizetype>(0, length - WavImage::HeaderBytes) / 2 * 2;
        QVERIFY2(
            m_alsa->played() == data.first(present),
            qPrintable(u"cut at %1: %2 bytes played"_s.arg(length).arg(m_alsa->played().size())));
    }
}

void tst_SoundFuzz::hostileHeaderFields_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");

    QTest::newRow("RIFF size") << 4 << 4;
    QTest::newRow("fmt size") << 16 << 4;
    QTest::newRow("format tag") << 20 << 2;
    QTest::newRow("channels") << 22 << 2;
    QTest::newRow("sample rate") << 24 << 4;
    QTest::newRow("bytes a second") << 28 << 4;
    QTest::newRow("block align") << 32 << 2;
    QTest::newRow("bits a sample") << 34 << 2;
    QTest::newRow("data size") << 40 << 4;
}

void tst_SoundFuzz::hostileHeaderFields()
{
    QFETCH(int, offset);
    QFETCH(int, width);

    // Format tags beside PCM and float make libsndfile's other decoders run: ADPCM, a-law, GSM...
    const quint32 values[] = {0,          1,          2,          3,          6,
                              7,          0x11,       0x31,       0xfffe,     0xffff,
                              0x7fffffff, 0x80000000, 0xfffffff0, 0xffffffff, 0x00010000,
                              0x00000100, 0x0000bb80};
    for (const QByteArray &valid : validImages()) {
        for (const quint32 value : values) {
            QByteArray image = valid;
            if (width == 2)
                putU16At(image, offset, static_cast<quint16>(value));
            else
                putU32At(image, offset, value);
            play(image);
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void tst_SoundFuzz::hostileChunks_data()
{
    QTest::addColumn<QByteArray>("image");

    const QByteArray data = WavImage::ramp16(200, 1);
    const QByteArray valid = WavImage::make({}, data);
    const QByteArray head = valid.first(12);
    const QByteArray fmt = valid.sliced(12, 24);
    const QByteArray dataChunk = valid.sliced(36);
    const auto chunk = [](const char *id, quint32 size, const QByteArray &body) {
        QByteArray out(id, 4);
        WavImage::putU32(out, size);
        return out + body;
    };

    QTest::newRow("huge LIST before fmt")
        << head + chunk("LIST", 0xfffffff0, "INFO"_ba) + fmt + dataChunk;
    QTest::newRow("huge LIST between fmt and data")
        << head + fmt + chunk("LIST", 0x7ffffff0, "INFOISFT"_ba) + dataChunk;
    QTest::newRow("odd-sized chunk without its pad byte")
        << head + fmt + chunk("junk", 3, "abc"_ba) + dataChunk;
    QTest::newRow("fmt chunk claiming 4 GiB")
        << head + chunk("fmt ", 0xffffffff, fmt.sliced(8)) + dataChunk;
    QTest::newRow("fmt chunk of 2 bytes") << head + chunk("fmt ", 2, "\x01\x00"_ba) + dataChunk;
    QTest::newRow("two data chunks") << valid + dataChunk;
    QTest::newRow("data before fmt") << head + dataChunk + fmt;
    QTest::newRow("no data chunk") << head + fmt;
    QTest::newRow("a thousand empty chunks") << [&] {
        QByteArray out = head + fmt;
        for (int i = 0; i < 1000; ++i)
            out += chunk("pad ", 0, {});
        return out + dataChunk;
    }();
    QTest::newRow("extensible fmt cut short")
        << head +
               chunk(
                   "fmt ", 40,
                   "\xfe\xff\x02\x00\x40\x1f\x00\x00\x00\x7d\x00\x00\x04\x00\x10\x00\x16\x00"_ba) +
               dataChunk;
    QTest::newRow("RF64 without ds64") << "RF64\xff\xff\xff\xffWAVE"_ba + fmt + dataChunk;
}

void tst_SoundFuzz::hostileChunks()
{
    QFETCH(QByteArray, image);
    play(image);
}

void tst_SoundFuzz::randomByteFlips()
{
    QRandomGenerator random(Seed);
    const QList<QByteArray> images = validImages();
    for (int round = 0; round < 600; ++round) {
        QByteArray image = images.at(round % images.size());
        const int flips = 1 + static_cast<int>(random.bounded(6));
        for (int i = 0; i < flips; ++i) {
            // Mostly in the header, where a wrong byte changes how the rest is read.
            const qsizetype at = random.bounded(4) == 0 ? random.bounded(image.size())
                                                        : random.bounded(qsizetype(48));
            image[at] = static_cast<char>(random.bounded(256));
        }
        if (random.bounded(3) == 0)
            image.truncate(random.bounded(image.size() + 1));
        play(image);
        if (QTest::currentTestFailed())
            return;
    }
    qInfo("%d of 600 damaged images still played", m_imagesPlayed);
    // Damage that stops every image at the door would test nothing of the decoders.
    QVERIFY(m_imagesPlayed >= 50);
}

void tst_SoundFuzz::randomImages()
{
    QRandomGenerator random(Seed + 1);
    for (int round = 0; round < 300; ++round) {
        QByteArray image = randomBytes(random, random.bounded(600));
        // Half of them get past the first look of the WAV reader.
        if (round % 2 == 0 && image.size() >= 12) {
            image.replace(0, 4, "RIFF");
            image.replace(8, 4, "WAVE");
            if (image.size() >= 16)
                image.replace(12, 4, "fmt ");
        }
        play(image);
        if (QTest::currentTestFailed())
            return;
    }
}

void tst_SoundFuzz::loaderTrimsWhateverItReads()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"mail.wav"_s);
    QRandomGenerator random(Seed + 2);
    for (int round = 0; round < 200; ++round) {
        const QByteArray body = randomBytes(random, random.bounded(3000));
        const QByteArray content =
            QByteArray(random.bounded(1500), ' ') + body + QByteArray(random.bounded(1500), ' ');
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
        file.close();

        const std::string raw = content.toStdString();
        const size_t first = raw.find_first_not_of(' ');
        const std::string expected = first == std::string::npos
                                         ? std::string()
                                         : raw.substr(first, raw.find_last_not_of(' ') - first + 1);
        const QByteArray loaded = LoadSoundFile(path);
        QVERIFY2(loaded.toStdString() == expected, qPrintable(u"round %1"_s.arg(round)));
        play(loaded);
        if (QTest::currentTestFailed())
            return;
    }
}

QTEST_GUILESS_MAIN(tst_SoundFuzz)
#include "tst_SoundFuzz.moc"
