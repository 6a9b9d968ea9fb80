#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// How the user grants access: in a browser that comes back to our loopback listener (RFC 8252,
// with PKCE), or by typing a short code on the provider's page (RFC 8628).
enum class OAuth2Flow { Loopback, Device };

// Where one authorization server takes sign-ins and hands out tokens, and what it is asked for.
struct OAuth2Provider {
    QString name; // "microsoft", "google" or "custom"
    QUrl authorizationUrl;
    QUrl tokenUrl;
    QUrl deviceAuthorizationUrl; // empty where the provider offers no device flow for mail
    QString scope;               // space-separated, as sent
    OAuth2Flow defaultFlow = OAuth2Flow::Loopback;

    // Outlook.com and Microsoft 365: POP3 and IMAP for any tenant, with a refresh token.
    static OAuth2Provider microsoft();
    // Gmail: the full mail scope, which Google refuses in the device flow.
    static OAuth2Provider google();
};

// Everything a sign-in needs: the provider, the flow chosen, and the client the user registered
// with it (Larkspur has no client id of its own).
struct OAuth2Client {
    OAuth2Provider provider;
    OAuth2Flow flow = OAuth2Flow::Loopback;
    QString clientId;
    // Google's desktop clients come with one that is not secret; empty for public clients.
    QString clientSecret;
};

// The OAuth2 keys of a mailbox in Settings.inf, as the texts stored there.
struct OAuth2SettingTexts {
    QString provider;     // oauth2provider: microsoft, google or custom (empty: custom)
    QString clientId;     // oauth2clientid
    QString clientSecret; // oauth2clientsecret
    QString authUrl;      // oauth2authurl
    QString tokenUrl;     // oauth2tokenurl
    QString deviceUrl;    // oauth2deviceurl
    QString scope;        // oauth2scope
    QString flow;         // oauth2flow: loopback or device (empty: the provider's own)

    // The texts under those keys, asked one by one of whatever holds the settings.
    static OAuth2SettingTexts read(const std::function<QString(const QString &key)> &valueOf);
};

// The client the settings describe: a built-in provider with any of its addresses, scope or flow
// replaced by the custom keys that are set, or a custom provider described by them alone.
// Addresses must be https. Without a usable client, *englishError says why (naming the key).
std::optional<OAuth2Client> oauth2ClientFromSettings(const OAuth2SettingTexts &texts,
                                                     QString *englishError = nullptr);
