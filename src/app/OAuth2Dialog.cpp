#include "app/OAuth2Dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace
{
// The list's entries and the values Settings.inf keeps for them, in the same order.
const QStringList ProviderValues{u"microsoft"_s, u"google"_s, u"custom"_s};
const QStringList FlowValues{QString(), u"loopback"_s, u"device"_s};
} // namespace

OAuth2Dialog::OAuth2Dialog(const OAuth2SettingTexts &texts, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(u"larkspur "_s);
    setObjectName(u"OAuth2Dialog"_s);
    auto *layout = new QVBoxLayout(this);
    auto *help = new QLabel(u"ลงชื่อเข้าใช้ด้วย OAuth2 (Outlook.com, Microsoft 365, Gmail): ใส่ client "
                            u"id ที่ลงทะเบียนไว้กับผู้ให้บริการ "
                            u"(ดูวิธีใน README) แล้วกด ลงชื่อเข้าใช้"_s);
    help->setWordWrap(true);
    layout->addWidget(help);

    auto *form = new QFormLayout;
    m_provider = new QComboBox;
    m_provider->addItems({u"Microsoft"_s, u"Google"_s, u"อื่น ๆ"_s});
    m_provider->setObjectName(u"cboProvider"_s);
    m_clientId = new QLineEdit(texts.clientId);
    m_clientId->setObjectName(u"txtClientId"_s);
    m_clientSecret = new QLineEdit(texts.clientSecret);
    m_clientSecret->setObjectName(u"txtClientSecret"_s);
    m_authUrl = new QLineEdit(texts.authUrl);
    m_tokenUrl = new QLineEdit(texts.tokenUrl);
    m_deviceUrl = new QLineEdit(texts.deviceUrl);
    m_scope = new QLineEdit(texts.scope);
    m_flow = new QComboBox;
    m_flow->addItems({u"ตามผู้ให้บริการ"_s, u"เบราว์เซอร์"_s, u"รหัสอุปกรณ์"_s});
    m_authUrl->setObjectName(u"txtAuthUrl"_s);
    m_tokenUrl->setObjectName(u"txtTokenUrl"_s);
    m_deviceUrl->setObjectName(u"txtDeviceUrl"_s);
    m_scope->setObjectName(u"txtScope"_s);
    m_flow->setObjectName(u"cboFlow"_s);
    form->addRow(u"ผู้ให้บริการ :"_s, m_provider);
    form->addRow(u"Client ID :"_s, m_clientId);
    form->addRow(u"Client secret :"_s, m_clientSecret);
    form->addRow(u"Authorization URL :"_s, m_authUrl);
    form->addRow(u"Token URL :"_s, m_tokenUrl);
    form->addRow(u"Device URL :"_s, m_deviceUrl);
    form->addRow(u"Scope :"_s, m_scope);
    form->addRow(u"วิธีลงชื่อเข้าใช้ :"_s, m_flow);
    layout->addLayout(form);

    const qsizetype provider = ProviderValues.indexOf(texts.provider.trimmed().toLower());
    m_provider->setCurrentIndex(provider < 0 ? 2 : int(provider));
    const qsizetype flow = FlowValues.indexOf(texts.flow.trimmed().toLower());
    m_flow->setCurrentIndex(flow < 0 ? 0 : int(flow));
    connect(m_provider, &QComboBox::currentIndexChanged, this, &OAuth2Dialog::providerChosen);
    providerChosen();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(u"ตกลง"_s);
    buttons->button(QDialogButtonBox::Cancel)->setText(u"ยกเลิก"_s);
    QPushButton *signIn = buttons->addButton(u"ลงชื่อเข้าใช้"_s, QDialogButtonBox::AcceptRole);
    signIn->setObjectName(u"cmdSignInNow"_s);
    connect(signIn, &QPushButton::clicked, this, [this] { m_signInAsked = true; });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

// A built-in provider needs no addresses: those boxes are for another one, or to override.
void OAuth2Dialog::providerChosen()
{
    const bool custom = m_provider->currentIndex() == 2;
    for (QLineEdit *box : {m_authUrl, m_tokenUrl, m_deviceUrl, m_scope})
        box->setPlaceholderText(custom ? u"https://..."_s : u"(ค่าของผู้ให้บริการ)"_s);
}

OAuth2SettingTexts OAuth2Dialog::texts() const
{
    OAuth2SettingTexts texts;
    texts.provider = ProviderValues.value(m_provider->currentIndex());
    texts.clientId = m_clientId->text().trimmed();
    texts.clientSecret = m_clientSecret->text().trimmed();
    texts.authUrl = m_authUrl->text().trimmed();
    texts.tokenUrl = m_tokenUrl->text().trimmed();
    texts.deviceUrl = m_deviceUrl->text().trimmed();
    texts.scope = m_scope->text().trimmed();
    texts.flow = FlowValues.value(m_flow->currentIndex());
    return texts;
}
