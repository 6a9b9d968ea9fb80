#include "app/FrmMain.h"

#include "app/KeyringWrites.h"
#include "app/OAuth2Dialog.h"
#include "mailcheck/SeenStore.h"
#include "mailcheck/ServerAddress.h"
#include "mailcheck/Winsock1.h"
#include "notify/DesktopAnnouncer.h"
#include "notify/DesktopNotifier.h"
#include "notify/ModSound.h"
#include "notify/PopUp.h"
#include "notify/PopUpHost.h"
#include "platform/AutostartStore.h"
#include "platform/Clock.h"
#include "platform/FrameHints.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompt.h"
#include "platform/UrlOpener.h"
#include "platform/WakeMonitor.h"
#include "settings/IntervalValidation.h"
#include "settings/NumberRules.h"
#include "settings/RunAtLogon.h"
#include "settings/SettingsAtStart.h"
#include "settings/SettingsFile.h"
#include "signin/CredentialSource.h"
#include "signin/OAuth2Credentials.h"
#include "signin/RememberedPassword.h"
#include "wording/Wording.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{
// Form_QueryUnload's reasons: the user from the window's frame, the desktop session ending.
constexpr int UnloadFromFrame = 0;
constexpr int UnloadSessionEnding = 2;

const QString NotSavedTip = u"ขณะนี้ไม่ได้บันทึกการตั้งค่า"_s;

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
    m_typedPassword = std::make_unique<TypedPassword>();
    m_oauth2 = std::make_unique<OAuth2Credentials>(nullptr, *m_services.urlOpener,
                                                   m_services.secretStore, *m_services.clock);
    m_credentials = std::make_unique<ChosenCredentials>(*m_typedPassword, *m_oauth2);
    m_remembered = std::make_unique<RememberedPassword>(m_services.secretStore);
    m_seenStore = std::make_unique<SeenStore>(
        m_services.stateFolder.isEmpty() ? SeenStore::defaultFolder() : m_services.stateFolder);
    m_watcher = std::make_unique<MailboxWatcher>(*m_services.socket, *m_credentials,
                                                 *m_services.clock, m_seenStore.get());
    m_popUp = std::make_unique<PopUpHost>([this] { return settings().server; },
                                          *m_services.urlOpener, handCursor());
    auto announcer = std::make_unique<DesktopAnnouncer>(
        *m_popUp, [this] { PlaySound(); }, m_services.notifier);
    announcer->setNotifyAlways(m_services.notifyAlways);
    m_announcer = std::move(announcer);
    // The settings follow the controls before any handler of theirs reads them.
    bindSettings();
    connectHandlers();
    bindWatcher();
    bindSignIn();
    // A fixed border with the close box alone, whatever Qt asks the window manager for.
    FrameHints::closeBoxOnly(this);
    // The periodic check counts from the moment the window exists, shown or hidden.
    Timer1->start();
}

FrmMain::~FrmMain() = default;

QString FrmMain::windowTitleFor(int major, int minor, int revision)
{
    return u" larkspur  "_s + QString::number(major) + u'.' + QString::number(minor) + u'.' +
           QString::number(revision);
}

