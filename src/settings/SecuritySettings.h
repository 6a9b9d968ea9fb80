#pragma once

#include <QByteArray>
#include <QString>

// How a check protects the connection, and what the program remembers about a server's TLS.

// The choice of the settings page, in the order of its list.
enum class SecurityMode {
    Automatic, // TLS on port 995, else STLS when the server offers it; plain only on loopback
    Tls,       // TLS from the first byte (port 995 unless one is given)
    StartTls,  // STLS on the plain port, required
    None,      // the plain dialogue
};

// The value in Settings.inf: "auto", "tls", "starttls" or "none".
QString securityModeSetting(SecurityMode mode);
// Any other value, and none at all, reads as Automatic. Case and blanks do not matter.
SecurityMode securityModeFromSetting(const QString &value);

// What one server's earlier connections taught, each bound to the server text it was learnt for:
// it counts only while txtPOP3Server holds exactly that text.
struct SecurityMemory {
    // The server last reached over TLS: a later connection to it without TLS is refused.
    QString tlsServer;
    // A certificate the user chose to trust for trustedServer, by its SHA-256 (64 hex digits).
    QString trustedServer;
    QByteArray trustedSha256;

    // This memory as it applies to `server`: whatever was learnt for another server is dropped.
    SecurityMemory forServer(const QString &server) const;
    bool operator==(const SecurityMemory &) const = default;
};

// A SHA-256 written as 64 hex digits, with or without colons between the pairs, in any case:
// its 64 lower-case digits, or empty when it is not one.
QByteArray normalisedSha256(const QByteArray &text);
