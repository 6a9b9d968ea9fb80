#include "mailcheck/ImapResponse.h"

#include <algorithm>
#include <string_view>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isDigits(QByteArrayView bytes)
{
    return !bytes.isEmpty() && std::all_of(bytes.begin(), bytes.end(), isDigit);
}

bool isControl(char c)
{
    const auto byte = static_cast<uchar>(c);
    return byte < 0x20 || byte == 0x7f;
}

// ATOM-CHAR: what tags, response names and code names are made of.
bool isAtomChar(char c)
{
    const auto byte = static_cast<uchar>(c);
    return byte > 0x20 && byte < 0x7f &&
           std::string_view("(){%*\"\\]").find(c) == std::string_view::npos;
}

bool isTagChar(char c)
{
    return (isAtomChar(c) || c == ']') && c != '+';
}

// Atoms among values are taken more loosely than ATOM-CHAR: "\*" in PERMANENTFLAGS, "]" in an
// astring, "%" in a LIST reply and 8-bit mailbox names all occur unquoted. "[" opens a section.
bool isValueAtomChar(char c)
{
    return !isControl(c) && std::string_view(" (){\"[").find(c) == std::string_view::npos;
}

bool allOf(QByteArrayView bytes, bool (*predicate)(char))
{
    return !bytes.isEmpty() && std::all_of(bytes.begin(), bytes.end(), predicate);
}

bool sameWord(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::optional<quint64> decimal(QByteArrayView digits)
{
    quint64 value = 0;
    for (const char c : digits) {
        if (qMulOverflow(value, quint64{10}, &value) ||
            qAddOverflow(value, quint64(c - '0'), &value))
            return std::nullopt;
    }
    return value;
}

ImapResponse::Status statusOf(QByteArrayView word)
{
    using Status = ImapResponse::Status;
    static constexpr std::pair<QByteArrayView, Status> words[] = {
        {"OK", Status::Ok},           {"NO", Status::No},   {"BAD", Status::Bad},
        {"PREAUTH", Status::Preauth}, {"BYE", Status::Bye},
    };
    for (const auto &[text, status] : words) {
        if (sameWord(word, text))
            return status;
    }
    return Status::None;
}

// Where a response code ends: the first "]" outside a quoted string, or -1.
qsizetype codeEnd(QByteArrayView line, qsizetype pos)
{
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (quoted && c == '\\')
            ++pos;
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ']')
            return pos;
    }
    return -1;
}

qsizetype wordEnd(QByteArrayView line, qsizetype pos)
{
    const qsizetype space = line.indexOf(' ', pos);
    return space < 0 ? line.size() : space;
}

} // namespace

bool ImapValue::is(QByteArrayView name) const
{
    return kind == Kind::Atom && sameWord(text, name);
}

bool ImapValue::contains(QByteArrayView name) const
{
    return std::any_of(items.cbegin(), items.cend(),
                       [name](const ImapValue &item) { return item.is(name); });
}

const ImapValue *ImapValue::find(QByteArrayView name) const
{
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].is(name))
            return &items[i + 1];
    }
    return nullptr;
}

const ImapValue *ImapResponse::fetchItem(QByteArrayView itemName) const
{
    if (name != "FETCH" || data.items.size() != 1)
        return nullptr;
    return data.items.first().find(itemName);
}

// The values of one response, read a line at a time; the lists still open are kept between lines,
// as a literal ends a line and its response goes on after its bytes.
class ImapResponseReader::ValueParser
{
public:
    enum class Outcome { LineEnd, Literal, Error };

    explicit ValueParser(const ImapReaderLimits &limits) : m_limits(limits)
    {
        m_open.append(ImapValue::list());
    }

    Outcome read(QByteArrayView line, qsizetype pos);

    // After Outcome::Literal: its announced size, and where its bytes go.
    quint64 literalSize() const { return m_literalSize; }
    QByteArray &literalBytes() { return m_open.last().items.last().text; }