void FrmMain::bindSettings()
{
    // The keyring keeps the password under the server and the user: another one of either is
    // another item.
    connect(txtPOP3Server, &QLineEdit::textChanged, this, [this](const QString &text) {
        edited().server = text;
        m_remembered->edited();
        retry.loginChanged();
    });
    connect(txtUserName, &QLineEdit::textChanged, this, [this](const QString &text) {
        edited().loginName = text;
        m_remembered->edited();
        retry.loginChanged();
    });
    connect(txtPassword, &QLineEdit::textChanged, this, [this](const QString &text) {
        edited().password = text;
        if (!m_fillingFromKeyring)
            m_remembered->edited();
        retry.loginChanged();
    });
    connect(txtMinutes, &QLineEdit::textChanged, this,
            [this](const QString &text) { edited().checkEveryMin = text; });
    const auto bindState = [this](CheckBox *box, int MailboxSettings::*field) {
        connect(box, &QCheckBox::stateChanged, this,
                [this, box, field] { edited().*field = box->Value(); });
    };
    bindState(chkMemPass, &MailboxSettings::memPass);
    bindState(chkEvery, &MailboxSettings::checkEveryOn);
    bindState(chkLoadStart, &MailboxSettings::launchAtStartup);
    bindState(chkOpenSound, &MailboxSettings::enableSound);
    connect(chkDesktopNotify, &QCheckBox::stateChanged, this,
            [this] { edited().desktopNotify = chkDesktopNotify->isChecked(); });
    connect(cboSignIn, &QComboBox::currentIndexChanged, this, [this](int index) {
        edited().signIn =
            index == 1 ? MailboxSettings::SignIn::OAuth2 : MailboxSettings::SignIn::Password;
    });
    connect(cboSecurity, &QComboBox::currentIndexChanged, this, [this](int index) {
        edited().security = static_cast<SecurityMode>(std::clamp(index, 0, 3));
        // What was learnt about the server (reached over TLS, a certificate trusted) held for
        // the old choice; changing it is how a user tells the program to start over.
        edited().securityMemory = {};
    });
}

// The log and the progress bar follow the session as it goes. What saves, plays, shows or asks
// (the report, a certificate question, a lesson to be saved) comes after the socket's handler has
// returned: none of it ever runs inside one.
void FrmMain::bindWatcher()
{
    MailboxWatcher *watcher = m_watcher.get();
    connect(watcher, &MailboxWatcher::statusReplaced, this, &FrmMain::setStatusText);
    connect(watcher, &MailboxWatcher::statusAppended, this, [this](const QString &text) {
        txtStatus->appendText(text);
        txtStatus->moveCaretToEnd();
    });
    connect(watcher, &MailboxWatcher::progressChanged, this, &FrmMain::setProgress);
    connect(watcher, &MailboxWatcher::reported, this, &FrmMain::showReport, Qt::QueuedConnection);
    connect(watcher, &MailboxWatcher::certificateQuestion, this, &FrmMain::askAboutCertificate,
            Qt::QueuedConnection);
    connect(
        watcher, &MailboxWatcher::learned, this, [this] { SaveSettings(); }, Qt::QueuedConnection);
}

// Where the credentials come from: the keyring's password, the OAuth2 tokens, and what they tell.
void FrmMain::bindSignIn()
{
    // How each check ended decides the retries; a good one tells the server's LOGIN-DELAY.
    connect(m_watcher.get(), &MailboxWatcher::finished, this,
            [this](CheckOutcome outcome, const QString &reason) {
                if (outcome == CheckOutcome::NewMail || outcome == CheckOutcome::NoNewMail)
                    retry.setLoginDelay(loginDelayFromCapabilities(m_watcher->pop3Capabilities()));
                if (const auto line = retry.checkEnded(outcome, reason))
                    tellUser(*line);
            });
    if (WakeMonitor *wake = m_services.wake) {
        connect(wake, &WakeMonitor::resumed, this, [this] {
            m_watcher->forgetIdleConnection();
            retry.resumed();
        });
        connect(wake, &WakeMonitor::networkReturned, this, [this] {
            m_watcher->forgetIdleConnection();
            retry.networkReturned();
        });
    }
    connect(m_oauth2.get(), &OAuth2Credentials::signedIn, this, [this] { retry.loginChanged(); });
    connect(m_remembered.get(), &RememberedPassword::statusLine, this, &FrmMain::tellUser);
    connect(m_remembered.get(), &RememberedPassword::loaded, this,
            [this](const std::optional<QString> &password) {
                if (password) {
                    m_fillingFromKeyring = true;
                    txtPassword->setText(*password);
                    m_fillingFromKeyring = false;
                }
                if (std::exchange(m_startPending, false))
                    finishStart();
            });
    // Settings.inf no longer holds the password once the keyring does.
    connect(m_remembered.get(), &RememberedPassword::moved, this, [this] { SaveSettings(); });
    connect(m_watcher.get(), &MailboxWatcher::loggedIn, this, [this] {
        if (settings().memPass == 1 && settings().signIn == MailboxSettings::SignIn::Password)
            m_remembered->loggedIn(settings().server, settings().loginName, settings().password);
    });
    connect(m_oauth2.get(), &OAuth2Credentials::statusLine, this, &FrmMain::tellUser);
    connect(
        m_oauth2.get(), &OAuth2Credentials::deviceCodeReady, this,
        [this](const QString &code, const QUrl &address) {
            m_services.prompt->message(u"larkspur "_s,
                                       Wording::oauth2EnterDeviceCode(code, address.toString()));
        },
        Qt::QueuedConnection);
    if (DesktopNotifier *notifier = m_services.notifier) {
        connect(notifier, &DesktopNotifier::activated, this, [this] {
            MenuShow_Click();
            raise();
            activateWindow();
        });
        // Told once for each new trouble: a check a minute must not fill the log with it.
        connect(notifier, &DesktopNotifier::failed, this, [this](const QString &line) {
            if (std::exchange(m_lastNotifierTrouble, line) != line)
                tellUser(line);
        });
    }
}

