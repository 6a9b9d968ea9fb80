// Reading IMAP responses in any pieces, within bounds; and writing commands the server reads right.
#include "mailcheck/ImapCommand.h"
#include "mailcheck/ImapResponse.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

// One line per response, values written the way a reader of the test can check them:
// #number, "string" (escapes undone), NIL, (list), atoms as they are.
QByteArray dump(const ImapValue &value)
{
    switch (value.kind) {
    case ImapValue::Kind::Atom:
        return value.text;
    case ImapValue::Kind::Number:
        return '#' + QByteArray::number(value.number);
    case ImapValue::Kind::String:
        return '"' + value.text + '"';
    case ImapValue::Kind::Nil:
        return "NIL";
    case ImapValue::Kind::List:
        break;
    }
    QByteArrayList items;
    for (const ImapValue &item : value.items)
        items.append(dump(item));
    return '(' + items.join(' ') + ')';
}

QByteArray dump(const ImapResponse &response)
{
    static const QByteArrayList statuses = {"", "OK", "NO", "BAD", "PREAUTH", "BYE"};
    if (response.kind == ImapResponse::Kind::Continuation)
        return response.text.isEmpty() ? QByteArray("+") : QByteArray("+ ") + response.text;
    QByteArray line = response.kind == ImapResponse::Kind::Tagged ? response.tag : QByteArray("*");
    if (!response.isStatus()) {
        if (response.number)
            line += " #" + QByteArray::number(*response.number);
        return line + ' ' + response.name + ' ' + dump(response.data);
    }
    line += ' ' + statuses.at(int(response.status));
    if (!response.code.isEmpty()) {
        line += " [" + response.code;
        if (!response.codeText.isEmpty())
            line += ' ' + dump(response.codeArguments) + '|' + response.codeText;
        line += ']';
    }
    return response.text.isEmpty() ? line : line + ' ' + response.text;
}

// The same bytes whole, a line at a time and a byte at a time.
QList<QByteArrayList> chunkings(const QByteArray &bytes)
{
    QByteArrayList lines;
    for (qsizetype start = 0; start < bytes.size();) {
        const qsizetype end = bytes.indexOf('\n', start);
        const qsizetype next = end < 0 ? bytes.size() : end + 1;
        lines.append(bytes.mid(start, next - start));
        start = next;
    }
    QByteArrayList bytewise;
    for (const char c : bytes)
        bytewise.append(QByteArray(1, c));
    return {{bytes}, lines, bytewise};
}

QByteArrayList readAll(ImapResponseReader &reader, const QByteArrayList &pieces)
{
    QByteArrayList responses;
    for (const QByteArray &piece : pieces) {
        reader.feed(piece);
        while (const std::optional<ImapResponse> response = reader.next())
            responses.append(dump(*response));
    }
    return responses;
}

const QByteArray header = "From: a@example.org\r\nSubject: hi\r\n\r\n"; // 36 bytes

} // namespace

class TestImapResponse : public QObject
{
    Q_OBJECT

private slots:
    void responses_data();
    void responses();
    void errors_data();
    void errors();
    void fetchItems();
    void command_data();
    void command();
};

