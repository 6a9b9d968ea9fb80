#include "mailcheck/MessageHeaders.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMessageHeaders : public QObject
{
    Q_OBJECT

private slots:
    void decoding_data();
    void decoding();
    void headers_data();
    void headers();
    void summary_data();
    void summary();
    void hostileBlocksGiveOneLine();
};

void TestMessageHeaders::decoding_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("text");

    QTest::newRow("TIS-620 in B, blanks beside plain text kept")
        << "Re: =?TIS-620?B?u8PQqtjBvsPY6Ke51ek=?= (2)"_ba << u"Re: ประชุมพรุ่งนี้ (2)"_s;
    QTest::newRow("UTF-8 split over two words, blank between dropped")
        << "=?utf-8?B?4Liq4A==?=\r\n =?UTF-8?B?uKfguLHguKrguJTguLU=?="_ba << u"สวัสดี"_s;
    QTest::newRow("Q: underscores, =XX")
        << "=?utf-8?q?Re:_=e0=B8=AA=E0=B8=A7_ok?="_ba << u"Re: สว ok"_s;
    QTest::newRow("language suffix") << "=?utf-8*th?B?4Liq4Lih4LiK4Liy4Lii?="_ba << u"สมชาย"_s;
    QTest::newRow("two charsets side by side")
        << "=?utf-8?B?4Liq?= =?TIS-620?B?ysfRyrTV?="_ba << u"สสวัสดี"_s;
    QTest::newRow("raw UTF-8") << "\xe0\xb8\xaa\xe0\xb8\xa7 ok"_ba << u"สว ok"_s;
    QTest::newRow("raw windows-874") << "\x93\xca\xc7\xd1\xca\xb4\xd5\x94"_ba << u"“สวัสดี”"_s;
    QTest::newRow("unknown charset guessed") << "=?x-unknown?B?ysfRyrTV?="_ba << u"สวัสดี"_s;
    QTest::newRow("cp874 is not IBM's table") << "=?cp874?B?gDEwMCC60rc=?="_ba << u"€100 บาท"_s;
    QTest::newRow("us-ascii with 8-bit guessed") << "=?us-ascii?Q?=A4=C3=D1=BA?="_ba << u"ครับ"_s;
    QTest::newRow("undefined windows-874 byte") << "\xca\xfc"_ba << u"ส\uFFFD"_s;
    QTest::newRow("unterminated word as written") << "a =?utf-8?B?4Liq"_ba << u"a =?utf-8?B?4Liq"_s;
    QTest::newRow("invalid base64 as written") << "=?utf-8?B?4L!q?="_ba << u"=?utf-8?B?4L!q?="_s;
    QTest::newRow("lone =? and ?=") << "=? x ?= =?\?="_ba << u"=? x ?= =?\?="_s;
    QTest::newRow("controls, bidi override removed; tab, line breaks blank")
        << "a\0b\tc\r\nd\x1b[0m\x7f\xe2\x80\xae!"_ba << u"ab c d[0m!"_s;
}

void TestMessageHeaders::decoding()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, text);
    QCOMPARE(decodeHeaderText(raw), text);
}

