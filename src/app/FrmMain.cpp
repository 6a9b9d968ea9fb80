#include "app/FrmMain.h"

#include "mailcheck/MailCheck.h"
#include "mailcheck/Winsock1.h"
#include "notify/ModSound.h"
#include "notify/PopUp.h"
#include "notify/PopUpHost.h"
#include "platform/AutostartStore.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompt.h"
#include "platform/UrlOpener.h"
#include "settings/IniReader.h"
#include "settings/IntervalValidation.h"
#include "settings/NumberRules.h"
#include "settings/RunAtLogon.h"
#include "settings/ScramblePassword.h"
#include "settings/SettingsFile.h"
#include "settings/Windows874.h"
#include "tray/TrayIcon.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace
{
constexpr int WM_LBUTTONDBLCLK = 0x203;
constexpr int WM_RBUTTONUP = 0x205;

// The interval box seen by its validation: setting the text runs the handler again, nested,
// exactly as a change by the user would.
class MinutesBoxView final : public IntervalView
{
public:
    explicit MinutesBoxView(FrmMain &form) : m_form(form) {}
    QString minutesText() const override { return m_form.txtMinutes->text(); }
    void setMinutesText(const QString &text) override { m_form.txtMinutes->setText(text); }
    bool SaveSettings() override { return m_form.SaveSettings(); }

private:
    FrmMain &m_form;
};
} // namespace

FrmMain::FrmMain(const FrmMainServices &services, QWidget *parent)
    : QWidget(parent), m_services(services)
{
    buildControls();
    if (m_services.socket == nullptr) {
        m_ownSocket = std::make_unique<Winsock1>();
        m_services.socket = m_ownSocket.get();
    }
    m_check = std::make_unique<MailCheck>(static_cast<CheckView &>(*this), *m_services.socket,
                                          *m_services.clock);
    m_popUp = std::make_unique<PopUpHost>([this] { return txtPOP3Server->text(); },
                                          *m_services.urlOpener, handCursor());
    connectHandlers();
    // The periodic check counts from the moment the window exists, shown or hidden.
    Timer1->start();
}

FrmMain::~FrmMain() = default;

QString FrmMain::windowTitleFor(int major, int minor, int revision)
{
    return u" larkspur  "_s + QString::number(major) + u'.' + QString::number(minor) + u'.' +
           QString::number(revision);
}

void FrmMain::connectHandlers()
{
    connect(chkEvery, &QCheckBox::stateChanged, this, &FrmMain::chkEvery_Click);
    connect(chkMemPass, &QCheckBox::stateChanged, this, &FrmMain::chkMemPass_Click);
    connect(chkOpenSound, &QCheckBox::stateChanged, this, &FrmMain::chkOpenSound_Click);
    connect(chkLoadStart, &QCheckBox::stateChanged, this, &FrmMain::chkLoadStart_Click);
    connect(txtMinutes, &QLineEdit::textChanged, this, &FrmMain::txtMinutes_Change);
    connect(cmdCheckNow, &QPushButton::clicked, this, &FrmMain::cmdCheckNow_Click);
    connect(labHide, &LinkLabel::clicked, this, &FrmMain::labHide_Click);
    connect(labOpenMail, &LinkLabel::clicked, this, &FrmMain::labOpenMail_Click);
    connect(MenuCheck, &QAction::triggered, this, &FrmMain::MenuCheck_Click);
    connect(MenuShow, &QAction::triggered, this, &FrmMain::MenuShow_Click);
    connect(MenuOption, &QAction::triggered, this, &FrmMain::MenuOption_Click);
    connect(MenuExit, &QAction::triggered, this, &FrmMain::MenuExit_Click);
    connect(Timer1, &QTimer::timeout, this, &FrmMain::Timer1_Timer);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] {
        // The desktop session is ending: let the close go ahead, with the settings saved.
        m_sessionEnding = true;
        Form_QueryUnload(1);
    });
}

void FrmMain::letEventsRun()
{
    QCoreApplication::processEvents();
}

void FrmMain::tellUser(const QString &line)
{
    txtStatus->appendText(line + u"\r\n"_s);
    txtStatus->moveCaretToEnd();
}

QString FrmMain::programFolder() const
{
    return m_programFolder;
}

// ---------------------------------------------------------------- start-up

