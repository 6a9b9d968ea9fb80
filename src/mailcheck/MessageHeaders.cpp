#include "mailcheck/MessageHeaders.h"

#include "settings/Windows874.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{

constexpr qsizetype MaxCharsetLength = 64; // real labels are under 20 bytes
constexpr int SummaryPartLength = 80;      // characters as the reader sees them

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isAllBlank(QByteArrayView text)
{
    for (const char c : text) {
        if (!isBlank(c))
            return false;
    }
    return true;
}

// ---- charsets

// The bytes windows-874 leaves undefined come back as private-use characters that fonts draw as
// nothing; a replacement character at least shows that something was there.
QString fromWindows874(const QByteArray &bytes)
{
    QString text = decodeWindows874(bytes);
    for (QChar &c : text) {
        if (c.category() == QChar::Other_PrivateUse)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

// Text that names no charset: UTF-8 if it is valid UTF-8 (RFC 6532 allows it raw), else the Thai
// default, whose decoder takes any byte.
QString fromUnlabelled(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? fromWindows874(bytes) : text;
}

// The charset of an encoded word, without an RFC 2231 language suffix ("utf-8*th"), lower case.
QByteArray charsetName(QByteArrayView label)
{
    const qsizetype star = label.indexOf('*');
    return (star < 0 ? label : label.first(star)).toByteArray().toLower();
}

QString fromCharset(const QByteArray &bytes, const QByteArray &charset)
{
    // Every Thai label means windows-874 in practice, as in the WHATWG Encoding Standard: senders
    // label its quotes and euro "TIS-620", and ICU's own "cp874" is IBM's table, not Python's.
    static const QByteArrayView thaiLabels[] = {"windows-874", "x-windows-874", "cp874",
                                                "dos-874",     "tis-620",       "tis620",
                                                "iso-8859-11", "iso8859-11",    "iso885911"};
    for (const QByteArrayView thai : thaiLabels) {
        if (charset == thai)
            return fromWindows874(bytes);
    }
    // 8-bit bytes in text labelled ASCII were written in some other charset: guess it.
    if (charset == "us-ascii" || charset == "ascii")
        return fromUnlabelled(bytes);
    // Mailers label windows-1252 text (curly quotes, dashes) "iso-8859-1" (WHATWG again).
    const QByteArray name =
        charset == "iso-8859-1" || charset == "latin1" ? "windows-1252"_ba : charset;
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return fromUnlabelled(bytes);
    return decoder(bytes);
}

// ---- RFC 2047 encoded words

struct EncodedWord {
    qsizetype end = 0; // just past the closing "?="
    QByteArray charset;
    QByteArray bytes;
};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQ(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            bytes += ' ';
        } else if (c == '=' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            bytes += c; // a stray "=" stays as it was written
        }
    }
    return bytes;
}

// End of a run of printable ASCII other than "?" starting at from. Each scan stops at the next
// "?", and every "=?" holds one, so trying each "=?" of a line stays linear.
qsizetype tokenEnd(const QByteArray &raw, qsizetype from)
{
    while (from < raw.size() && raw[from] > ' ' && raw[from] < '\x7f' && raw[from] != '?')
        ++from;
    return from;
}

// The encoded word "=?charset?B?text?=" or "=?charset?Q?text?=" at raw[at], where raw has "=?".
// Not one (malformed, unterminated, invalid base64): it stays plain text.
std::optional<EncodedWord> encodedWordAt(const QByteArray &raw, qsizetype at)
{
    const qsizetype charsetStart = at + 2;
    const qsizetype charsetEnd = tokenEnd(raw, charsetStart);
    if (charsetEnd == charsetStart || charsetEnd - charsetStart > MaxCharsetLength ||
        charsetEnd + 3 > raw.size() || raw[charsetEnd] != '?' || raw[charsetEnd + 2] != '?')
        return std::nullopt;
    const char encoding = raw[charsetEnd + 1];
    const qsizetype textStart = charsetEnd + 3;
    const qsizetype textEnd = tokenEnd(raw, textStart);
    if (textEnd + 1 >= raw.size() || raw[textEnd] != '?' || raw[textEnd + 1] != '=')
        return std::nullopt;

    const QByteArrayView text(raw.constData() + textStart, textEnd - textStart);
    EncodedWord word;
    if (encoding == 'B' || encoding == 'b') {
        auto decoded = QByteArray::fromBase64Encoding(text.toByteArray(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        word.bytes = std::move(decoded.decoded);
    } else if (encoding == 'Q' || encoding == 'q') {
        word.bytes = decodeQ(text);
    } else {
        return std::nullopt;
    }
    word.charset =
        charsetName(QByteArrayView(raw.constData() + charsetStart, charsetEnd - charsetStart));
    word.end = textEnd + 2;
    return word;
}

// ---- one line

bool isBidiControl(QChar c)
{
    // Embeddings, overrides and isolates: an unclosed one would reorder the rest of the line.
    return (c.unicode() >= 0x202A && c.unicode() <= 0x202E) ||
           (c.unicode() >= 0x2066 && c.unicode() <= 0x2069);
}

QString oneLine(const QString &text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        switch (c.category()) {
        case QChar::Other_Control:
            if (c == u'\t' || c == u'\n' || c == u'\r')
                line += u' ';
            break;
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            line += u' ';
            break;
        default:
            if (!isBidiControl(c))
                line += c;
        }
    }
    return line.simplified();
}

// ---- From

// The sender as shown, from a From value: the display name of "Name <address>", the comment of
// the old "address (Name)", else the address. Only the first mailbox of a list counts.
QString senderName(const QByteArray &value)
{
    QByteArray phrase;  // outside brackets, quotes removed
    QByteArray address; // inside the first <>
    QByteArray comment; // inside the first top-level ()
    bool sawAngle = false;
    bool inAngle = false;
    bool quoted = false;
    int commentDepth = 0;
    bool commentTaken = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if ((quoted || commentDepth > 0) && c == '\\' && i + 1 < value.size()) {
            const char escaped = value[++i];
            if (quoted)
                phrase += escaped;
            else if (!commentTaken)
                comment += escaped;
            continue;
        }
        if (quoted) {
            if (c == '"')
                quoted = false;
            else
                phrase += c;
        } else if (commentDepth > 0) {
            commentDepth += c == '(' ? 1 : c == ')' ? -1 : 0;
            if (commentDepth == 0)
                commentTaken = true;
            else if (!commentTaken)
                comment += c;
        } else if (inAngle) {
            if (c == '>')
                inAngle = false;
            else
                address += c;
        } else if (c == '"') {
            quoted = !sawAngle;
        } else if (c == '(') {
            commentDepth = 1;
        } else if (c == '<') {
            inAngle = !sawAngle;
            sawAngle = true;
        } else if (c == ',') {
            if (sawAngle || !isAllBlank(phrase))
                break;
        } else if (!sawAngle) {
            phrase += c;
        }
    }

    const QByteArray &name = sawAngle ? phrase : comment;
    const QByteArray &addressShown = sawAngle ? address : phrase;
    QString shown = decodeHeaderText(name);
    if (shown.isEmpty())
        shown = decodeHeaderText(addressShown);
    if (shown.isEmpty())
        shown = decodeHeaderText(value);
    return shown;
}