void FrmMain::connectHandlers()
{
    connect(chkEvery, &QCheckBox::stateChanged, this, &FrmMain::chkEvery_Click);
    connect(chkMemPass, &QCheckBox::stateChanged, this, &FrmMain::chkMemPass_Click);
    connect(chkOpenSound, &QCheckBox::stateChanged, this, &FrmMain::chkOpenSound_Click);
    connect(chkLoadStart, &QCheckBox::stateChanged, this, &FrmMain::chkLoadStart_Click);
    connect(txtMinutes, &QLineEdit::textChanged, this, &FrmMain::txtMinutes_Change);
    connect(cboSecurity, &QComboBox::currentIndexChanged, this, &FrmMain::securityChoiceChanged);
    connect(chkDesktopNotify, &QCheckBox::stateChanged, this, &FrmMain::chkDesktopNotify_Click);
    connect(cboSignIn, &QComboBox::currentIndexChanged, this, &FrmMain::signInChoiceChanged);
    connect(cmdSignIn, &QPushButton::clicked, this, &FrmMain::cmdSignIn_Click);
    connect(cmdCheckNow, &QPushButton::clicked, this, [this] {
        retry.manualCheck();
        cmdCheckNow_Click();
    });
    connect(labHide, &LinkLabel::clicked, this, &FrmMain::labHide_Click);
    connect(labOpenMail, &LinkLabel::clicked, this, &FrmMain::labOpenMail_Click);
    connect(MenuCheck, &QAction::triggered, this, &FrmMain::MenuCheck_Click);
    connect(MenuShow, &QAction::triggered, this, &FrmMain::MenuShow_Click);
    connect(MenuOption, &QAction::triggered, this, &FrmMain::MenuOption_Click);
    connect(MenuExit, &QAction::triggered, this, &FrmMain::MenuExit_Click);
    connect(Timer1, &QTimer::timeout, this, &FrmMain::Timer1_Timer);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &FrmMain::commitDataRequested,
            Qt::DirectConnection);
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
    m_programFolder = ::programFolder(m_services.executableFolder, &m_folderNote);
    setWindowTitle(
        windowTitleFor(LARKSPUR_VERSION_MAJOR, LARKSPUR_VERSION_MINOR, LARKSPUR_VERSION_REVISION));
    counter.SecondsCount = 0;
    counter.MinutesCount = 0;
    letEventsRun();

    SettingsPath = settingsPath(m_programFolder);
    const SettingsAtStart atStart = readSettingsAtStart(SettingsPath);
    const LoadedSettings &loaded = atStart.loaded;
    if (loaded.totalOldEmail)
        edited().totalOldEmail = *loaded.totalOldEmail;
    if (!atStart.unreadable.isEmpty()) {
        // An unreadable file is not a missing one: it must not be replaced by defaults.
        m_settingsUnreadable = atStart.unreadable;
        saveFailed(refusedSaveLine());
    }
    letEventsRun();

    auto fillState = [](CheckBox *box, const QString &text) {
        if (const auto state = toNearestInteger(text))
            box->setValue(*state);
    };
    txtPOP3Server->setText(loaded.server);
    txtUserName->setText(loaded.loginName);
    // The password goes in before its check box, whose change saves: that save must not write
    // an empty password over the stored one.
    if (loaded.passwordRead)
        txtPassword->setText(loaded.password);
    fillState(chkMemPass, loaded.memPass);
    fillState(chkEvery, loaded.checkEveryOn);
    // Nothing was read that could be wrong: the box keeps its own default, unasked.
    if (m_settingsUnreadable.isEmpty())
        txtMinutes->setText(loaded.checkEveryMin);
    fillState(chkLoadStart, loaded.launchAtStartup);
    fillState(chkOpenSound, loaded.enableSound);
    // Set last: the choice and what was learnt under it arrive together, so nothing is forgotten
    // or saved for the setting itself.
    {
        const QSignalBlocker quiet(cboSecurity);
        cboSecurity->setCurrentIndex(static_cast<int>(loaded.security.mode));
    }
    edited().security = loaded.security.mode;
    edited().securityMemory = loaded.security.memory;
    {
        const QSignalBlocker quietNotify(chkDesktopNotify);
        const QSignalBlocker quietSignIn(cboSignIn);
        chkDesktopNotify->setChecked(loaded.desktopNotify);
        cboSignIn->setCurrentIndex(loaded.oauth2Chosen ? 1 : 0);
    }
    edited().desktopNotify = loaded.desktopNotify;
    edited().signIn =
        loaded.oauth2Chosen ? MailboxSettings::SignIn::OAuth2 : MailboxSettings::SignIn::Password;
    edited().oauth2 = loaded.oauth2;
    txtPassword->setEnabled(!loaded.oauth2Chosen);

    fraStatus->setVisible(false);
    fraReport->setVisible(false);
    letEventsRun();

    SysTray();
    SoundData = loadProgramSound(m_programFolder + u"/mail.wav"_s, m_services.defaultSoundPath);

    m_loadedPasswordRead = loaded.passwordRead;
    m_keptAsideNote = atStart.keptAside;
    // A remembered password that Settings.inf does not hold is in the keyring: the start-up goes
    // on once the keyring has answered.
    if (loaded.passwordRead && settings().signIn == MailboxSettings::SignIn::Password &&
        m_remembered->load(settings().server, settings().loginName,
                           loaded.password.isEmpty() ? std::nullopt
                                                     : std::optional(loaded.password))) {
        m_startPending = true;
        return;
    }
    finishStart();
}

