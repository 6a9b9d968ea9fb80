#include "settings/Windows874.h"

#include <array>

namespace
{

// Where bytes without a character of their own are parked, one code point per byte.
constexpr char16_t undefinedBase = 0xF700;

constexpr char16_t undefinedByte = 0;

// Code points of 0x80 to 0xFF; 0 where Windows-874 defines nothing.
constexpr std::array<char16_t, 128> upperHalf = [] {
    std::array<char16_t, 128> table{};
    table[0x80 - 0x80] = 0x20AC; // euro sign
    table[0x85 - 0x80] = 0x2026; // horizontal ellipsis
    table[0x91 - 0x80] = 0x2018;
    table[0x92 - 0x80] = 0x2019;
    table[0x93 - 0x80] = 0x201C;
    table[0x94 - 0x80] = 0x201D;
    table[0x95 - 0x80] = 0x2022; // bullet
    table[0x96 - 0x80] = 0x2013; // en dash
    table[0x97 - 0x80] = 0x2014; // em dash
    table[0xA0 - 0x80] = 0x00A0; // no-break space
    for (int b = 0xA1; b <= 0xDA; ++b)
        table[b - 0x80] = char16_t(0x0E01 + (b - 0xA1));
    table[0xDF - 0x80] = 0x0E3F; // baht sign
    for (int b = 0xE0; b <= 0xFB; ++b)
        table[b - 0x80] = char16_t(0x0E40 + (b - 0xE0));
    return table;
}();

// The byte for one UTF-16 unit, or -1.
int byteFor(char16_t c)
{
    if (c < 0x80)
        return c;
    if (c >= undefinedBase + 0x80 && c <= undefinedBase + 0xFF) {
        const int b = c - undefinedBase;
        // Only bytes that decode to this code point may come back from it, or two texts
        // would share one byte.
        return upperHalf[b - 0x80] == undefinedByte ? b : -1;
    }
    for (int i = 0; i < int(upperHalf.size()); ++i) {
        if (upperHalf[i] != undefinedByte && upperHalf[i] == c)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QByteArray encodeWindows874(const QString &text, bool *ok)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    bool all = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const int b = byteFor(c);
        if (b < 0) {
            all = false;
            bytes.append('?');
            // A surrogate pair is one character and gets one "?".
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i;
            continue;
        }
        bytes.append(char(b));
    }
    if (ok)
        *ok = all;
    return bytes;
}

QString decodeWindows874(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char raw : bytes) {
        const auto b = static_cast<unsigned char>(raw);
        if (b < 0x80) {
            text.append(QChar(char16_t(b)));
            continue;
        }
        const char16_t c = upperHalf[b - 0x80];
        text.append(QChar(c == undefinedByte ? char16_t(undefinedBase + b) : c));
    }
    return text;
}