    bool allClosed() const { return m_open.size() == 1; }
    ImapValue take() { return std::move(m_open.first()); }
    QString errorText() const { return m_error; }

private:
    Outcome announceLiteral(QByteArrayView line, qsizetype pos);
    bool readQuoted(QByteArrayView line, qsizetype &pos, QByteArray &text);
    bool readAtom(QByteArrayView line, qsizetype &pos, ImapValue &value);
    bool skipSection(QByteArrayView line, qsizetype &pos);
    bool count();
    bool fail(const QString &reason);

    const ImapReaderLimits &m_limits;
    QList<ImapValue> m_open; // the response's own list, then each list opened within it
    bool m_needSeparator = false;
    int m_values = 0;
    quint64 m_literalSize = 0;
    QString m_error;
};

ImapResponseReader::ValueParser::Outcome ImapResponseReader::ValueParser::read(QByteArrayView line,
                                                                               qsizetype pos)
{
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == ' ') {
            ++pos;
            m_needSeparator = false;
            continue;
        }
        if (c == ')') {
            if (m_open.size() == 1) {
                fail(u"a \")\" closes a list that was never opened"_s);
                return Outcome::Error;
            }
            ImapValue closed = std::move(m_open.last());
            m_open.removeLast();
            m_open.last().items.append(std::move(closed));
            ++pos;
            m_needSeparator = true;
            continue;
        }
        if (m_needSeparator) {
            fail(u"two values run together with no space between them"_s);
            return Outcome::Error;
        }
        if (c == '(') {
            if (m_open.size() > m_limits.depth) {
                fail(u"lists are nested more than %1 deep"_s.arg(m_limits.depth));
                return Outcome::Error;
            }
            if (!count())
                return Outcome::Error;
            m_open.append(ImapValue::list());
            ++pos;
            continue;
        }
        if (c == '{' || (c == '~' && pos + 1 < line.size() && line[pos + 1] == '{'))
            return announceLiteral(line, pos);
        ImapValue value;
        if (c == '"') {
            value.kind = ImapValue::Kind::String;
            if (!readQuoted(line, pos, value.text))
                return Outcome::Error;
        } else if (!readAtom(line, pos, value)) {
            return Outcome::Error;
        }
        if (!count())
            return Outcome::Error;
        m_open.last().items.append(std::move(value));
        m_needSeparator = true;
    }
    return Outcome::LineEnd;
}

// "{n}", "{n+}" (LITERAL+) or "~{n}" (literal8) at the end of a line: n bytes follow the line end.
ImapResponseReader::ValueParser::Outcome
ImapResponseReader::ValueParser::announceLiteral(QByteArrayView line, qsizetype pos)
{
    pos += line[pos] == '~' ? 2 : 1;
    const qsizetype digitsStart = pos;
    while (pos < line.size() && isDigit(line[pos]))
        ++pos;
    const QByteArrayView digits = line.sliced(digitsStart, pos - digitsStart);
    if (pos < line.size() && line[pos] == '+')
        ++pos;
    if (digits.isEmpty() || pos >= line.size() || line[pos] != '}') {
        fail(u"a \"{\" that announces no literal"_s);
        return Outcome::Error;
    }
    if (pos + 1 != line.size()) {
        fail(u"a literal's announcement does not end its line"_s);
        return Outcome::Error;
    }
    const std::optional<quint64> size = decimal(digits);
    if (!size) {
        fail(u"a literal's size is past 64 bits"_s);
        return Outcome::Error;
    }
    if (!count())
        return Outcome::Error;
    m_open.last().items.append(ImapValue{ImapValue::Kind::String, {}, 0, {}});
    m_literalSize = *size;
    m_needSeparator = true;
    return Outcome::Literal;
}