void TestImapResponse::responses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected"); // one line per response

    QTest::newRow("tagged OK") << "a1 OK LOGIN completed\r\n"_ba
                               << "a1 OK LOGIN completed"_ba;
    QTest::newRow("tagged NO in lower case, code without arguments")
        << "a2 no [AUTHENTICATIONFAILED] Invalid credentials\r\n"_ba
        << "a2 NO [AUTHENTICATIONFAILED] Invalid credentials"_ba;
    QTest::newRow("code with a number")
        << "* OK [UIDVALIDITY 3857529045] UIDs valid\r\n"_ba
        << "* OK [UIDVALIDITY (#3857529045)|3857529045] UIDs valid"_ba;
    QTest::newRow("PERMANENTFLAGS with \\*")
        << "* OK [PERMANENTFLAGS (\\Deleted \\Seen \\*)] Limited\r\n"_ba
        << "* OK [PERMANENTFLAGS ((\\Deleted \\Seen \\*))|(\\Deleted \\Seen \\*)] Limited"_ba;
    QTest::newRow("CAPABILITY in the greeting")
        << "* OK [CAPABILITY IMAP4rev1 IDLE LITERAL+] Dovecot ready.\r\n"_ba
        << "* OK [CAPABILITY (IMAP4rev1 IDLE LITERAL+)|IMAP4rev1 IDLE LITERAL+] Dovecot ready."_ba;
    QTest::newRow("code with free text keeps it as written")
        << "* NO [XWARN quota almost full :)] careful\r\n"_ba
        << "* NO [XWARN ()|quota almost full :)] careful"_ba;
    QTest::newRow("text that ends like a literal is text") << "a1 NO see {5}\r\n"_ba
                                                           << "a1 NO see {5}"_ba;
    QTest::newRow("code and no text") << "a3 OK [READ-ONLY]\r\n"_ba
                                      << "a3 OK [READ-ONLY]"_ba;
    QTest::newRow("PREAUTH and BYE") << "* PREAUTH ready\r\n* BYE bye\r\n"_ba
                                     << "* PREAUTH ready\n* BYE bye"_ba;
    QTest::newRow("continuations with and without text") << "+ idling\r\n+\r\n"_ba
                                                         << "+ idling\n+"_ba;
    QTest::newRow("EXISTS, RECENT, EXPUNGE")
        << "* 23 EXISTS\r\n* 3 RECENT\r\n* 5 expunge\r\n"_ba
        << "* #23 EXISTS ()\n* #3 RECENT ()\n* #5 EXPUNGE ()"_ba;
    QTest::newRow("CAPABILITY data") << "* CAPABILITY IMAP4rev1 IDLE\r\n"_ba
                                     << "* CAPABILITY (IMAP4rev1 IDLE)"_ba;
    QTest::newRow("SEARCH, then an empty one") << "* SEARCH 2 84 882\r\n* SEARCH\r\n"_ba
                                               << "* SEARCH (#2 #84 #882)\n* SEARCH ()"_ba;
    QTest::newRow("ESEARCH with a sequence set")
        << "* ESEARCH (TAG \"a5\") UID COUNT 3 ALL 2:4,7\r\n"_ba
        << "* ESEARCH ((TAG \"a5\") UID COUNT #3 ALL 2:4,7)"_ba;
    QTest::newRow("STATUS") << "* STATUS INBOX (MESSAGES 3 SIZE 9999 UIDNEXT 7)\r\n"_ba
                            << "* STATUS (INBOX (MESSAGES #3 SIZE #9999 UIDNEXT #7))"_ba;
    QTest::newRow("FETCH with a header literal holding CR LF")
        << "* 12 FETCH (UID 8 BODY[HEADER.FIELDS (FROM SUBJECT)] {36}\r\n"_ba + header +
               " FLAGS (\\Seen))\r\n"_ba
        << "* #12 FETCH ((UID #8 BODY[HEADER.FIELDS (FROM SUBJECT)] \""_ba + header +
               "\" FLAGS (\\Seen)))"_ba;
    QTest::newRow("LITERAL+ and literal8")
        << "* LIST () \"/\" {5+}\r\nINBOX\r\n* 1 FETCH (BINARY[1] ~{2}\r\n\r\n)\r\n"_ba
        << "* LIST (() \"/\" \"INBOX\")\n* #1 FETCH ((BINARY[1] \"\r\n\"))"_ba;
    QTest::newRow("empty literal, the response going on after it")
        << "* 2 FETCH (BODY[] {0}\r\n UID 9)\r\n"_ba
        << "* #2 FETCH ((BODY[] \"\" UID #9))"_ba;
    QTest::newRow("quoted escapes") << "* LIST (\\Noselect) \"\\\\\" \"a \\\"b\\\"\"\r\n"_ba
                                    << "* LIST ((\\Noselect) \"\\\" \"a \"b\"\")"_ba;
    QTest::newRow("NIL in any case, nested lists") << "* NAMESPACE ((\"\" \"/\")) nil NIL\r\n"_ba
                                                   << "* NAMESPACE (((\"\" \"/\")) NIL NIL)"_ba;
    QTest::newRow("origin after a section; brackets in a mailbox name")
        << "* 3 FETCH (BODY[]<0> {2}\r\nhi)\r\n* LIST () \"/\" [Gmail]/Sent\r\n"_ba
        << "* #3 FETCH ((BODY[]<0> \"hi\"))\n* LIST (() \"/\" [Gmail]/Sent)"_ba;
    QTest::newRow("largest 64-bit number") << "* 1 FETCH (MODSEQ (18446744073709551615))\r\n"_ba
                                           << "* #1 FETCH ((MODSEQ (#18446744073709551615)))"_ba;
    QTest::newRow("bare LF ends a line") << "a1 OK done\n"_ba
                                         << "a1 OK done"_ba;
}

