#pragma once

#include "settings/SecuritySettings.h"
#include "signin/OAuth2Provider.h"

#include <QString>

// One mailbox's settings as one value: what Settings.inf holds, and what the window's controls
// show and edit. The controls' change handlers keep it up to date; the check reads it, never the
// widgets. Its defaults are the window's controls as they are created.
struct MailboxSettings {
    QString server;                               // txtPOP3Server, as typed
    QString loginName;                            // txtUserName
    int memPass = 0;                              // chkMemPass: 0 clear, 1 ticked, 2 grey
    QString password;                             // txtPassword; stored only when memPass is 1
    int checkEveryOn = 0;                         // chkEvery
    QString checkEveryMin = QStringLiteral("15"); // txtMinutes
    int launchAtStartup = 0;                      // chkLoadStart
    int enableSound = 0;                          // chkOpenSound
    qint64 totalOldEmail = 0; // TotalOldEmail: the count remembered from the last check
    // After the nine keys a Windows-written file holds, so that file stays what it was.
    SecurityMode security = SecurityMode::Automatic; // cboSecurity
    SecurityMemory securityMemory;                   // stored only as far as it holds for server
    bool desktopNotify = false;                      // chkDesktopNotify
    // How the login proves who it is: the password, or an OAuth2 token (auth=oauth2).
    enum class SignIn { Password, OAuth2 };
    SignIn signIn = SignIn::Password; // cboSignIn
    OAuth2SettingTexts oauth2;        // the oauth2* keys, kept when the password is chosen again
    // Not a key: the remembered password lives in the keyring, so Settings.inf keeps none.
    bool passwordInKeyring = false;
};