bool ImapResponseReader::ValueParser::readQuoted(QByteArrayView line, qsizetype &pos,
                                                 QByteArray &text)
{
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos == line.size() || (line[pos] != '"' && line[pos] != '\\'))
                return fail(u"a backslash in a quoted string escapes something other than "
                            u"\" or \\"_s);
            c = line[pos];
        }
        text.append(c);
    }
    return fail(u"a quoted string is not closed on its line"_s);
}

bool ImapResponseReader::ValueParser::readAtom(QByteArrayView line, qsizetype &pos,
                                               ImapValue &value)
{
    const qsizetype start = pos;
    while (pos < line.size()) {
        if (line[pos] == '[') {
            if (!skipSection(line, pos))
                return false;
        } else if (isValueAtomChar(line[pos])) {
            ++pos;
        } else {
            break;
        }
    }
    if (pos == start) {
        return fail(u"the byte 0x%1 where a value should begin"_s.arg(static_cast<uchar>(line[pos]),
                                                                      2, 16, QChar(u'0')));
    }
    const QByteArrayView token = line.sliced(start, pos - start);
    if (isDigits(token)) {
        const std::optional<quint64> number = decimal(token);
        if (!number)
            return fail(u"a number is past 64 bits"_s);
        value.kind = ImapValue::Kind::Number;
        value.number = *number;
        value.text = token.toByteArray();
    } else if (sameWord(token, "NIL")) {
        value.kind = ImapValue::Kind::Nil;
    } else {
        value.kind = ImapValue::Kind::Atom;
        value.text = token.toByteArray();
    }
    return true;
}

// A section, "[HEADER.FIELDS (FROM SUBJECT)]", stays inside its atom with its blanks and brackets,
// so that "BODY[...]" reads as one name followed by its value.
bool ImapResponseReader::ValueParser::skipSection(QByteArrayView line, qsizetype &pos)
{
    ++pos;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == ']') {
            ++pos;
            return true;
        }
        if (c == '"') {
            QByteArray unused;
            if (!readQuoted(line, pos, unused))
                return false;
            continue;
        }
        if (c == '[' || c == '{' || isControl(c))
            return fail(u"a section holds \"[\", \"{\" or a control byte"_s);
        ++pos;
    }
    return fail(u"a \"[\" is not closed on its line"_s);
}

bool ImapResponseReader::ValueParser::count()
{
    if (++m_values > m_limits.values)
        return fail(u"a response holds more than %1 values"_s.arg(m_limits.values));
    return true;
}

bool ImapResponseReader::ValueParser::fail(const QString &reason)
{
    m_error = reason;
    return false;
}

ImapResponseReader::ImapResponseReader(const ImapReaderLimits &limits) : m_limits(limits) {}

ImapResponseReader::~ImapResponseReader() = default;

void ImapResponseReader::feed(QByteArrayView bytes)
{
    if (hasError() || bytes.isEmpty())
        return;
    m_buffer.append(bytes);
    process();
    if (hasError()) {
        m_buffer = QByteArray();
        m_offset = 0;
        return;
    }
    // What stays is the start of one line, and it came in with these bytes: nothing is moved twice.
    // Nothing staying, the memory goes too, as a watcher sits idle most of its life.
    if (m_offset == m_buffer.size())
        m_buffer.clear();
    else
        m_buffer.remove(0, m_offset);
    m_offset = 0;
}

std::optional<ImapResponse> ImapResponseReader::next()
{
    if (m_ready.empty())
        return std::nullopt;
    ImapResponse response = std::move(m_ready.front());
    m_ready.pop_front();
    return response;
}

qsizetype ImapResponseReader::pendingBytes() const
{
    const qsizetype begun = m_inResponse ? m_responseBytes - qsizetype(m_literalLeft) : 0;
    return m_buffer.size() - m_offset + begun;
}

