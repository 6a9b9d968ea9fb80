#pragma once

#include <QByteArray>
#include <QtEndian>

// Builds RIFF WAVE images byte by byte, so that tests can write exactly the header they mean,
// lies included.
namespace WavImage
{

enum Format : quint16 { Pcm = 1, IeeeFloat = 3 };

inline void putU16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

inline void putU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

struct Header {
    quint16 format = Pcm;
    quint16 channels = 1;
    quint32 rate = 8000;
    quint16 bits = 16;
    // The sizes the header announces; -1 means the true ones.
    qint64 riffSize = -1;
    qint64 dataSize = -1;
};

// The image: RIFF header, a 16-byte fmt chunk and a data chunk holding `data`.
inline QByteArray make(const Header &h, const QByteArray &data)
{
    const quint16 blockAlign = static_cast<quint16>(h.channels * ((h.bits + 7) / 8));
    QByteArray out;
    out.append("RIFF");
    putU32(out, static_cast<quint32>(h.riffSize >= 0 ? h.riffSize : 4 + 24 + 8 + data.size()));
    out.append("WAVEfmt ");
    putU32(out, 16);
    putU16(out, h.format);
    putU16(out, h.channels);
    putU32(out, h.rate);
    putU32(out, h.rate * blockAlign);
    putU16(out, blockAlign);
    putU16(out, h.bits);
    out.append("data");
    putU32(out, static_cast<quint32>(h.dataSize >= 0 ? h.dataSize : data.size()));
    out.append(data);
    return out;
}

inline constexpr qsizetype HeaderBytes = 44;

// 16-bit little-endian samples.
inline QByteArray samples16(std::initializer_list<qint16> values)
{
    QByteArray out;
    for (const qint16 v : values)
        putU16(out, static_cast<quint16>(v));
    return out;
}

// A sawtooth of 16-bit samples that never holds a 0x20 byte, so trimming leaves it alone.
inline QByteArray ramp16(qsizetype frames, int channels)
{
    QByteArray out;
    for (qsizetype i = 0; i < frames * channels; ++i) {
        quint16 v = static_cast<quint16>((i * 977) % 60000 + 1000);
        if ((v & 0xff) == 0x20)
            ++v;
        if ((v >> 8) == 0x20)
            v = static_cast<quint16>(v + 0x100);
        putU16(out, v);
    }
    return out;
}

} // namespace WavImage