void TestMessageHeaders::headers_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("date");
    const QString none;

    QTest::newRow("folded fields unfold")
        << "Subject: Meeting\r\n\ttomorrow\r\nFrom: =?utf-8?B?4Liq4A==?=\r\n =?utf-8?B?uKc=?= <s@x>\r\n"_ba
        << u"สว"_s << u"Meeting tomorrow"_s << none;
    QTest::newRow("names in any case, first counts, LF alone")
        << "SUBJECT: one\nsubject: two\nfRoM : a@x\nDATE:   Tue, 1 Apr 2025 09:00:00 +0700  \n"_ba
        << u"a@x"_s << u"one"_s << u"Tue, 1 Apr 2025 09:00:00 +0700"_s;
    QTest::newRow("other fields, their continuations skipped")
        << "Resent-From: r@x\r\nX-Note: a\r\n From: fake@x\r\nFrom: real@x\r\n"_ba << u"real@x"_s
        << none << none;
    QTest::newRow("header ends at the empty line")
        << "Subject: s\r\n\r\nFrom: b@x\r\n"_ba << none << u"s"_s << none;
    QTest::newRow("missing fields") << "X-Other: 1\r\nno colon\r\n"_ba << none << none << none;
    QTest::newRow("From: encoded name in quotes")
        << "From: \"=?UTF-8?B?4Liq4Lih4LiK4Liy4LiiIOC5g+C4iOC4lOC4tQ==?=\" <s@x>"_ba
        << u"สมชาย ใจดี"_s << none << none;
    QTest::newRow("From: plain name")
        << "From: Somchai  Jaidee <s@x>"_ba << u"Somchai Jaidee"_s << none << none;
    QTest::newRow("From: quoted comma, quote, parenthesis")
        << "From: \"Jaidee, \\\"Tom\\\" (IT)\" <s@x>, other@x"_ba << u"Jaidee, \"Tom\" (IT)"_s
        << none << none;
    QTest::newRow("From: name in a comment")
        << "From: s@x (=?utf-8?B?4Liq4Lih4LiK4Liy4Lii?= \\(home\\))"_ba << u"สมชาย (home)"_s << none
        << none;
    QTest::newRow("From: address alone, first of a list")
        << "From: <a@x>, b@x"_ba << u"a@x"_s << none << none;
    QTest::newRow("From: empty brackets as written") << "From: <>"_ba << u"<>"_s << none << none;
    QTest::newRow("unterminated quote, comment, bracket")
        << "From: \"a (b <c\r\nSubject: =?\r\nDate: (\r\n"_ba << u"a (b <c"_s << u"=?"_s << u"("_s;
}

void TestMessageHeaders::headers()
{
    QFETCH(QByteArray, block);
    const MessageHeaders parsed = parseMessageHeaders(block);
    QTEST(parsed.from, "from");
    QTEST(parsed.subject, "subject");
    QTEST(parsed.date, "date");
}

void TestMessageHeaders::summary_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("line");

    QTest::newRow("sender and subject")
        << u"สมชาย ใจดี"_s << u"ประชุมพรุ่งนี้"_s << u"สมชาย ใจดี: ประชุมพรุ่งนี้"_s;
    QTest::newRow("unknown sender, no subject")
        << QString() << u" \t"_s << u"(ไม่ทราบผู้ส่ง): (ไม่มีหัวเรื่อง)"_s;
    QTest::newRow("80 characters fit")
        << u"a"_s.repeated(80) << u"s"_s << u"a"_s.repeated(80) + u": s"_s;
    // ที่ is one character on screen but three in the string: the cut must not split it.
    QTest::newRow("longer cut to 80 with an ellipsis, Thai marks kept on their letters")
        << u"x"_s << u"ที่"_s.repeated(81) << u"x: "_s + u"ที่"_s.repeated(79) + u"…"_s;
    QTest::newRow("no blank before the ellipsis, line breaks removed")
        << u"a\nb"_s << u"a"_s.repeated(78) + u" bc"_s << u"a b: "_s + u"a"_s.repeated(78) + u"…"_s;
}

void TestMessageHeaders::summary()
{
    QFETCH(QString, from);
    QFETCH(QString, subject);
    QTEST(summaryLine(MessageHeaders{from, subject, QString()}), "line");
}

// Blocks stitched from the pieces decoding trips on, in a fixed pseudo-random order: nothing
// crashes (the sanitized build watches), and whatever comes out is one line.
void TestMessageHeaders::hostileBlocksGiveOneLine()
{
    const QByteArray pieces[] = {"=?",  "?=",    "?B?",      "?q?",   "utf-8*th", "4Lg",
                                 "=E0", "\r\n",  "\n ",      "\0"_ba, "\xe0\xfc", "\xe2\x80\xae",
                                 "<",   ">",     "(",        ")",     "\"",       "\\",
                                 ",",   "From:", "Subject:", "Date:"};
    QRandomGenerator random(2047);
    for (int round = 0; round < 2000; ++round) {
        QByteArray block;
        for (int n = random.bounded(1, 40); n > 0; --n)
            block += pieces[random.bounded(static_cast<int>(std::size(pieces)))];
        const MessageHeaders parsed = parseMessageHeaders(block);
        const QString all = parsed.from + parsed.subject + parsed.date + summaryLine(parsed);
        for (const QChar c : all)
            QVERIFY2(c.category() != QChar::Other_Control && c != u'\u202E', block.toHex().data());
    }
}

QTEST_GUILESS_MAIN(TestMessageHeaders)
#include "tst_messageheaders.moc"