void ImapResponseReader::process()
{
    while (!hasError()) {
        const qsizetype available = m_buffer.size() - m_offset;
        if (m_state == State::Literal) {
            const auto take = qsizetype(std::min(m_literalLeft, quint64(available)));
            if (take == 0 && m_literalLeft > 0)
                return;
            m_values->literalBytes().append(m_buffer.constData() + m_offset, take);
            m_offset += take;
            m_literalLeft -= quint64(take);
            if (m_literalLeft == 0)
                m_state = State::Line;
            continue;
        }
        const qsizetype lineEnd = m_buffer.indexOf('\n', m_offset + m_scanned);
        if (lineEnd < 0) {
            // Refused as soon as the line passes a bound, not when it ends (if it ever does).
            m_scanned = available;
            if (available > m_limits.lineBytes)
                fail(u"a line is longer than %1 bytes"_s.arg(m_limits.lineBytes));
            else if (m_inResponse && available > m_limits.responseBytes - m_responseBytes)
                fail(u"a response is longer than %1 bytes"_s.arg(m_limits.responseBytes));
            return;
        }
        const qsizetype length = lineEnd + 1 - m_offset;
        const QByteArrayView line(m_buffer.constData() + m_offset, length);
        m_offset += length;
        m_scanned = 0;
        if (length > m_limits.lineBytes) {
            fail(u"a line is longer than %1 bytes"_s.arg(m_limits.lineBytes));
            return;
        }
        takeLine(line);
    }
}

void ImapResponseReader::takeLine(QByteArrayView line)
{
    if (!m_inResponse)
        m_responseBytes = 0;
    m_responseBytes += line.size();
    if (m_responseBytes > m_limits.responseBytes)
        return fail(u"a response is longer than %1 bytes"_s.arg(m_limits.responseBytes));
    // CR LF ends a line; a bare LF is let pass. No other CR, and no NUL, belongs in one.
    line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.contains('\r') || line.contains('\0'))
        return fail(u"a line holds a CR or a NUL byte"_s);
    if (m_inResponse)
        continueData(line, 0);
    else
        startResponse(line);
}

void ImapResponseReader::startResponse(QByteArrayView line)
{
    m_response = ImapResponse();
    m_inResponse = true;
    if (line.startsWith('+')) {
        m_response.kind = ImapResponse::Kind::Continuation;
        line = line.sliced(1);
        if (line.startsWith(' '))
            line = line.sliced(1);
        m_response.text = line.toByteArray();
        return complete();
    }
    qsizetype end = wordEnd(line, 0);
    const QByteArrayView tag = line.first(end);
    if (tag == "*") {
        m_response.kind = ImapResponse::Kind::Untagged;
    } else if (allOf(tag, isTagChar)) {
        m_response.kind = ImapResponse::Kind::Tagged;
        m_response.tag = tag.toByteArray();
    } else {
        return fail(u"a response begins with no tag, \"*\" or \"+\""_s);
    }
    if (end == line.size())
        return fail(u"a response ends after its tag"_s);

    qsizetype start = end + 1;
    end = wordEnd(line, start);
    QByteArrayView word = line.sliced(start, end - start);
    m_response.status = statusOf(word);
    if (m_response.kind == ImapResponse::Kind::Tagged) {
        const auto status = m_response.status;
        if (status != ImapResponse::Status::Ok && status != ImapResponse::Status::No &&
            status != ImapResponse::Status::Bad)
            return fail(u"a tagged response is not OK, NO or BAD"_s);
    }
    if (m_response.isStatus())
        return readStatus(line, end);

    if (isDigits(word)) {
        m_response.number = decimal(word);
        if (!m_response.number)
            return fail(u"a number is past 64 bits"_s);
        if (end == line.size())
            return fail(u"a number with no name after it"_s);
        start = end + 1;
        end = wordEnd(line, start);
        word = line.sliced(start, end - start);
    }
    if (!allOf(word, isAtomChar))
        return fail(u"untagged data whose name is not an atom"_s);
    m_response.name = word.toByteArray().toUpper();
    m_values = std::make_unique<ValueParser>(m_limits);
    continueData(line, end);
}

