#pragma once

#include <QByteArray>
#include <QString>

// Who sent a message and what about, read from its raw header block (a POP3 "TOP n 0" reply or an
// IMAP HEADER.FIELDS literal). Every text is one line: no control characters, no line breaks, runs
// of blanks made one, so a hostile header cannot break a log line, a tooltip or a notification.
struct MessageHeaders {
    QString from;    // the sender as shown: the decoded display name, else the address
    QString subject; // the decoded Subject
    QString date;    // the Date text as given; the sender's own clock and words
};

// The first From, Subject and Date of a header block (lines ending in CR LF or LF; field names in
// any case; folded lines unfolded; the block ends at the first empty line). A missing field stays
// empty. Never fails: what cannot be decoded is shown as far as it can be, never dropped whole.
MessageHeaders parseMessageHeaders(const QByteArray &block);

// Header text with RFC 2047 encoded words (B and Q, charset with or without a language suffix),
// made one line. Adjacent encoded words of one charset are joined before they are decoded, since
// senders split a character between them. Raw 8-bit text and unknown charsets are read as UTF-8
// when they are valid UTF-8, else as windows-874.
QString decodeHeaderText(const QByteArray &raw);

// One line for the tooltip and the desktop notification: "sender: subject", each cut to 80
// characters with an ellipsis, "(ไม่ทราบผู้ส่ง)" for an unknown sender and "(ไม่มีหัวเรื่อง)" for an
// empty subject.
QString summaryLine(const MessageHeaders &headers);
