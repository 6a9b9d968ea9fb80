#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <deque>
#include <memory>
#include <optional>

// One value of an IMAP response as the server wrote it: an atom, a number, a string (quoted or a
// literal), NIL, or a parenthesized list of values.
struct ImapValue {
    enum class Kind { Atom, Number, String, Nil, List };

    Kind kind = Kind::Nil;
    // Atom: its characters, a section and origin included ("BODY[HEADER.FIELDS (FROM)]",
    // "BODY[]<0>"). Number: its digits, for a number that names a mailbox. String: its bytes,
    // escapes undone; a literal's bytes exactly as they came.
    QByteArray text;
    quint64 number = 0;
    QList<ImapValue> items; // a List's values

    static ImapValue list() { return {Kind::List, {}, 0, {}}; }

    bool isAtom() const { return kind == Kind::Atom; }
    bool isNumber() const { return kind == Kind::Number; }
    bool isString() const { return kind == Kind::String; }
    bool isNil() const { return kind == Kind::Nil; }
    bool isList() const { return kind == Kind::List; }

    // An atom spelt `name`, in any case: keywords and flags are case-insensitive.
    bool is(QByteArrayView name) const;
    // A list holding the atom `name`, in any case: a flag, a capability.
    bool contains(QByteArrayView name) const;
    // In a list of names and values (FETCH, STATUS), the value after the atom `name`, in any case.
    // A section is part of the name: "BODY[HEADER.FIELDS (FROM SUBJECT)]". Null when absent.
    const ImapValue *find(QByteArrayView name) const;
};

// One complete response: a tagged or untagged status, untagged data, or a continuation request.
struct ImapResponse {
    enum class Kind { Tagged, Untagged, Continuation };
    enum class Status { None, Ok, No, Bad, Preauth, Bye };

    Kind kind = Kind::Untagged;
    QByteArray tag;               // tagged responses
    Status status = Status::None; // status responses; None for data and continuations
    // "[UIDNEXT 4392]": the code "UIDNEXT" in upper case, its arguments as written ("4392") and
    // as values: none when they are free text.
    QByteArray code;
    QByteArray codeText;
    ImapValue codeArguments = ImapValue::list();
    QByteArray text; // the human text (a continuation's text or base64)
    // Data: "* 23 EXISTS" gives 23, "EXISTS" (in upper case) and the values after the name.
    std::optional<quint64> number;
    QByteArray name;
    ImapValue data = ImapValue::list();

    bool isStatus() const { return status != Status::None; }
    // For "* n FETCH (...)": the item `itemName`, in any case ("UID", "FLAGS", "BODY[HEADER]").
    const ImapValue *fetchItem(QByteArrayView itemName) const;
};

// Bounds on what one server may make the reader hold. All in bytes but depth and values.
struct ImapReaderLimits {
    qsizetype responseBytes = 2 * 1024 * 1024; // one response, literals and line ends included
    qsizetype lineBytes = 256 * 1024;          // one line outside literals, its CR LF included
    qsizetype literalBytes = 1024 * 1024;      // one literal
    int depth = 32;                            // lists within lists
    int values = 100'000;                      // values in one response, lists included
};

// Reads a server's byte stream into responses. Bytes come in any pieces (a line, part of one,
// several, one at a time) and give the same responses. The first protocol error or bound passed
// stops it for good: the connection is beyond repair, as nothing tells where the next response
// starts. Responses completed before it are still handed out.
class ImapResponseReader
{
public:
    explicit ImapResponseReader(const ImapReaderLimits &limits = {});
    ~ImapResponseReader();
    ImapResponseReader(const ImapResponseReader &) = delete;
    ImapResponseReader &operator=(const ImapResponseReader &) = delete;

    void feed(QByteArrayView bytes);
    // The next complete response, oldest first.
    std::optional<ImapResponse> next();

    bool hasError() const { return !m_error.isEmpty(); }
    // What went wrong, in English; empty while all is well.
    QString errorText() const { return m_error; }
    // Bytes taken in that belong to no complete response yet. After the tagged OK to STARTTLS it
    // must be none: anything more came before the handshake, in the clear.
    qsizetype pendingBytes() const;

private:
    enum class State { Line, Literal };
    class ValueParser;

    void process();
    void takeLine(QByteArrayView line);
    void startResponse(QByteArrayView line);
    void readStatus(QByteArrayView line, qsizetype pos);
    void continueData(QByteArrayView line, qsizetype pos);
    void finishData();
    void complete();
    void fail(const QString &reason);

    ImapReaderLimits m_limits;
    QByteArray m_buffer;
    qsizetype m_offset = 0;  // where the bytes not yet taken begin in m_buffer
    qsizetype m_scanned = 0; // bytes from m_offset known to hold no line end
    State m_state = State::Line;
    quint64 m_literalLeft = 0;
    bool m_inResponse = false;
    qsizetype m_responseBytes = 0;
    ImapResponse m_response;
    std::unique_ptr<ValueParser> m_values;
    std::deque<ImapResponse> m_ready;
    QString m_error;
};