void TestImapResponse::responses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);

    for (const QByteArrayList &pieces : chunkings(bytes)) {
        ImapResponseReader reader;
        QCOMPARE(readAll(reader, pieces).join('\n'), expected);
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorText()));
        QCOMPARE(reader.pendingBytes(), qsizetype(0));
    }
}

void TestImapResponse::errors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("responsesBefore");

    // Only the announcement arrives: the refusal cannot have waited for the bytes.
    QTest::newRow("2 GB literal, refused on its announcement")
        << "* 1 FETCH (BODY[] {2147483648}\r\n"_ba << u"2147483648 bytes"_s << 0;
    QTest::newRow("literal size past 64 bits")
        << "* 1 FETCH (BODY[] {18446744073709551616}\r\n"_ba << u"past 64 bits"_s << 0;
    QTest::newRow("literal announced in mid-line")
        << "* 1 FETCH (BODY[] {3} UID 5)\r\n"_ba << u"does not end its line"_s << 0;
    QTest::newRow("literals past the response's bound")
        << "* 1 FETCH (BODY[1] {1048576}\r\n"_ba + QByteArray(1048576, 'a') +
               " BODY[2] {1048576}\r\n"_ba
        << u"response is longer"_s << 0;
    QTest::newRow("number past 64 bits")
        << "* SEARCH 18446744073709551616\r\n"_ba << u"past 64 bits"_s << 0;
    QTest::newRow("message number past 64 bits")
        << "* 18446744073709551616 EXISTS\r\n"_ba << u"past 64 bits"_s << 0;
    // No line end comes: the bound, not the end, stops it.
    QTest::newRow("over-long line")
        << "* OK "_ba + QByteArray(300'000, 'x') << u"line is longer"_s << 0;
    QTest::newRow("list left open") << "* 1 FETCH (UID 5\r\n"_ba << u"not closed"_s << 0;
    QTest::newRow("list closed twice") << "* 1 FETCH (UID 5))\r\n"_ba << u"never opened"_s << 0;
    QTest::newRow("lists nested 33 deep")
        << "* X "_ba + QByteArray(33, '(') + QByteArray(33, ')') + "\r\n"_ba << u"nested"_s << 0;
    QTest::newRow("too many values")
        << "* SEARCH"_ba + " 1"_ba.repeated(100'001) + "\r\n"_ba << u"values"_s << 0;
    QTest::newRow("garbage after a FETCH")
        << "a1 OK x\r\n* 1 FETCH (UID 5) junk\r\n"_ba << u"FETCH takes"_s << 1;
    QTest::newRow("garbage after EXISTS") << "* 23 EXISTS now\r\n"_ba << u"EXISTS takes"_s << 0;
    QTest::newRow("garbage line") << "\x01\x02\r\n"_ba << u"no tag"_s << 0;
    QTest::newRow("tagged data") << "a1 FETCH (UID 5)\r\n"_ba << u"not OK, NO or BAD"_s << 0;
    QTest::newRow("unknown escape") << "* LIST () \"/\" \"a\\q\"\r\n"_ba << u"backslash"_s << 0;
    QTest::newRow("quote left open") << "* LIST () \"/\" \"abc\r\n"_ba << u"not closed"_s << 0;
    QTest::newRow("NUL in a line") << "* OK a\0b\r\n"_ba << u"NUL"_s << 0;
    QTest::newRow("values run together") << "* LIST ()\"/\" x\r\n"_ba << u"run together"_s << 0;
}

void TestImapResponse::errors()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(int, responsesBefore);

    for (const QByteArrayList &pieces : chunkings(bytes)) {
        ImapResponseReader reader;
        QCOMPARE(readAll(reader, pieces).size(), responsesBefore);
        QVERIFY2(reader.errorText().contains(reason), qPrintable(reader.errorText()));
        // Stopped for good: a sound response after it is not read, the reason stays.
        const QString first = reader.errorText();
        QCOMPARE(readAll(reader, {"\r\n* 1 EXISTS\r\n"_ba}).size(), 0);
        QCOMPARE(reader.errorText(), first);
    }
}

