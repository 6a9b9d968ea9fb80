#include "settings/IniReader.h"

#include "settings/Windows874.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
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
            const qsizetype close = text.lastIndexOf(']');
            if (close > start) {
                if (m_inSection)
                    return false; // only the first section of that name counts
                m_inSection =
                    sameName(trimmedBlanks(text.mid(start + 1, close - start - 1)), m_section);
                return true;
            }
            // Without a closing bracket the line is an ordinary key line.
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

// Feeds the file's lines to `scan`. Returns false with *why set when the file cannot be read.
bool scanFile(QFile &file, SectionScan &scan, QString *why)
{
    QByteArray chunk;
    QByteArray line;
    bool dropping = false; // the current line passed maxKeptLine
    bool lastWasCr = false;
    bool first = true;
    for (;;) {
        chunk = file.read(chunkSize);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                *why = file.errorString();
                return false;
            }
            break;
        }
        qsizetype i = 0;
        if (first) {
            first = false;
            if (chunk.startsWith("\xEF\xBB\xBF"))
                i = 3;
        }
        for (; i < chunk.size(); ++i) {
            const char c = chunk.at(i);
            if (c == '\n' && lastWasCr) {
                lastWasCr = false;
                continue; // the LF of a CR LF
            }
            lastWasCr = c == '\r';
            if (c == '\r' || c == '\n') {
                if (!scan.line(line))
                    return true;
                line.clear();
                dropping = false;
                continue;
            }
            if (dropping)
                continue;
            line.append(c);
            dropping = line.size() >= maxKeptLine;
        }
    }
    if (!line.isEmpty())
        scan.line(line);
    return true;
}

QString nativeName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

} // namespace

QByteArray ReadIniString(const QString &section, const QString &key, const QByteArray &defaultValue,
                         const QString &fileName, QString *error)
{
    if (error)
        error->clear();
    QByteArray fallback = defaultValue;
    while (!fallback.isEmpty() && fallback.back() == ' ')
        fallback.chop(1);
    fallback.truncate(valueBufferSize - 1);

    const bool listNames = key.isNull();
    if (!listNames && key.isEmpty())
        return fallback;

    const auto fail = [&](const QString &why) {
        if (error)
            *error = u"Cannot read %1: %2"_s.arg(nativeName(fileName), why);
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
    return scan.value().left(valueBufferSize - 1);
}