void FrmMain::Form_Load()
{
    // Every step stands alone: one that fails is skipped and the next runs.
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->geometry();
        const QSize outer = frameGeometry().size();
        move(area.x() + int((float(area.width()) - float(outer.width())) / 2.0f),
             area.y() + int((float(area.height()) - float(outer.height())) / 2.0f));
    }
    m_programFolder = ::programFolder(m_services.executableFolder);
    setWindowTitle(
        windowTitleFor(LARKSPUR_VERSION_MAJOR, LARKSPUR_VERSION_MINOR, LARKSPUR_VERSION_REVISION));
    counter.SecondsCount = 0;
    counter.MinutesCount = 0;
    letEventsRun();

    SettingsPath = m_programFolder + u"/Settings.inf"_s;
    const QString section = u"settings"_s;
    QString readError;
    auto read = [&](const QString &key) {
        QString error;
        const QByteArray value = ReadIniString(section, key, QByteArray(), SettingsPath, &error);
        if (!error.isEmpty())
            readError = error;
        return value;
    };
    const QString serverText = decodeWindows874(read(u"POP3MailServer"_s));
    const QString loginNameText = decodeWindows874(read(u"loginname"_s));
    const QString mempassText = decodeWindows874(read(u"mempass"_s));
    // A test that cannot be made (a mempass that is no number) counts as passed.
    bool mempassFailed = false;
    const bool mempassIsOne = equalsOne(mempassText, &mempassFailed) || mempassFailed;
    QString passwordText;
    if (mempassIsOne)
        passwordText = decodeWindows874(ScramblePassword(read(u"loginpass"_s)));
    const QString checkeveryonText = decodeWindows874(read(u"checkeveryon"_s));
    const QString checkeveryminText = decodeWindows874(read(u"checkeverymin"_s));
    const QString launchatstartupText = decodeWindows874(read(u"launchatstartup"_s));
    const QString enablesoundText = decodeWindows874(read(u"enablesound"_s));
    if (const auto total = toNearestInteger(decodeWindows874(read(u"totaloldemail"_s))))
        m_check->TotalOldEmail = *total;
    if (!readError.isEmpty()) {
        // An unreadable file is not a missing one: it must not be replaced by defaults.
        m_settingsUnreadable = readError;
        tellUser(readError);
    }
    letEventsRun();

    auto fillState = [](CheckBox *box, const QString &text) {
        if (const auto state = toNearestInteger(text))
            box->setValue(*state);
    };
    txtPOP3Server->setText(serverText);
    txtUserName->setText(loginNameText);
    // The password goes in before its check box, whose change saves: that save must not write
    // an empty password over the stored one.
    if (mempassIsOne)
        txtPassword->setText(passwordText);
    fillState(chkMemPass, mempassText);
    fillState(chkEvery, checkeveryonText);
    txtMinutes->setText(checkeveryminText);
    fillState(chkLoadStart, launchatstartupText);
    fillState(chkOpenSound, enablesoundText);

    fraStatus->setVisible(false);
    fraReport->setVisible(false);
    letEventsRun();

    SysTray();
    SoundData = LoadProgramSound(m_programFolder + u"/mail.wav"_s, m_services.defaultSoundPath);

    const bool loginComplete = !txtPOP3Server->text().isEmpty() && !txtUserName->text().isEmpty() &&
                               !txtPassword->text().isEmpty();
    if (loginComplete && mempassIsOne) {
        cmdCheckNow_Click();
        // Without a tray the hidden window could never be reached again.
        if (m_tray && m_tray->isInTray())
            hide();
        else
            show();
    } else {
        show();
    }
    // The icon joins a tray that appears later by itself; until then the window stays reachable.
    if (m_tray && !m_tray->isInTray())
        tellUser(
            u"No system tray was found: the window stays open, and the icon joins the tray when one starts."_s);
}

// ---------------------------------------------------------------- settings

bool FrmMain::SaveSettings()
{
    if (!m_settingsUnreadable.isEmpty())
        return false;
    SettingsSnapshot snapshot;
    snapshot.server = txtPOP3Server->text();
    snapshot.loginName = txtUserName->text();
    snapshot.memPass = chkMemPass->Value();
    snapshot.password = txtPassword->text();
    snapshot.checkEveryOn = chkEvery->Value();
    snapshot.checkEveryMin = txtMinutes->text();
    snapshot.launchAtStartup = chkLoadStart->Value();
    snapshot.enableSound = chkOpenSound->Value();
    snapshot.totalOldEmail = m_check->TotalOldEmail;
    const ComposedSettings composed = composeSettings(snapshot);
    const QString notRemembered = composed.notRemembered.join(u' ');
    // Told once, not at every save that follows.
    if (!notRemembered.isEmpty() && notRemembered != m_lastNotRemembered)
        tellUser(notRemembered);
    m_lastNotRemembered = notRemembered;

    QString error;
    const bool written =
        writeSettingsFile(m_programFolder + u"/Settings.inf"_s, composed.bytes, &error);
    if (!written)
        tellUser(error);
    letEventsRun();
    return written;
}

void FrmMain::chkEvery_Click()
{
    SaveSettings();
}

void FrmMain::chkMemPass_Click()
{
    SaveSettings();
}

void FrmMain::chkOpenSound_Click()
{
    SaveSettings();
}

void FrmMain::txtMinutes_Change()
{
    MinutesBoxView view(*this);
    ::txtMinutes_Change(view, *m_services.prompt);
}

