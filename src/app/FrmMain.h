#pragma once

#include "app/Controls.h"
#include "mailcheck/CheckReport.h"
#include "mailcheck/MailboxWatcher.h"
#include "scheduling/CheckCommand.h"
#include "scheduling/MinuteCounter.h"
#include "scheduling/RetryPolicy.h"
#include "settings/SecuritySettings.h"
#include "tray/TrayIcon.h"

#include <QByteArray>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QGroupBox;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;

class Announcer;
class AutostartStore;
class DesktopNotifier;
class OAuth2Credentials;
class RememberedPassword;
class SecretStore;
class TypedPassword;
class WakeMonitor;
class Clock;
class CredentialSource;
class PopUpHost;
class Prompt;
class SeenStore;
class SoundOutput;
class TcpControl;
class UrlOpener;

// Everything outside the program that the main window talks to. The program passes the real
// desktop; tests pass fakes.
struct FrmMainServices {
    Prompt *prompt = nullptr;
    UrlOpener *urlOpener = nullptr;
    SoundOutput *soundOutput = nullptr;
    AutostartStore *autostart = nullptr;
    const Clock *clock = nullptr;
    TcpControl *socket = nullptr;        // null: the real socket
    SecretStore *secretStore = nullptr;  // the desktop's keyring; null: there is none
    DesktopNotifier *notifier = nullptr; // desktop notifications; null: none
    bool notifyAlways = false;           // the popup cannot be placed: notifications tell always
    WakeMonitor *wake = nullptr;         // resume and network return; null: not watched
    QString stateFolder;                 // where seen ids are kept; empty: SeenStore's default
    QString executablePath;              // the program that start at logon runs
    QString executableFolder;            // where the program looks for Settings.inf and mail.wav
    QString defaultSoundPath;            // an installed program's own mail.wav; empty if portable
    bool useTray = true;                 // false in tests that run without any tray
    std::function<bool()> trayAvailable; // null: ask the desktop
};

// The main window: its named controls, bound to the watcher of its mailbox. The controls show
// and edit the mailbox's settings (their change handlers keep the watcher's value up to date), and
// the watcher's reports reach them in their fixed order; saves and the places where events may
// run are here, never inside a socket handler. The handlers keep the names they have always had.
class FrmMain : public QWidget, private CheckCommandView
{
    Q_OBJECT
public:
    explicit FrmMain(const FrmMainServices &services, QWidget *parent = nullptr);
    ~FrmMain() override;

    // The start-up sequence; run once, right after construction.
    void Form_Load();

    // Shared operations.
    void cmdCheckNow_Click();
    bool SaveSettings() override;
    void PlaySound();
    void SysTray();
    void Timer1_Timer();
    // What the user did with the tray icon.
    void trayGesture(TrayIcon::Gesture gesture);

    // Window and menu commands.
    void labHide_Click();
    void labOpenMail_Click();
    void MenuCheck_Click();
    void MenuShow_Click();
    void MenuOption_Click();
    void MenuExit_Click();
    // Returns true when the window must stay (the user closed it from its frame).
    bool Form_QueryUnload(int UnloadMode);
    // The desktop's session manager asks for the data to be saved.
    void commitDataRequested();

    // Option handlers.
    void chkEvery_Click();
    void chkMemPass_Click();
    void chkOpenSound_Click();
    void chkLoadStart_Click();
    void txtMinutes_Change();
    void securityChoiceChanged();
    void chkDesktopNotify_Click();
    void signInChoiceChanged();
    // The sign-in button of the options page: the OAuth2 settings, and a sign-in when asked.
    void cmdSignIn_Click();

    static QString windowTitleFor(int major, int minor, int revision);

    // Appends one line to the status log and brings it into view.
    void tellUser(const QString &line);
    // After the event loop: what the keyring was asked to keep is kept before the program ends.
    void finishKeyringWrites();