// "OK [UIDNEXT 4392] Predicted next UID", a response code and text both optional.
void ImapResponseReader::readStatus(QByteArrayView line, qsizetype pos)
{
    if (pos < line.size())
        ++pos; // the space after the status
    if (pos < line.size() && line[pos] == '[') {
        const qsizetype nameStart = pos + 1;
        qsizetype nameEnd = nameStart;
        while (nameEnd < line.size() && isAtomChar(line[nameEnd]))
            ++nameEnd;
        if (nameEnd == nameStart)
            return fail(u"a response code without a name"_s);
        m_response.code = line.sliced(nameStart, nameEnd - nameStart).toByteArray().toUpper();
        qsizetype close = nameEnd;
        if (nameEnd < line.size() && line[nameEnd] == ' ') {
            close = codeEnd(line, nameEnd + 1);
            if (close < 0)
                return fail(u"a response code is not closed by \"]\""_s);
            const QByteArrayView arguments = line.sliced(nameEnd + 1, close - nameEnd - 1);
            m_response.codeText = arguments.toByteArray();
            // Codes of their own kind may carry free text; that stays in codeText alone.
            ValueParser parser(m_limits);
            if (parser.read(arguments, 0) == ValueParser::Outcome::LineEnd && parser.allClosed())
                m_response.codeArguments = parser.take();
        } else if (nameEnd == line.size() || line[nameEnd] != ']') {
            return fail(u"a response code is not closed by \"]\""_s);
        }
        pos = close + 1;
        if (pos < line.size() && line[pos] == ' ')
            ++pos;
    }
    m_response.text = line.sliced(pos).toByteArray();
    complete();
}

void ImapResponseReader::continueData(QByteArrayView line, qsizetype pos)
{
    switch (m_values->read(line, pos)) {
    case ValueParser::Outcome::Error:
        return fail(m_values->errorText());
    case ValueParser::Outcome::Literal: {
        // Refused on its announcement: not one of its bytes is waited for or kept.
        const quint64 size = m_values->literalSize();
        if (size > quint64(m_limits.literalBytes))
            return fail(u"a literal of %1 bytes is more than the %2 allowed"_s.arg(size).arg(
                m_limits.literalBytes));
        if (size > quint64(m_limits.responseBytes - m_responseBytes))
            return fail(u"a response is longer than %1 bytes"_s.arg(m_limits.responseBytes));
        m_responseBytes += qsizetype(size);
        m_literalLeft = size;
        m_state = State::Literal;
        return;
    }
    case ValueParser::Outcome::LineEnd:
        if (!m_values->allClosed())
            return fail(u"a \"(\" is not closed where its response ends"_s);
        return finishData();
    }
}

// The data the session acts on must have its shape; anything after it is garbage, not ignored.
void ImapResponseReader::finishData()
{
    m_response.data = m_values->take();
    m_values.reset();
    const QList<ImapValue> &values = m_response.data.items;
    const QByteArray &name = m_response.name;
    const bool numbered = m_response.number.has_value();
    if (name == "EXISTS" || name == "RECENT" || name == "EXPUNGE") {
        if (!numbered || !values.isEmpty())
            return fail(u"%1 takes a number before it and nothing after it"_s.arg(
                QString::fromLatin1(name)));
    } else if (name == "FETCH") {
        if (!numbered || values.size() != 1 || !values.first().isList())
            return fail(u"FETCH takes a number before it and one list after it"_s);
    } else if (name == "STATUS") {
        if (values.size() != 2 || !values.last().isList())
            return fail(u"STATUS takes a mailbox and one list"_s);
    }
    complete();
}

void ImapResponseReader::complete()
{
    m_ready.push_back(std::move(m_response));
    m_response = ImapResponse();
    m_inResponse = false;
    m_responseBytes = 0;
}

void ImapResponseReader::fail(const QString &reason)
{
    if (m_error.isEmpty())
        m_error = reason;
    m_values.reset();
    m_inResponse = false;
    m_state = State::Line;
}
