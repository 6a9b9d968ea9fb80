#pragma once

#include <QString>
#include <optional>

// Where txtPOP3Server points: a host name, an IPv4 address, a bare IPv6 address, "host:port" or
// "[IPv6]:port". The text is taken as typed: blanks stay (the lookup reports them), nothing is
// lower-cased.
struct ServerAddress {
    QString host; // without the brackets of "[IPv6]"
    std::optional<quint16> port;
    // Set when the text names a port that is none (":0", ":99999", ":", "[::1]:x"): a line for
    // the status log, and nothing is connected.
    QString invalidPort;
};

ServerAddress parseServerAddress(const QString &text);

// 127.0.0.0/8, ::1 and "localhost": a server on this machine, which no one on the network can be
// in the middle of.
bool isLoopbackHost(const QString &host);