    // The controls, by their names.
    QTabWidget *SSTab1 = nullptr;
    QGroupBox *FraLogin = nullptr;
    QGroupBox *fraReport = nullptr;
    QGroupBox *fraStatus = nullptr;
    QGroupBox *fraOption = nullptr;
    QLineEdit *txtUserName = nullptr;
    QLineEdit *txtPassword = nullptr;
    CheckBox *chkMemPass = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *txtNewEmail = nullptr;
    QLineEdit *Text3 = nullptr;
    QLineEdit *txtFrom = nullptr;
    QLineEdit *txtNewMail = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *txtLastCheck = nullptr;
    QLineEdit *txtMailSize = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    StatusBox *txtStatus = nullptr;
    QPushButton *cmdCheckNow = nullptr;
    LinkLabel *labOpenMail = nullptr;
    LinkLabel *labHide = nullptr;
    QLabel *labUserName = nullptr;
    QLabel *labPassword = nullptr;
    QLabel *labPop3 = nullptr;
    QLineEdit *txtPOP3Server = nullptr;
    CheckBox *chkEvery = nullptr;
    TypedLengthLineEdit *txtMinutes = nullptr;
    QLabel *labMinutes = nullptr;
    CheckBox *chkLoadStart = nullptr;
    CheckBox *chkOpenSound = nullptr;
    // Connection security, in the free space of fraOption below the server.
    QLabel *labSecurity = nullptr;
    QComboBox *cboSecurity = nullptr;
    // Also told by a desktop notification, right of the sound option.
    CheckBox *chkDesktopNotify = nullptr;
    // How the login signs in, below the options frame.
    QLabel *labSignIn = nullptr;
    QComboBox *cboSignIn = nullptr;
    QPushButton *cmdSignIn = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Image2 = nullptr;
    QTimer *Timer1 = nullptr;
    QMenu *MenuFile = nullptr;
    QAction *MenuCheck = nullptr;
    QAction *MenuShow = nullptr;
    QAction *Line2 = nullptr;
    QAction *MenuOption = nullptr;
    QAction *line1 = nullptr;
    QAction *MenuExit = nullptr;

    // The form's variables.
    QString SettingsPath;
    MinuteCounter counter; // SecondsCount, MinutesCount
    // Checks besides the minute counter's: retries, after a resume, LOGIN-DELAY.
    RetryPolicy retry;
    QByteArray SoundData;

    MailboxWatcher &watcher() { return *m_watcher; }
    const MailboxSettings &settings() const { return m_watcher->settings(); }
    TrayIcon *trayIcon() const { return m_tray.get(); }
    PopUpHost &popUp() { return *m_popUp; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void bindSettings();
    void connectHandlers();
    void bindWatcher();
    void showReport(const CheckReport &report);
    void bindSignIn();
    void finishStart();
    void askAboutCertificate(const QString &question);
    MailboxSettings &edited() { return m_watcher->settings(); }
    void letEventsRun() override;
    QString refusedSaveLine() const;
    void saveFailed(const QString &line);
    void saveSucceeded();
    void updateTrayToolTip();
    QString programFolder() const;

    // CheckCommandView over the widgets.
    void setStatusText(const QString &text);
    void setProgress(int value) override;
    void setStatusFrameVisible(bool visible) override;
    void setReportFrameVisible(bool visible) override;
    void clearReportBoxes() override;
    std::optional<QString> CheckEmail() override;

    FrmMainServices m_services;
    std::unique_ptr<TcpControl> m_ownSocket;
    std::unique_ptr<TypedPassword> m_typedPassword;
    std::unique_ptr<OAuth2Credentials> m_oauth2;
    std::unique_ptr<CredentialSource> m_credentials;
    std::unique_ptr<RememberedPassword> m_remembered;
    // Set while the keyring's password goes into txtPassword: that is no edit.
    bool m_fillingFromKeyring = false;
    bool m_startPending = false;
    bool m_loadedPasswordRead = false;
    QString m_keptAsideNote;
    QString m_lastNotifierTrouble;
    std::unique_ptr<SeenStore> m_seenStore;
    std::unique_ptr<MailboxWatcher> m_watcher;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<PopUpHost> m_popUp;
    std::unique_ptr<Announcer> m_announcer;
    // Checks started from this window: one started while another let events run serves both.
    quint64 m_checksStarted = 0;
    QString m_programFolder;
    QString m_folderNote;         // where the settings went when the program folder is read-only
    QString m_settingsUnreadable; // why Settings.inf could not be read at start-up, if it could not
    QString m_lastNotRemembered;  // the last "could not be remembered" line, told once
    QString m_saveTrouble;        // why the last save failed or was refused; empty after a good one
    bool m_saveTroubleInLog = false; // told in the log as it is now (since it was last replaced)
};
