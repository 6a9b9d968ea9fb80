#pragma once

#include <QString>
#include <optional>

// The mail protocols a server text can name.
enum class MailProtocol { Pop3, Imap };

// Where txtPOP3Server points: a host name, an IPv4 address, a bare IPv6 address, "host:port" or
// "[IPv6]:port", each with or without a scheme in front ("imap://", "imaps://", "pop3://",
// "pop3s://", in any case; one "/" after it is let pass). Without a scheme, port 993 or 143 means
// IMAP and anything else POP3, as before there was IMAP. The text is taken as typed: blanks stay
// (the lookup reports them), nothing is lower-cased.
struct ServerAddress {
    QString host; // without the brackets of "[IPv6]"
    std::optional<quint16> port;
    // Set when the text names a port that is none (":0", ":99999", ":", "[::1]:x"): a line for
    // the status log, and nothing is connected.
    QString invalidPort;
    MailProtocol protocol = MailProtocol::Pop3;
    // "imaps://" and "pop3s://": TLS from the first byte, on whichever port.
    bool tlsAtOnce = false;
};

// The ports of IMAP (RFC 3501, RFC 8314).
inline constexpr quint16 ImapPort = 143;
inline constexpr quint16 ImapsPort = 993;

ServerAddress parseServerAddress(const QString &text);

// The web address "open e-mail" hands to the browser: "http://" followed by the server text as
// typed, or by its host alone when the text names a mail scheme ("http://imaps://..." is none).
QString webAddressFor(const QString &serverText);

// 127.0.0.0/8, ::1 and "localhost": a server on this machine, which no one on the network can be
// in the middle of.
bool isLoopbackHost(const QString &host);
