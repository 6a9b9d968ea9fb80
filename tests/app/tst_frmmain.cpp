// The main window as a whole, offscreen: the start-up, the options saving on change, and the
// window and tray commands.
#include "AppFakes.h"
#include "FakeSocket.h"
#include "app/FrmMain.h"
#include "notify/PopUp.h"
#include "notify/PopUpHost.h"
#include "tray/TrayIcon.h"
#include "wording/Wording.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace
{
const QString emptyOrZero = u"เวลาไม่สามารถเป็น ค่าว่าง และ 0 ได้ (มาตรฐาน : 15)"_s;
const QString digitsOnly = u"กรุณาพิมพ์ เฉพาะตัวเลขเท่านั้น (0-99)"_s;

QByteArray scrambled(const QByteArray &plain)
{
    QByteArray out;
    for (char c : plain)
        out.append(char(255 - static_cast<unsigned char>(c)));
    return out;
}

QByteArray fileOf(std::initializer_list<QByteArray> lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

const QByteArray defaults =
    fileOf({"[settings]", "POP3MailServer=", "loginname=", "mempass=0", "checkeveryon=0",
            "checkeverymin=15", "launchatstartup=0", "enablesound=0", "totaloldemail=0"});
} // namespace

class TestFrmMain : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    RecordingPrompt prompt;
    RecordingUrlOpener urlOpener;
    RecordingSoundOutput sound;
    RecordingAutostart autostart;
    FixedClock clock;
    FakeSocket *socket = nullptr;
    std::unique_ptr<FakeSocket> ownedSocket;
    bool trayThere = true;

    QString path(const QString &name) const { return folder->filePath(name); }
    QByteArray settingsBytes() const
    {
        QFile file(path(u"Settings.inf"_s));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeSettings(const QByteArray &bytes)
    {
        QFile file(path(u"Settings.inf"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    std::unique_ptr<FrmMain> makeForm()
    {
        FrmMainServices services;
        services.prompt = &prompt;
        services.urlOpener = &urlOpener;
        services.soundOutput = &sound;
        services.autostart = &autostart;
        services.clock = &clock;
        services.socket = socket;
        services.executablePath = path(u"larkspur"_s);
        services.executableFolder = folder->path();
        services.stateFolder = folder->path() + QStringLiteral("/state");
        services.trayAvailable = [this] { return trayThere; };
        return std::make_unique<FrmMain>(services);
    }
    std::unique_ptr<FrmMain> started()
    {
        auto form = makeForm();
        form->Form_Load();
        return form;
    }

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        prompt = RecordingPrompt();
        urlOpener.opened.clear();
        sound.calls.clear();
        autostart.calls.clear();
        ownedSocket = std::make_unique<FakeSocket>();
        socket = ownedSocket.get();
        trayThere = true;
    }
    void cleanup()
    {
        ownedSocket.reset();
        folder.reset();
    }

    void titleCarriesTheVersion()
    {
        QCOMPARE(FrmMain::windowTitleFor(1, 2, 1), u" larkspur  1.2.1"_s);
        auto form = started();
        QCOMPARE(form->windowTitle(),
                 FrmMain::windowTitleFor(LARKSPUR_VERSION_MAJOR, LARKSPUR_VERSION_MINOR,
                                         LARKSPUR_VERSION_REVISION));
        QCOMPARE(form->trayIcon()->icon().toolTip(), form->windowTitle());
        // --version and the package say what the title says.
        QCOMPARE(form->windowTitle(),
                 u" larkspur  "_s + QString::fromLatin1(LARKSPUR_VERSION_STRING));
    }

    void firstStartCreatesTheDefaults()
    {
        QString minutesWhileAsked;
        std::unique_ptr<FrmMain> form = makeForm();
        FrmMain *raw = form.get();
        prompt.onMessage = [&] { minutesWhileAsked = raw->txtMinutes->text(); };
        form->Form_Load();
        QCOMPARE(prompt.shown.size(), 1);
        QCOMPARE(prompt.shown[0].caption, u"larkspur "_s);
        QCOMPARE(prompt.shown[0].text, emptyOrZero);
        // The box already shows the default while the message is up.
        QCOMPARE(minutesWhileAsked, u"15"_s);
        QCOMPARE(settingsBytes(), defaults);
        QCOMPARE(QFile::permissions(path(u"Settings.inf"_s)),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(form->isVisible());
        QCOMPARE(form->txtUserName->text(), QString());
        QCOMPARE(form->txtMinutes->text(), u"15"_s);
        QVERIFY(form->fraStatus->isHidden() && form->fraReport->isHidden());
        QVERIFY(socket->connects.isEmpty());
        // An absent mail.wav is created empty.
        QVERIFY(QFile::exists(path(u"mail.wav"_s)));
    }

    void rememberedLoginChecksAtOnceAndHides_data()
    {
        QTest::addColumn<QByteArray>("mempass");
        QTest::addColumn<int>("boxState");
        QTest::newRow("mempass 1") << QByteArray("1") << 1;
        QTest::newRow("mempass 1.0 equals 1") << QByteArray("1.0") << 1;
        QTest::newRow("mempass yes counts as remembered, box stays clear")
            << QByteArray("yes") << 0;
        QTest::newRow("mempass missing counts as remembered") << QByteArray() << 0;
    }
    void rememberedLoginChecksAtOnceAndHides()
    {
        QFETCH(QByteArray, mempass);
        QFETCH(int, boxState);
        QByteArray file =
            fileOf({"[settings]", "POP3MailServer=mail.example", "loginname=somchai",
                    "loginpass=" + scrambled("s3cret"), "checkeveryon=0", "checkeverymin=15",
                    "launchatstartup=0", "enablesound=0", "totaloldemail=4"});
        if (!mempass.isNull())
            file.replace("loginpass=", "mempass=" + mempass + "\r\nloginpass=");
        writeSettings(file);
        auto form = started();
        QCOMPARE(form->txtPassword->text(), u"s3cret"_s);
        QCOMPARE(form->chkMemPass->Value(), boxState);
        QCOMPARE(socket->connects, (QStringList{u"mail.example:110"_s}));
        QVERIFY(!form->isVisible());
        QVERIFY(form->fraStatus->isVisibleTo(form.get()));
        QCOMPARE(form->settings().totalOldEmail, 4);
        QVERIFY(prompt.shown.isEmpty());
    }

    void noTrayKeepsTheWindowReachable()
    {
        trayThere = false;
        writeSettings(fileOf({"[settings]", "POP3MailServer=mail.example", "loginname=somchai",
                              "mempass=1", "loginpass=" + scrambled("pw"), "checkeverymin=15"}));
        auto form = started();
        QCOMPARE(socket->connects.size(), 1);
        QVERIFY(form->isVisible());
        QVERIFY2(form->txtStatus->Text().contains(u"ไม่พบถาดระบบ"_s),
                 qPrintable(form->txtStatus->Text()));
    }

    void forgottenPasswordShowsTheWindow()
    {
        writeSettings(fileOf({"[settings]", "POP3MailServer=mail.example", "loginname=somchai",
                              "mempass=0", "loginpass=" + scrambled("pw"), "checkeverymin=15"}));
        auto form = started();
        QCOMPARE(form->txtPassword->text(), QString());
        QVERIFY(form->isVisible());
        QVERIFY(socket->connects.isEmpty());
    }

    void storedPasswordSurvivesEverySaveOfTheStart()
    {
        writeSettings(
            fileOf({"[settings]", "POP3MailServer=mail.example", "loginname=somchai", "mempass=1",
                    "loginpass=" + scrambled("abc"), "checkeveryon=1", "checkeverymin=15",
                    "launchatstartup=0", "enablesound=1", "totaloldemail=0"}));
        auto form = makeForm();
        QList<QByteArray> saved;
        // Connected after the window's own handlers, so each sees the file its save wrote.
        for (CheckBox *box : {form->chkMemPass, form->chkEvery, form->chkOpenSound})
            connect(box, &QCheckBox::stateChanged, this, [&] { saved.append(settingsBytes()); });
        form->Form_Load();
        QCOMPARE(saved.size(), 3);
        for (const QByteArray &bytes : saved)
            QVERIFY2(bytes.contains("loginpass=" + scrambled("abc") + "\r\n"), bytes.constData());
    }

    void storedValuesReachTheirHandlers_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QStringList>("prompts");
        QTest::newRow("120 is longer than typing allows")
            << QByteArray("checkeverymin=120") << u"15"_s << QStringList{digitsOnly};
        QTest::newRow("zero") << QByteArray("checkeverymin=0") << u"15"_s
                              << QStringList{emptyOrZero};
        QTest::newRow("half a minute is kept")
            << QByteArray("checkeverymin=.5") << u".5"_s << QStringList{};
    }
    void storedValuesReachTheirHandlers()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, minutes);
        QFETCH(QStringList, prompts);
        writeSettings(fileOf({"[settings]", line}));
        auto form = started();
        QCOMPARE(form->txtMinutes->text(), minutes);
        QStringList texts;
        for (const auto &shown : prompt.shown)
            texts << shown.text;
        QCOMPARE(texts, prompts);
        QVERIFY(settingsBytes().contains("checkeverymin=" + minutes.toUtf8() + "\r\n"));
    }

    void rememberedCount_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<qint64>("count");
        QTest::newRow("not a number") << QByteArray("abc") << qint64(0);
        QTest::newRow("beyond 16 bits is kept whole") << QByteArray("40000") << qint64(40000);
        QTest::newRow("negative, which no mailbox is, reads as 0")
            << QByteArray("-32769") << qint64(0);
    }
    void rememberedCount()
    {
        QFETCH(QByteArray, stored);
        QFETCH(qint64, count);
        writeSettings(fileOf({"[settings]", "checkeverymin=15", "totaloldemail=" + stored}));
        auto form = started();
        QCOMPARE(form->settings().totalOldEmail, count);
    }

    void startAtLogonIsWrittenAgainAtEveryStart()
    {
        writeSettings(fileOf({"[settings]", "checkeverymin=15", "launchatstartup=1"}));
        auto form = started();
        QCOMPARE(autostart.calls, (QStringList{u"Larkspur = "_s + path(u"larkspur"_s)}));
        QCOMPARE(form->chkLoadStart->Value(), 1);
    }

    void checkBoxStatesOutOfRangeAreRefused()
    {
        writeSettings(
            fileOf({"[settings]", "checkeverymin=15", "checkeveryon=7", "enablesound=2"}));
        auto form = started();
        QCOMPARE(form->chkEvery->Value(), 0);
        QCOMPARE(form->chkOpenSound->Value(), 2);
    }

    void byteOrderMarkDoesNotHideTheSection()
    {
        writeSettings("\xEF\xBB\xBF" + fileOf({"[settings]", "POP3MailServer=mail.example",
                                               "loginname=somchai", "checkeverymin=20"}));
        auto form = started();
        QCOMPARE(form->txtPOP3Server->text(), u"mail.example"_s);
        QCOMPARE(form->txtMinutes->text(), u"20"_s);
        QVERIFY(settingsBytes().contains("loginname=somchai\r\n"));
    }

    void unreadableSettingsAreNeverOverwritten()
    {
        QVERIFY(QDir(folder->path()).mkdir(u"Settings.inf"_s));
        auto form = started();
        QVERIFY(QFileInfo(path(u"Settings.inf"_s)).isDir());
        QVERIFY(!form->txtStatus->Text().isEmpty());
        // Nothing was read: the interval keeps its default, and no box speaks of a problem the
        // user does not have.
        QCOMPARE(form->txtMinutes->text(), u"15"_s);
        QCOMPARE(prompt.shown.size(), 0);
        QVERIFY(form->isVisible());
        // The program goes on: an option change still works, and still does not overwrite.
        form->chkEvery->setValue(1);
        QVERIFY(QFileInfo(path(u"Settings.inf"_s)).isDir());
    }

    // What the start-up finds must survive its first save: a file with no key it can read is
    // copied aside first, and never over an earlier copy.
    void settingsWithoutKeysAreKeptAside_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("earlierCopy");
        QTest::addColumn<QString>("keptAs"); // empty: nothing kept
        const QByteArray outside = fileOf({"POP3MailServer=mail.example", "loginname=bob"});
        QTest::newRow("keys outside any section are kept as Settings.inf.old")
            << outside << false << u"Settings.inf.old"_s;
        QTest::newRow("an earlier Settings.inf.old stays, the new copy goes beside it")
            << outside << true << u"Settings.inf.old.2"_s;
        QTest::newRow("a header and blank lines hold nothing to keep")
            << fileOf({"", "[settings]", "  "}) << false << QString();
    }
    void settingsWithoutKeysAreKeptAside()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, earlierCopy);
        QFETCH(QString, keptAs);
        writeSettings(file);
        const QByteArray earlier("an earlier copy");
        if (earlierCopy) {
            QFile old(path(u"Settings.inf.old"_s));
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(earlier) == earlier.size());
        }
        auto form = started();
        QVERIFY(settingsBytes().startsWith("[settings]\r\n"));
        if (keptAs.isEmpty()) {
            QVERIFY(!QFile::exists(path(u"Settings.inf.old"_s)));
            QVERIFY(!form->txtStatus->Text().contains(u"Settings.inf.old"_s));
            return;
        }
        QFile kept(path(keptAs));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), file);
        QCOMPARE(kept.permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY2(form->txtStatus->Text().contains(path(keptAs)),
                 qPrintable(form->txtStatus->Text()));
        if (earlierCopy) {
            QFile old(path(u"Settings.inf.old"_s));
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), earlier);
        }
    }

    // QSaveFile's temporary, left by a kill in the middle of a save, goes at the next start;
    // nothing else of that folder does.
    void saveCutShortIsRemovedAtStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("removed");
        QTest::newRow("cut in the middle of its lines")
            << u"Settings.inf.eVsCTL"_s << QByteArray("[settings]\r\nPOP3Mail") << true;
        QTest::newRow("Settings.inf.old stays")
            << u"Settings.inf.old"_s << QByteArray("[settings]\r\n") << false;
        QTest::newRow("six letters, but no settings in it")
            << u"Settings.inf.Backup"_s << QByteArray("notes of mine") << false;
    }
    void saveCutShortIsRemovedAtStart()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, removed);
        writeSettings(defaults);
        QFile left(path(name));
        QVERIFY(left.open(QIODevice::WriteOnly) && left.write(content) == content.size());
        left.close();
        auto form = started();
        QCOMPARE(!QFile::exists(path(name)), removed);
    }

    // A save that fails, or is refused, is told in each check's log and by the icon's tooltip.
    void saveTroubleIsTold_data()
    {
        QTest::addColumn<bool>("unreadableAtStart"); // else it cannot be written later on
        QTest::addColumn<QString>("line");
        QTest::newRow("unreadable at start, so never saved over")
            << true << u"ไม่ได้บันทึกการตั้งค่า เพราะอ่านไฟล์ "_s;
        QTest::newRow("cannot be written") << false << u"บันทึกการตั้งค่าไม่ได้ : "_s;
    }
    void saveTroubleIsTold()
    {
        QFETCH(bool, unreadableAtStart);
        QFETCH(QString, line);
        const QString settings = path(u"Settings.inf"_s);
        if (unreadableAtStart)
            QVERIFY(QDir().mkdir(settings));
        else
            writeSettings(defaults);
        auto form = started();
        if (!unreadableAtStart) {
            QVERIFY(QFile::remove(settings));
            QVERIFY(QDir().mkdir(settings));
        }
        form->txtPOP3Server->setText(u"mail.example"_s);
        form->txtUserName->setText(u"somchai"_s);
        form->txtPassword->setText(u"pw"_s);
        form->cmdCheckNow_Click();
        form->chkOpenSound->setValue(1);

        // The check's log, emptied at its start, says it once, however many saves fail.
        const QStringList lines = form->txtStatus->Text().split(u"\r\n"_s, Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().startsWith(line) && lines.first().contains(settings),
                 qPrintable(lines.first()));
        const QString caption = form->windowTitle();
        QCOMPARE(form->trayIcon()->icon().toolTip(), caption + u"\n"_s + u"ขณะนี้ไม่ได้บันทึกการตั้งค่า"_s);

        if (!unreadableAtStart) {
            QVERIFY(QDir().rmdir(settings));
            form->chkOpenSound->setValue(0);
            QVERIFY(settingsBytes().contains("enablesound=0\r\n"));
            QCOMPARE(form->trayIcon()->icon().toolTip(), caption);
        }
    }

    void everyOptionChangeIsSaved_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QByteArray>("ticked");
        QTest::newRow("chkEvery") << u"chkEvery"_s << QByteArray("checkeveryon=1");
        QTest::newRow("chkMemPass") << u"chkMemPass"_s << QByteArray("mempass=1");
        QTest::newRow("chkOpenSound") << u"chkOpenSound"_s << QByteArray("enablesound=1");
        QTest::newRow("chkLoadStart") << u"chkLoadStart"_s << QByteArray("launchatstartup=1");
    }
    void everyOptionChangeIsSaved()
    {
        QFETCH(QString, box);
        QFETCH(QByteArray, ticked);
        writeSettings(defaults);
        auto form = started();
        auto *check = form->findChild<CheckBox *>(box);
        QVERIFY(check);
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
        QCOMPARE(check->Value(), 1);
        QVERIFY2(settingsBytes().contains(ticked + "\r\n"), settingsBytes().constData());
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
        QCOMPARE(check->Value(), 0);
        QByteArray cleared = ticked;
        cleared.back() = '0';
        QVERIFY2(settingsBytes().contains(cleared + "\r\n"), settingsBytes().constData());
    }

    void typedIntervalsAreValidatedAndSaved()
    {
        writeSettings(defaults);
        auto form = started();
        form->SSTab1->setCurrentIndex(1);
        form->txtMinutes->selectAll();
        QTest::keyClicks(form->txtMinutes, u"30"_s);
        QCOMPARE(form->txtMinutes->text(), u"30"_s);
        QVERIFY(settingsBytes().contains("checkeverymin=30\r\n"));
        // A third typed character is refused.
        QTest::keyClicks(form->txtMinutes, u"5"_s);
        QCOMPARE(form->txtMinutes->text(), u"30"_s);
        QVERIFY(prompt.shown.isEmpty());
    }

    void passwordShowsStars()
    {
        auto form = started();
        QTest::keyClicks(form->txtPassword, u"pa ss!"_s);
        QCOMPARE(form->txtPassword->text(), u"pa ss!"_s);
        QCOMPARE(form->txtPassword->displayText(), u"******"_s);
        QCOMPARE(form->txtPassword->echoMode(), QLineEdit::Password);
    }

    void reportBoxesAreLockedAndSkipped()
    {
        auto form = started();
        for (QLineEdit *box :
             {form->Text1, form->txtNewEmail, form->Text3, form->txtFrom, form->txtNewMail,
              form->Text2, form->txtLastCheck, form->txtMailSize}) {
            QVERIFY2(box->isReadOnly(), qPrintable(box->objectName()));
            QCOMPARE(box->focusPolicy(), Qt::NoFocus);
        }
        QVERIFY(!form->txtStatus->isReadOnly());
        QVERIFY(form->txtStatus->focusPolicy() & Qt::TabFocus);
        QCOMPARE(form->size(), QSize(336, 206));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(
            !(form->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        QVERIFY(form->Image1->y() >= form->height() && form->Image2->y() >= form->height());
    }

    void windowCommands()
    {
        writeSettings(defaults);
        auto form = started();
        QVERIFY(form->isVisible());
        form->labHide_Click();
        QVERIFY(!form->isVisible());
        form->MenuOption_Click();
        QVERIFY(form->isVisible());
        QCOMPARE(form->SSTab1->currentIndex(), 1);
        form->SSTab1->setCurrentIndex(0);
        form->hide();
        form->MenuShow_Click();
        QVERIFY(form->isVisible());
        QCOMPARE(form->SSTab1->currentIndex(), 0);

        form->txtPOP3Server->setText(u" mail.example "_s);
        form->labOpenMail_Click();
        QCOMPARE(urlOpener.opened, (QStringList{u"http:// mail.example "_s}));
    }

    void closeBoxOnlyHides()
    {
        writeSettings(defaults);
        auto form = started();
        QFile::remove(path(u"Settings.inf"_s));
        QVERIFY(!form->close());
        QVERIFY(!form->isVisible());
        QVERIFY(QFile::exists(path(u"Settings.inf"_s)));
        QVERIFY(form->Timer1->isActive());
        QVERIFY(form->trayIcon()->icon().isVisible());
    }

    void queryUnloadForEachReason_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("from the window's frame") << 0 << true;
        QTest::newRow("code") << 1 << false;
        QTest::newRow("session ending") << 2 << false;
    }
    void queryUnloadForEachReason()
    {
        QFETCH(int, mode);
        QFETCH(bool, cancel);
        writeSettings(defaults);
        auto form = started();
        QFile::remove(path(u"Settings.inf"_s));
        QCOMPARE(form->Form_QueryUnload(mode), cancel);
        QVERIFY(!form->isVisible());
        QCOMPARE(settingsBytes(), defaults);
    }

    // The session manager asks for the data to be saved both when the session ends and when it
    // only saves its state: a close from the frame later on only hides, and the session's end (the
    // application's quit) still ends the program.
    void closesAfterASessionRequest_data()
    {
        QTest::addColumn<bool>("quit"); // else a close from the window's frame
        QTest::newRow("the session went on: the close box only hides") << false;
        QTest::newRow("the session ends: the quit goes through") << true;
    }
    void closesAfterASessionRequest()
    {
        QFETCH(bool, quit);
        writeSettings(defaults);
        auto form = started();
        QFile::remove(path(u"Settings.inf"_s));
        form->commitDataRequested();
        QVERIFY(!form->isVisible());
        QCOMPARE(settingsBytes(), defaults);
        form->show();
        QFile::remove(path(u"Settings.inf"_s));
        if (quit) {
            // A quit that a window refuses would leave the loop running: end it after a while.
            QTimer refused;
            refused.setSingleShot(true);
            connect(&refused, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
            refused.start(5000);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            QCOMPARE(QApplication::exec(), 0);
        } else {
            QVERIFY(!form->close());
        }
        QVERIFY(!form->isVisible());
        QCOMPARE(settingsBytes(), defaults);
    }

    void trayGestures_data()
    {
        using Gesture = TrayIcon::Gesture;
        QTest::addColumn<int>("reason");
        QTest::addColumn<TrayIcon::Host>("host");
        QTest::addColumn<std::optional<Gesture>>("gesture");
        const auto xembed = TrayIcon::Host::XEmbed;
        const auto sni = TrayIcon::Host::StatusNotifierItem;
        const std::optional<Gesture> none;
        QTest::newRow("double-click")
            << int(QSystemTrayIcon::DoubleClick) << xembed << std::optional(Gesture::ToggleWindow);
        QTest::newRow("context") << int(QSystemTrayIcon::Context) << xembed
                                 << std::optional(Gesture::OpenMenu);
        QTest::newRow("single click") << int(QSystemTrayIcon::Trigger) << xembed << none;
        QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << xembed << none;
        QTest::newRow("unknown") << int(QSystemTrayIcon::Unknown) << xembed << none;
        QTest::newRow("Activate") << int(QSystemTrayIcon::Trigger) << sni
                                  << std::optional(Gesture::ToggleWindow);
        QTest::newRow("ContextMenu")
            << int(QSystemTrayIcon::Context) << sni << std::optional(Gesture::OpenMenu);
        QTest::newRow("SecondaryActivate") << int(QSystemTrayIcon::MiddleClick) << sni << none;
    }
    void trayGestures()
    {
        QFETCH(int, reason);
        QFETCH(TrayIcon::Host, host);
        QFETCH(std::optional<TrayIcon::Gesture>, gesture);
        QCOMPARE(TrayIcon::gestureFor(QSystemTrayIcon::ActivationReason(reason), host), gesture);
    }

    void doubleClickTogglesTheWindow()
    {
        writeSettings(defaults);
        auto form = started();
        form->txtStatus->setText(u"one\r\ntwo\r\n"_s);
        QTextCursor start = form->txtStatus->textCursor();
        start.setPosition(0);
        form->txtStatus->setTextCursor(start);
        form->trayGesture(TrayIcon::Gesture::ToggleWindow);
        QVERIFY(!form->isVisible());
        form->trayGesture(TrayIcon::Gesture::ToggleWindow);
        QVERIFY(form->isVisible());
        QCOMPARE(form->txtStatus->textCursor().position(), form->txtStatus->toPlainText().size());
        QVERIFY(!form->MenuFile->isVisible());
        form->trayGesture(TrayIcon::Gesture::OpenMenu);
        QTRY_VERIFY(form->MenuFile->isVisible());
        form->MenuFile->hide();
    }

    void menuExitSavesAndRemovesTheIcon()
    {
        writeSettings(defaults);
        auto form = started();
        QVERIFY(form->trayIcon()->icon().isVisible());
        // A setting that changed since the last save.
        form->watcher().settings().checkEveryOn = 1;
        form->MenuExit_Click();
        QVERIFY(!form->trayIcon()->icon().isVisible());
        QVERIFY(settingsBytes().contains("checkeveryon=1\r\n"));
        QVERIFY(socket->sent.isEmpty());
    }

    void checkButtonClearsTheReport()
    {
        writeSettings(defaults);
        auto form = started();
        form->txtUserName->setText(u"somchai"_s);
        form->txtPassword->setText(u"pw"_s);
        form->txtPOP3Server->setText(u"mail.example"_s);
        form->txtLastCheck->setText(u"x"_s);
        form->txtNewMail->setText(u"3"_s);
        form->txtMailSize->setText(u"y"_s);
        form->txtNewEmail->setText(u"2"_s);
        form->fraReport->show();
        form->ProgressBar1->setValue(100);
        QTest::mouseClick(form->cmdCheckNow, Qt::LeftButton);
        QCOMPARE(form->txtLastCheck->text(), QString());
        QCOMPARE(form->txtNewMail->text(), QString());
        QCOMPARE(form->txtMailSize->text(), QString());
        QCOMPARE(form->txtNewEmail->text(), u"2"_s);
        QCOMPARE(form->ProgressBar1->value(), 0);
        QVERIFY(!form->fraStatus->isHidden() && form->fraReport->isHidden());
        QCOMPARE(socket->connects, (QStringList{u"mail.example:110"_s}));
    }

    void newMailIsAnnouncedAfterTheSound_data()
    {
        QTest::addColumn<int>("soundBox");
        QTest::addColumn<SoundOutput::PlayResult>("soundResult");
        QTest::addColumn<QStringList>("soundCalls");
        const auto ended = SoundOutput::PlayResult::Ended;
        QTest::newRow("sound on") << 1 << ended << QStringList{u"stop"_s, u"play 4"_s};
        QTest::newRow("sound off") << 0 << ended << QStringList{};
        QTest::newRow("a device that never drains is given up, and the log says so")
            << 1 << SoundOutput::PlayResult::DeviceGivenUp << QStringList{u"stop"_s, u"play 4"_s};
    }
    void newMailIsAnnouncedAfterTheSound()
    {
        QFETCH(int, soundBox);
        QFETCH(SoundOutput::PlayResult, soundResult);
        QFETCH(QStringList, soundCalls);
        sound.result = soundResult;
        QFile wav(path(u"mail.wav"_s));
        QVERIFY(wav.open(QIODevice::WriteOnly));
        wav.write("RIFF");
        wav.close();
        writeSettings(fileOf({"[settings]", "POP3MailServer=mail.example", "loginname=somchai",
                              "mempass=1", "loginpass=" + scrambled("pw"), "checkeverymin=15",
                              "enablesound=" + QByteArray::number(soundBox), "totaloldemail=1",
                              "security=none"}));
        auto form = started();
        // The window is loaded before the sound, but it waits below the screen until the sound
        // ends.
        bool popupOnScreenDuringSound = false;
        sound.onPlay = [&] {
            const QWidget *popup = form->popUp().window();
            popupOnScreenDuringSound = popup && popup->isVisible() &&
                                       popup->geometry().intersects(popup->screen()->geometry());
        };
        for (const QString &line :
             {u"+OK ready\r\n"_s, u"+OK\r\n"_s, u"+OK logged in\r\n"_s, u"+OK 3 12345\r\n"_s})
            socket->arrive(line);
        // A server without UIDL and TOP.
        for (int refused = 0; refused < 3; ++refused)
            socket->arrive(u"-ERR\r\n"_s);
        QCOMPARE(socket->sent,
                 (QStringList{u"USER somchai\r\n"_s, u"PASS pw\r\n"_s, u"STAT\r\n"_s,
                              u"UIDL 3\r\n"_s, u"UIDL\r\n"_s, u"TOP 3 0\r\n"_s, u"QUIT\r\n"_s}));
        // The window takes the report once the socket's handler has returned.
        QTRY_COMPARE(form->txtNewMail->text(), u"3"_s);
        QCOMPARE(form->txtNewEmail->text(), u"2"_s);
        QCOMPARE(form->txtMailSize->text(), u"อีเมลล์ทั้งหมดมีขนาด 12 กิโลไบต์"_s);
        QVERIFY(form->txtLastCheck->text().startsWith(u"เช็คเมื่อ "_s));
        QVERIFY(!form->fraReport->isHidden() && form->fraStatus->isHidden());
        QCOMPARE(form->ProgressBar1->value(), 100);
        QVERIFY(settingsBytes().contains("totaloldemail=3\r\n"));
        QVERIFY(form->popUp().window());
        QVERIFY(form->popUp().window()->isVisible());
        QCOMPARE(sound.calls, soundCalls);
        QCOMPARE(form->txtStatus->Text().contains(Wording::soundDeviceGivenUp()),
                 soundResult == SoundOutput::PlayResult::DeviceGivenUp);
        QVERIFY(!popupOnScreenDuringSound);
        QVERIFY(!form->txtStatus->Text().contains(u"pw\r\n"_s));
    }

    // The security list sits in free space, follows the drawn controls in the tab order, saves
    // on change, and a change forgets what was learnt about the server.
    void securityChoice()
    {
        writeSettings(fileOf({"[settings]", "POP3MailServer=mail.example", "checkeverymin=15",
                              "totaloldemail=0", "security=starttls", "tlsserver=mail.example"}));
        auto form = started();
        QCOMPARE(form->cboSecurity->currentIndex(), 2);
        QCOMPARE(form->settings().securityMemory.tlsServer, u"mail.example"_s);
        QVERIFY(form->txtPOP3Server->nextInFocusChain() == form->cboSecurity);
        for (const QWidget *drawn :
             form->fraOption->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (drawn == form->cboSecurity || drawn == form->labSecurity)
                continue;
            QVERIFY2(!drawn->geometry().intersects(form->cboSecurity->geometry()) &&
                         !drawn->geometry().intersects(form->labSecurity->geometry()),
                     qPrintable(drawn->objectName()));
        }

        form->cboSecurity->setCurrentIndex(1);
        QVERIFY2(settingsBytes().endsWith("totaloldemail=0\r\nsecurity=tls\r\n"),
                 settingsBytes().constData());
        QCOMPARE(form->settings().securityMemory.tlsServer, QString());
        form->cboSecurity->setCurrentIndex(0);
        QVERIFY2(settingsBytes().endsWith("totaloldemail=0\r\n"), settingsBytes().constData());
    }

    void timerStartsChecksFromTheTray()
    {
        writeSettings(fileOf({"[settings]", "POP3MailServer=mail.example", "loginname=somchai",
                              "mempass=0", "checkeveryon=1", "checkeverymin=1"}));
        auto form = started();
        form->txtPassword->setText(u"pw"_s);
        form->hide();
        for (int tick = 0; tick < 119; ++tick)
            form->Timer1_Timer();
        QCOMPARE(socket->connects.size(), 1);
        form->Timer1_Timer();
        QCOMPARE(socket->connects.size(), 2);
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
