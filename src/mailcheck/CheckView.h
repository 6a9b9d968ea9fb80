#pragma once

#include <QString>

// The controls and operations of the main window that one mail check reads and writes.
// The main window implements it over its widgets; the widgets stay the only copy of the data.
class CheckView
{
public:
    virtual ~CheckView() = default;

    // txtPOP3Server, txtUserName, txtPassword: read at the moment of each step.
    virtual QString serverText() const = 0;
    virtual QString userNameText() const = 0;
    virtual QString passwordText() const = 0;

    // txtStatus, the session log. Text uses CR LF between lines.
    virtual QString statusText() const = 0;
    virtual void setStatusText(const QString &text) = 0;
    // The same as setting it to its text followed by `text`, without redoing the lines there.
    virtual void appendStatusText(const QString &text) = 0;
    virtual void moveStatusCaretToEnd() = 0;

    // ProgressBar1, 0 to 100.
    virtual void setProgress(int value) = 0;

    // The report boxes and the two frames that share one place.
    virtual void setLastCheckText(const QString &text) = 0; // txtLastCheck
    virtual void setNewMailText(const QString &text) = 0;   // txtNewMail
    virtual void setMailSizeText(const QString &text) = 0;  // txtMailSize
    virtual QString newEmailText() const = 0;               // txtNewEmail
    virtual void setNewEmailText(const QString &text) = 0;  // txtNewEmail
    virtual void setStatusFrameVisible(bool visible) = 0;   // fraStatus
    virtual void setReportFrameVisible(bool visible) = 0;   // fraReport

    // chkOpenSound: 0 clear, 1 ticked, 2 grey.
    virtual int openSoundState() const = 0;

    // Lets pending window events run once.
    virtual void letEventsRun() = 0;
    // Rewrites Settings.inf; on failure it has told the user in txtStatus and returns false.
    virtual bool SaveSettings() = 0;
    // Plays mail.wav and returns when it has ended.
    virtual void PlaySound() = 0;
    // The new-mail window: setting its texts loads it when it is not loaded; showing comes later.
    virtual void setPopupTexts(const QString &mailLine, const QString &emailLine,
                               const QString &caption) = 0;
    virtual void showPopup() = 0;
};