void FrmMain::chkLoadStart_Click()
{
    ::chkLoadStart_Click(
        chkLoadStart->Value(), *m_services.autostart, m_services.executablePath,
        [this] { return SaveSettings(); }, [this](const QString &line) { tellUser(line); });
}

// ---------------------------------------------------------------- checking

void FrmMain::cmdCheckNow_Click()
{
    if (const auto failure = ::cmdCheckNow_Click(static_cast<CheckCommandView &>(*this)))
        tellUser(*failure);
}

void FrmMain::MenuCheck_Click()
{
    cmdCheckNow_Click();
}

void FrmMain::Timer1_Timer()
{
    if (counter.tick(chkEvery->Value(), txtMinutes->text())) {
        cmdCheckNow_Click();
        counter.checkStarted();
    }
}

std::optional<QString> FrmMain::CheckEmail()
{
    return m_check->CheckEmail();
}

void FrmMain::PlaySound()
{
    PlaySoundData(SoundData, 0, *m_services.soundOutput);
}

// ---------------------------------------------------------------- tray and window commands

void FrmMain::SysTray()
{
    if (!m_services.useTray)
        return;
    m_tray = std::make_unique<TrayIcon>(Image1->pixmap(), windowTitle(), m_services.trayAvailable);
    connect(m_tray.get(), &TrayIcon::mouseMessage, this, &FrmMain::Form_MouseMove);
    m_tray->add();
}

void FrmMain::Form_MouseMove(int message)
{
    if (message == WM_LBUTTONDBLCLK) {
        if (isVisible()) {
            hide();
        } else {
            show();
            activateWindow();
            raise();
            setFocus();
            txtStatus->moveCaretToEnd();
        }
    } else if (message == WM_RBUTTONUP) {
        MenuFile->popup(QCursor::pos());
    }
}

void FrmMain::labHide_Click()
{
    hide();
}

void FrmMain::labOpenMail_Click()
{
    m_services.urlOpener->open(u"http://"_s + txtPOP3Server->text());
}

void FrmMain::MenuShow_Click()
{
    show();
}

void FrmMain::MenuOption_Click()
{
    show();
    SSTab1->setCurrentIndex(1);
}

void FrmMain::MenuExit_Click()
{
    SaveSettings();
    if (m_tray)
        m_tray->remove();
    letEventsRun();
    // Ends without a close request: no handler runs, nothing is said to the server.
    QCoreApplication::exit(0);
}

bool FrmMain::Form_QueryUnload(int UnloadMode)
{
    const bool cancel = UnloadMode == 0;
    hide();
    SaveSettings();
    return cancel;
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    if (m_sessionEnding) {
        event->accept();
        return;
    }
    // The close box only hides the window; the program lives on in the tray.
    if (Form_QueryUnload(0))
        event->ignore();
    else
        event->accept();
}

// ---------------------------------------------------------------- the view of one check

QString FrmMain::serverText() const
{
    return txtPOP3Server->text();
}
QString FrmMain::userNameText() const
{
    return txtUserName->text();
}
QString FrmMain::passwordText() const
{
    return txtPassword->text();
}
QString FrmMain::statusText() const
{
    return txtStatus->Text();
}
void FrmMain::setStatusText(const QString &text)
{
    txtStatus->setText(text);
}
void FrmMain::appendStatusText(const QString &text)
{
    txtStatus->appendText(text);
}
void FrmMain::moveStatusCaretToEnd()
{
    txtStatus->moveCaretToEnd();
}
void FrmMain::setProgress(int value)
{
    ProgressBar1->setValue(value);
}
void FrmMain::setLastCheckText(const QString &text)
{
    txtLastCheck->setText(text);
}
void FrmMain::setNewMailText(const QString &text)
{
    txtNewMail->setText(text);
}
void FrmMain::setMailSizeText(const QString &text)
{
    txtMailSize->setText(text);
}
QString FrmMain::newEmailText() const
{
    return txtNewEmail->text();
}
void FrmMain::setNewEmailText(const QString &text)
{
    txtNewEmail->setText(text);
}
void FrmMain::setStatusFrameVisible(bool visible)
{
    fraStatus->setVisible(visible);
}
void FrmMain::setReportFrameVisible(bool visible)
{
    fraReport->setVisible(visible);
}
int FrmMain::openSoundState() const
{
    return chkOpenSound->Value();
}

void FrmMain::setPopupTexts(const QString &mailLine, const QString &emailLine,
                            const QString &caption)
{
    m_popUp->setTexts(mailLine, emailLine, caption);
}

void FrmMain::showPopup()
{
    m_popUp->show();
}

void FrmMain::clearReportBoxes()
{
    txtLastCheck->setText(QString());
    txtNewMail->setText(QString());
    txtMailSize->setText(QString());
}