// The end of the start-up: a check at once with a remembered login, else the window.
void FrmMain::finishStart()
{
    // A token signs in where the password would.
    const bool passwordNeeded = settings().signIn == MailboxSettings::SignIn::Password;
    const bool loginComplete = !txtPOP3Server->text().isEmpty() && !txtUserName->text().isEmpty() &&
                               (!passwordNeeded || !txtPassword->text().isEmpty());
    if (loginComplete && m_loadedPasswordRead) {
        cmdCheckNow_Click();
        // Without a tray the hidden window could never be reached again.
        if (m_tray && m_tray->isInTray())
            hide();
        else
            show();
    } else {
        show();
    }
    // Told after the start-up's check has cleared the log, so that they are there to be read.
    if (!m_folderNote.isEmpty())
        tellUser(m_folderNote);
    if (!m_keptAsideNote.isEmpty())
        tellUser(m_keptAsideNote);
    // The icon joins a tray that appears later by itself; until then the window stays reachable.
    if (m_tray && !m_tray->isInTray())
        tellUser(u"ไม่พบถาดระบบ : หน้าต่างจะเปิดอยู่ และไอคอนจะเข้าไปอยู่ในถาดเมื่อถาดเริ่มทำงาน"_s);
}

// ---------------------------------------------------------------- settings