// The first line of sender or subject when it is longer than fits, ending in an ellipsis. Counted
// in grapheme clusters, so a Thai vowel or tone mark stays on its consonant.
QString cutToLength(const QString &text, int length)
{
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    qsizetype keep = 0;
    for (int count = 0; count < length; ++count) {
        const qsizetype next = clusters.toNextBoundary();
        if (next < 0 || next >= text.size())
            return text;
        if (count < length - 1)
            keep = next;
    }
    while (keep > 0 && text.at(keep - 1).isSpace())
        --keep;
    return text.first(keep) + u'…';
}

} // namespace

QString decodeHeaderText(const QByteArray &raw)
{
    QString text;
    QByteArray runCharset; // adjacent encoded words of one charset, joined before decoding
    QByteArray runBytes;
    bool inRun = false;
    const auto endRun = [&] {
        if (inRun)
            text += fromCharset(runBytes, runCharset);
        inRun = false;
        runBytes.clear();
    };

    qsizetype plainStart = 0;
    qsizetype at = 0;
    while ((at = raw.indexOf("=?", at)) >= 0) {
        std::optional<EncodedWord> word = encodedWordAt(raw, at);
        if (!word) {
            ++at;
            continue;
        }
        const QByteArray between = raw.sliced(plainStart, at - plainStart);
        // Blanks between two encoded words are not part of the text (RFC 2047 6.2).
        if (!inRun || !isAllBlank(between)) {
            endRun();
            text += fromUnlabelled(between);
        }
        if (!inRun || word->charset != runCharset)
            endRun();
        inRun = true;
        runCharset = word->charset;
        runBytes += word->bytes;
        at = plainStart = word->end;
    }
    endRun();
    text += fromUnlabelled(raw.sliced(plainStart));
    return oneLine(text);
}

MessageHeaders parseMessageHeaders(const QByteArray &block)
{
    struct Field {
        QByteArrayView name;
        QByteArray value;
        bool found = false;
    };
    Field from{"from", {}, false}, subject{"subject", {}, false}, date{"date", {}, false};
    Field *const fields[] = {&from, &subject, &date};
    Field *current = nullptr; // the field that takes the continuation lines that follow

    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype end = block.indexOf('\n', start);
        if (end < 0)
            end = block.size();
        QByteArrayView line(block.constData() + start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break; // the blank line after the header
        if (line.front() == ' ' || line.front() == '\t') {
            if (current)
                current->value += line; // unfolding removes only the line break
            continue;
        }
        current = nullptr;
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArrayView name = line.first(colon).trimmed();
        for (Field *field : fields) {
            if (!field->found && name.compare(field->name, Qt::CaseInsensitive) == 0) {
                field->found = true;
                field->value = line.sliced(colon + 1).toByteArray();
                current = field;
            }
        }
    }

    MessageHeaders headers;
    headers.from = senderName(from.value);
    headers.subject = decodeHeaderText(subject.value);
    headers.date = oneLine(fromUnlabelled(date.value));
    return headers;
}

QString summaryLine(const MessageHeaders &headers)
{
    const QString from = oneLine(headers.from);
    const QString subject = oneLine(headers.subject);
    return (from.isEmpty() ? u"(ไม่ทราบผู้ส่ง)"_s : cutToLength(from, SummaryPartLength)) + u": "_s +
           (subject.isEmpty() ? u"(ไม่มีหัวเรื่อง)"_s : cutToLength(subject, SummaryPartLength));
}
