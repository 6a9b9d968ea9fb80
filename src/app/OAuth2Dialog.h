#pragma once

#include "signin/OAuth2Provider.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

// The OAuth2 sign-in's settings: the provider, the client the user registered with it (Larkspur
// has none of its own), and for another provider its addresses, scope and flow. It edits the
// texts Settings.inf keeps; "ลงชื่อเข้าใช้" also asks for a sign-in at once.
class OAuth2Dialog final : public QDialog
{
    Q_OBJECT

public:
    explicit OAuth2Dialog(const OAuth2SettingTexts &texts, QWidget *parent = nullptr);

    OAuth2SettingTexts texts() const;
    // Closed with the sign-in button, not only with OK.
    bool signInAsked() const { return m_signInAsked; }

private:
    void providerChosen();

    QComboBox *m_provider;
    QLineEdit *m_clientId;
    QLineEdit *m_clientSecret;
    QLineEdit *m_authUrl;
    QLineEdit *m_tokenUrl;
    QLineEdit *m_deviceUrl;
    QLineEdit *m_scope;
    QComboBox *m_flow;
    bool m_signInAsked = false;
};