QString FrmMain::refusedSaveLine() const
{
    return u"ไม่ได้บันทึกการตั้งค่า เพราะ"_s + m_settingsUnreadable;
}

void FrmMain::saveFailed(const QString &line)
{
    // Told again once the log has been replaced (each check starts a new one), so that a check's
    // own log says that its settings are not being kept; not repeated within one log.
    if (line != m_saveTrouble || !m_saveTroubleInLog)
        tellUser(line);
    m_saveTroubleInLog = true;
    if (line != m_saveTrouble) {
        m_saveTrouble = line;
        updateTrayToolTip();
    }
}

void FrmMain::saveSucceeded()
{
    if (m_saveTrouble.isEmpty())
        return;
    m_saveTrouble.clear();
    updateTrayToolTip();
}

void FrmMain::updateTrayToolTip()
{
    if (m_tray)
        m_tray->setToolTip(m_saveTrouble.isEmpty() ? windowTitle()
                                                   : windowTitle() + u'\n' + NotSavedTip);
}

bool FrmMain::SaveSettings()
{
    if (!m_settingsUnreadable.isEmpty()) {
        saveFailed(refusedSaveLine());
        return false;
    }
    edited().passwordInKeyring = m_remembered->inKeyring();
    const ComposedSettings composed = composeSettings(settings());
    const QString notRemembered = composed.notRemembered.join(u' ');
    // Told once, not at every save that follows.
    if (!notRemembered.isEmpty() && notRemembered != m_lastNotRemembered)
        tellUser(notRemembered);
    m_lastNotRemembered = notRemembered;

    QString error;
    const bool written =
        writeSettingsFile(m_programFolder + u"/Settings.inf"_s, composed.bytes, &error);
    if (written)
        saveSucceeded();
    else
        saveFailed(error);
    letEventsRun();
    return written;
}

void FrmMain::chkEvery_Click()
{
    SaveSettings();
}

