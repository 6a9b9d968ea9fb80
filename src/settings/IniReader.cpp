#include "settings/IniReader.h"

#include "settings/Windows874.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace
{

// The buffer sizes the Windows program passed; results are one byte shorter (its final NUL).
constexpr qsizetype valueBufferSize = 1024;
constexpr qsizetype namesBufferSize = 4096;
// A line is kept up to this many bytes; the rest of an overlong line is dropped unread, which
// bounds the memory a hostile file can take. Far more than any key and its 1023-byte value need.
constexpr qsizetype maxKeptLine = 64 * 1024;
constexpr qint64 chunkSize = 64 * 1024;
// A settings file is a few hundred bytes; one past this is no settings file, and reading it (once
// per key) would hold up the start for as long as it takes.
constexpr qint64 maxFileSize = 1024 * 1024;

// What the platform's reader trims: blanks, tabs and vertical tabs.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v';
}

QByteArray trimmedBlanks(const QByteArray &bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes.at(begin)))
        ++begin;
    while (end > begin && isBlank(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// ASCII case only: Thai letters of Windows-874 have no case, and Latin-1 folding would pair them.
bool sameName(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a.at(i)) != asciiLower(b.at(i)))
            return false;
    }
    return true;
}

QByteArray withoutQuotePair(const QByteArray &value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// Walks the lines of one file and picks the wanted key (or all key names) from the first
// section of the wanted name.
class SectionScan
{
public:
    SectionScan(QByteArray section, QByteArray key, bool listNames)
        : m_section(std::move(section)), m_key(std::move(key)), m_listNames(listNames)
    {
    }

    // Returns false once nothing later in the file can change the result.
    bool line(QByteArray text)
    {
        // The platform's reader sees C strings: a NUL ends the line's content.
        if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
            text.truncate(nul);
        qsizetype start = 0;
        while (start < text.size() && isBlank(text.at(start)))
            ++start;
        if (start == text.size())
            return true;
        if (text.at(start) == '[') {
            if (m_inSection)
                return false; // only the first section of that name counts
            // Without its closing bracket, the header names the section with the rest of the line.
            qsizetype close = text.lastIndexOf(']');
            if (close <= start)
                close = text.size();
            m_inSection =
                sameName(trimmedBlanks(text.mid(start + 1, close - start - 1)), m_section);
            return true;
        }
        if (!m_inSection)
            return true;
        const qsizetype equals = text.indexOf('=', start);
        const QByteArray name =
            trimmedBlanks(text.mid(start, equals < 0 ? text.size() - start : equals - start));
        if (m_listNames) {
            m_names += name;
            m_names += '\0';
            return m_names.size() < namesBufferSize;
        }
        if (!sameName(name, m_key))
            return true;
        m_found = true;
        // A line without "=" names the key but gives it no value: the default stands.
        m_hasValue = equals >= 0;
        if (m_hasValue)
            m_value = withoutQuotePair(trimmedBlanks(text.mid(equals + 1)));
        return false;
    }

    bool found() const { return m_found && m_hasValue; }
    const QByteArray &value() const { return m_value; }
    const QByteArray &names() const { return m_names; }

private:
    QByteArray m_section;
    QByteArray m_key;
    bool m_listNames;
    bool m_inSection = false;
    bool m_found = false;
    bool m_hasValue = false;
    QByteArray m_value;
    QByteArray m_names;
};

// Splits bytes into lines (ended by CR, LF or CR LF) for a scan, keeping at most maxKeptLine
// bytes of each.
class LineFeeder
{
public:
    explicit LineFeeder(SectionScan &scan) : m_scan(scan) {}

    // Returns false once the scan needs nothing more.
    bool feed(const QByteArray &bytes, qsizetype from = 0)
    {
        for (qsizetype i = from; i < bytes.size(); ++i) {
            const char c = bytes.at(i);
            if (c == '\n' && m_lastWasCr) {
                m_lastWasCr = false;
                continue; // the LF of a CR LF
            }
            m_lastWasCr = c == '\r';
            if (c == '\r' || c == '\n') {
                if (!m_scan.line(m_line))
                    return false;
                m_line.clear();
                m_dropping = false;
                continue;
            }
            if (m_dropping)
                continue;
            m_line.append(c);
            m_dropping = m_line.size() >= maxKeptLine;
        }
        return true;
    }

    void finish()
    {
        if (!m_line.isEmpty())
            m_scan.line(m_line);
    }

private:
    SectionScan &m_scan;
    QByteArray m_line;
    bool m_dropping = false; // the current line passed maxKeptLine
    bool m_lastWasCr = false;
};

QString tooLarge()
{
    return u"it is larger than 1 MiB"_s;
}

// A file with a UTF-16 byte-order mark (Notepad saves "Unicode" so) holds the same lines as
// text; they are scanned in their Windows-874 form, like every other file. Text that Windows-874
// cannot hold would come back changed, so such a file is not read at all.
bool scanUtf16(QFile &file, QByteArray bytes, SectionScan &scan, QString *why)
{
    const auto encoding =
        bytes.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
    bytes += file.read(maxFileSize + 1 - bytes.size());
    if (file.error() != QFileDevice::NoError) {
        *why = file.errorString();
        return false;
    }
    if (bytes.size() > maxFileSize) {
        *why = tooLarge();
        return false;
    }
    if (bytes.size() % 2 != 0) {
        *why = u"it is UTF-16 text cut off in the middle of a character"_s;
        return false;
    }
    QStringDecoder decode(encoding);
    const QString text = decode(QByteArrayView(bytes).sliced(2));
    bool representable = false;
    const QByteArray lines = encodeWindows874(text, &representable);
    if (decode.hasError() || !representable) {
        *why = u"it is UTF-16 text with characters that Windows-874 cannot hold"_s;
        return false;
    }
    LineFeeder feeder(scan);
    if (feeder.feed(lines))
        feeder.finish();
    return true;
}

// Feeds the file's lines to `scan`. Returns false with *why set when the file cannot be read.
bool scanFile(QFile &file, SectionScan &scan, QString *why)
{
    LineFeeder feeder(scan);
    qint64 total = 0;
    bool first = true;
    for (;;) {
        const QByteArray chunk = file.read(chunkSize);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                *why = file.errorString();
                return false;
            }
            break;
        }
        // A file that grew past the limit while it was read is refused like a large one.
        total += chunk.size();
        if (total > maxFileSize) {
            *why = tooLarge();
            return false;
        }
        qsizetype from = 0;
        if (first) {
            first = false;
            if (chunk.startsWith("\xFF\xFE") || chunk.startsWith("\xFE\xFF"))
                return scanUtf16(file, chunk, scan, why);
            if (chunk.startsWith("\xEF\xBB\xBF"))
                from = 3;
        }
        if (!feeder.feed(chunk, from))
            return true;
    }
    feeder.finish();
    return true;
}

