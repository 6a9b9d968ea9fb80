#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// New mail, as the popup, the sound and the desktop notification tell it.
struct Announcement {
    QString mailLine; // PopUp.Mail: "มีอีเมลล์ใหม่ N [total] ฉบับ "
    QString emailLine; // PopUp.email: "ถึงคุณ <user> ครับ"
    QString caption;   // the popup's title
    bool playSound = false;
    // Also told by a desktop notification (the user's choice).
    bool desktopNotification = false;
    qint64 newCount = 0;
    qint64 total = 0;
    // One line per new message whose headers could be read (sender and subject), newest first.
    QStringList messages;
};

// What one check found, for the window to show in its fixed order.
struct CheckReport {
    QString lastCheckText; // txtLastCheck
    QString newMailText;   // txtNewMail
    QString mailSizeText;  // txtMailSize
    // txtNewEmail afterwards; nothing leaves it as it was.
    std::optional<QString> newEmailText;
    // The remembered count changed (or was confirmed): Settings.inf is to be written.
    bool save = false;
    std::optional<Announcement> announcement;
    // Lines for the status log beside the report (a rebuilt index, a state not saved).
    QStringList notes;
};