void FrmMain::chkMemPass_Click()
{
    // Not remembered any more: the keyring lets it go too, as the file does at this save.
    if (chkMemPass->Value() != 1)
        m_remembered->forget(settings().server, settings().loginName);
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

void FrmMain::securityChoiceChanged()
{
    SaveSettings();
}

void FrmMain::chkDesktopNotify_Click()
{
    SaveSettings();
}

void FrmMain::signInChoiceChanged()
{
    // The password box has nothing to do with a token.
    txtPassword->setEnabled(settings().signIn == MailboxSettings::SignIn::Password);
    SaveSettings();
}

void FrmMain::finishKeyringWrites()
{
    waitForKeyringWrites(*m_oauth2);
}

void FrmMain::cmdSignIn_Click()
{
    OAuth2Dialog dialog(settings().oauth2, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    edited().oauth2 = dialog.texts();
    if (dialog.signInAsked() && cboSignIn->currentIndex() != 1)
        cboSignIn->setCurrentIndex(1); // saves
    else
        SaveSettings();
    if (dialog.signInAsked())
        m_oauth2->signInNow(settings());
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
    retry.manualCheck();
    cmdCheckNow_Click();
}

void FrmMain::Timer1_Timer()
{
    if (m_services.wake)
        m_services.wake->tick();
    const bool due = counter.tick(settings().checkEveryOn, settings().checkEveryMin);
    const RetryPolicy::Tick tick = retry.tick(settings().checkEveryOn == 1, due);
    if (tick.logLine)
        tellUser(*tick.logLine);
    if (tick.checkNow)
        cmdCheckNow_Click();
    // The count starts again when a timed check was due, even when the policy held it back.
    if (due)
        counter.checkStarted();
}

std::optional<QString> FrmMain::CheckEmail()
{
    if (const auto problem = m_watcher->loginProblem()) {
        setStatusText(*problem);
        return std::nullopt;
    }
    setStatusText(QString());
    const quint64 before = m_checksStarted;
    letEventsRun();
    // A check started while this one let events run came after this request and serves it:
    // closing its connection to start again would only lose what it has done.
    if (m_checksStarted != before)
        return std::nullopt;
    ++m_checksStarted;
    return m_watcher->check();
}

void FrmMain::showReport(const CheckReport &report)
{
    txtLastCheck->setText(report.lastCheckText);
    txtNewMail->setText(report.newMailText);
    txtMailSize->setText(report.mailSizeText);
    ProgressBar1->setValue(100);
    fraStatus->setVisible(false);
    fraReport->setVisible(true);
    for (const QString &note : report.notes)
        tellUser(note);
    if (report.announcement) {
        m_announcer->prepare(*report.announcement);
        if (report.newEmailText)
            txtNewEmail->setText(*report.newEmailText);
        SaveSettings();
        // Last: after the sound has ended and the count is safely saved.
        m_announcer->show(*report.announcement);
    } else if (report.save) {
        SaveSettings();
    }
    if (report.newEmailText)
        txtNewEmail->setText(*report.newEmailText);
}

void FrmMain::askAboutCertificate(const QString &question)
{
    m_watcher->answerCertificate(m_services.prompt->question(u"larkspur "_s, question));
}

void FrmMain::PlaySound()
{
    if (PlaySoundData(SoundData, 0, *m_services.soundOutput) ==
        SoundOutput::PlayResult::DeviceGivenUp)
        tellUser(Wording::soundDeviceGivenUp());
}

// ---------------------------------------------------------------- tray and window commands

void FrmMain::SysTray()
{
    if (!m_services.useTray)
        return;
    m_tray = std::make_unique<TrayIcon>(Image1->pixmap(), windowTitle(), m_services.trayAvailable);
    connect(m_tray.get(), &TrayIcon::gesture, this, &FrmMain::trayGesture);
    // A save that failed before the icon was there is told by it as well.
    updateTrayToolTip();
    m_tray->add();
}

void FrmMain::trayGesture(TrayIcon::Gesture gesture)
{
    if (gesture == TrayIcon::Gesture::ToggleWindow) {
        if (isVisible()) {
            hide();
        } else {
            show();
            activateWindow();
            raise();
            setFocus();
            txtStatus->moveCaretToEnd();
        }
    } else {
        MenuFile->popup(QCursor::pos());
    }
}

void FrmMain::labHide_Click()
{
    hide();
}

void FrmMain::labOpenMail_Click()
{
    m_services.urlOpener->open(webAddressFor(settings().server));
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
    const bool cancel = UnloadMode == UnloadFromFrame;
    hide();
    SaveSettings();
    return cancel;
}

void FrmMain::commitDataRequested()
{
    // The session may end now, or go on (a desktop that only saves its state): the window is
    // hidden and the settings are saved either way, and nothing is remembered of it. A later
    // close box only hides, as ever.
    Form_QueryUnload(UnloadSessionEnding);
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    // The close box only hides the window; the program lives on in the tray. When the session
    // ends, the application's quit finds the window hidden, and that no longer holds it back.
    if (Form_QueryUnload(UnloadFromFrame))
        event->ignore();
    else
        event->accept();
}

// ---------------------------------------------------------------- the view of one check

void FrmMain::setStatusText(const QString &text)
{
    txtStatus->setText(text);
    m_saveTroubleInLog = false;
}
void FrmMain::setProgress(int value)
{
    ProgressBar1->setValue(value);
}
void FrmMain::setStatusFrameVisible(bool visible)
{
    fraStatus->setVisible(visible);
}
void FrmMain::setReportFrameVisible(bool visible)
{
    fraReport->setVisible(visible);
}

void FrmMain::clearReportBoxes()
{
    txtLastCheck->setText(QString());
    txtNewMail->setText(QString());
    txtMailSize->setText(QString());
}