QString nativeName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

} // namespace

QByteArray ReadIniString(const QString &section, const QString &key, const QByteArray &defaultValue,
                         const QString &fileName, QString *error, bool *found)
{
    if (error)
        error->clear();
    if (found)
        *found = false;
    QByteArray fallback = defaultValue;
    while (!fallback.isEmpty() && fallback.back() == ' ')
        fallback.chop(1);
    fallback.truncate(valueBufferSize - 1);

    const bool listNames = key.isNull();
    if (!listNames && key.isEmpty())
        return fallback;

    const auto fail = [&](const QString &why) {
        if (error)
            *error = u"อ่านไฟล์ %1 ไม่ได้ : %2"_s.arg(nativeName(fileName), why);
        return fallback;
    };

    const QFileInfo info(fileName);
    if (!info.exists()) {
        // QFileInfo follows links: a link to nothing is a file the user has, not a missing one.
        if (info.isSymLink())
            return fail(u"it is a link to %1, which does not exist"_s.arg(
                nativeName(info.symLinkTarget())));
        return fallback;
    }
    if (info.isDir())
        return fail(u"it is a folder"_s);
    if (!info.isFile())
        return fail(u"it is not a regular file"_s);
    if (info.size() > maxFileSize)
        return fail(tooLarge());

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());

    SectionScan scan(encodeWindows874(section), encodeWindows874(key), listNames);
    QString why;
    if (!scanFile(file, scan, &why))
        return fail(why);

    if (listNames) {
        if (scan.names().isEmpty())
            return fallback;
        return scan.names().left(namesBufferSize - 2);
    }
    if (!scan.found())
        return fallback;
    if (found)
        *found = true;
    return scan.value().left(valueBufferSize - 1);
}