void TestImapResponse::fetchItems()
{
    ImapResponseReader reader;
    reader.feed(
        "* 12 FETCH (UID 8 FLAGS (\\Seen $Junk) BODY[HEADER.FIELDS (FROM SUBJECT)] {36}\r\n"_ba +
        header + ")\r\na1 OK Begin TLS\r\n* 1 EX"_ba);
    const std::optional<ImapResponse> fetch = reader.next();
    QVERIFY(fetch);
    QVERIFY(fetch->fetchItem("uid"));
    QCOMPARE(fetch->fetchItem("uid")->number, quint64(8));
    QVERIFY(fetch->fetchItem("Flags")->contains("\\SEEN"));
    QVERIFY(!fetch->fetchItem("FLAGS")->contains("\\Answered"));
    QCOMPARE(fetch->fetchItem("body[header.fields (from subject)]")->text, header);
    QVERIFY(!fetch->fetchItem("RFC822.SIZE"));
    // What came after the tagged OK to STARTTLS is in sight of the session.
    QVERIFY(reader.next());
    QCOMPARE(reader.pendingBytes(), qsizetype(6));
}

void TestImapResponse::command_data()
{
    QTest::addColumn<int>("literals");
    QTest::addColumn<QByteArrayList>("arguments"); // "w:" words, "s:" strings
    QTest::addColumn<QByteArrayList>("parts");     // empty: refused

    using L = ImapCommand::Literals;
    const QByteArray thai = u"รหัส"_s.toUtf8(); // 12 bytes
    const QByteArray long8Bit = thai.repeated(400);
    QTest::newRow("password with \" and \\")
        << int(L::Synchronizing) << QByteArrayList{"w:LOGIN", "s:user", "s:pa\"ss\\word"}
        << QByteArrayList{"a1 LOGIN \"user\" \"pa\\\"ss\\\\word\"\r\n"};
    QTest::newRow("NIL and the empty string stay strings")
        << int(L::Synchronizing) << QByteArrayList{"w:LOGIN", "s:NIL", "s:"}
        << QByteArrayList{"a1 LOGIN \"NIL\" \"\"\r\n"};
    QTest::newRow("8-bit password waits for \"+\"")
        << int(L::Synchronizing) << QByteArrayList{"w:LOGIN", "s:user", "s:" + thai}
        << QByteArrayList{"a1 LOGIN \"user\" {12}\r\n", thai + "\r\n"};
    QTest::newRow("LITERAL+ sends it at once")
        << int(L::NonSynchronizing) << QByteArrayList{"w:LOGIN", "s:" + thai, "s:x"}
        << QByteArrayList{"a1 LOGIN {12+}\r\n" + thai + " \"x\"\r\n"};
    QTest::newRow("LITERAL- waits past 4096 bytes")
        << int(L::NonSynchronizingUpTo4k) << QByteArrayList{"w:SELECT", "s:" + long8Bit}
        << QByteArrayList{"a1 SELECT {4800}\r\n", long8Bit + "\r\n"};
    QTest::newRow("CR refused") << int(L::NonSynchronizing)
                                << QByteArrayList{"w:LOGIN", "s:user", "s:pass\rword"}
                                << QByteArrayList{};
    QTest::newRow("LF refused even in 8-bit text")
        << int(L::NonSynchronizing) << QByteArrayList{"w:LOGIN", "s:" + thai + "\n"}
        << QByteArrayList{};
    QTest::newRow("NUL refused") << int(L::NonSynchronizing)
                                 << QByteArrayList{"w:LOGIN", "s:a", QByteArray("s:b\0c", 5)}
                                 << QByteArrayList{};
}

void TestImapResponse::command()
{
    QFETCH(int, literals);
    QFETCH(QByteArrayList, arguments);
    QFETCH(QByteArrayList, parts);

    ImapCommand command("a1", ImapCommand::Literals(literals));
    for (const QByteArray &argument : arguments) {
        if (argument.startsWith("w:"))
            command.words(argument.sliced(2));
        else
            command.string(argument.sliced(2));
    }
    QCOMPARE(command.parts(), parts);
    QCOMPARE(command.isValid(), !parts.isEmpty());
}

QTEST_GUILESS_MAIN(TestImapResponse)
#include "tst_imapresponse.moc"
