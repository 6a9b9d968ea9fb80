// The OAuth2 sign-in through the window on a desktop of its own (see CMakeLists.txt): the dialog
// behind "OAuth2..." filled in and closed as a user does, against tests/support/oauth2-server
// started here. The browser is the desktop's, through xdg-open, which is
// tests/support/browser/xdg-open here. The keyring is a fake one; the mail server is not reached.
#include "FakeSocket.h"
#include "WindowServices.h"
#include "app/FrmMain.h"
#include "app/OAuth2Dialog.h"
#include "platform/DesktopPrompt.h"
#include "support/FakeSecretStore.h"
#include "support/OAuth2TestServer.h"
#include "wording/Wording.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace
{

const SecretKey Refresh{u"mail.example"_s, u"somchai"_s, SecretKind::OAuth2Refresh};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The addresses xdg-open was given.
QStringList browserVisits()
{
    return QString::fromUtf8(fileBytes(qEnvironmentVariable("LARKSPUR_BROWSER_LOG")))
        .split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestFrmMainSignIn : public QObject
{
    Q_OBJECT

    OAuth2TestServer m_server;

private slots:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariable("LARKSPUR_BROWSER_LOG").isEmpty(),
                 "run with tests/support/browser first on PATH");
        QVERIFY(m_server.start({u"--user"_s, u"somchai"_s}));
    }

    void dialog_data()
    {
        QTest::addColumn<int>("flow");       // the dialog's cboFlow: 1 browser, 2 device code
        QTest::addColumn<QString>("button"); // "sign in", "ok" or "cancel"

        QTest::newRow("device code: the code told, the refresh token kept") << 2 << u"sign in"_s;
        QTest::newRow("browser: opened once, the refresh token kept") << 1 << u"sign in"_s;
        QTest::newRow("OK: the client kept, no sign-in yet") << 1 << u"ok"_s;
        QTest::newRow("cancel: nothing changes") << 2 << u"cancel"_s;
    }

    void dialog()
    {
        QFETCH(int, flow);
        QFETCH(QString, button);

        QTemporaryDir folder;
        const QString settingsPath = folder.filePath(u"Settings.inf"_s);
        {
            QFile file(settingsPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[settings]\r\nPOP3MailServer=mail.example\r\nloginname=somchai\r\n"
                       "mempass=0\r\ncheckeverymin=15\r\nsecurity=none\r\n");
        }
        RecordingServices fakes;
        DesktopUrlOpener browser;
        const qsizetype visits = browserVisits().size();
        FakeSocket socket;
        FakeSecretStore keyring;
        FrmMainServices services = fakes.forFolder(folder.path());
        services.urlOpener = &browser;
        services.socket = &socket;
        services.secretStore = &keyring;
        FrmMain form(services);
        form.Form_Load();
        const QByteArray before = fileBytes(settingsPath);

        // The dialog is modal: it is filled in from the event loop that its exec() runs.
        bool filled = false;
        QTimer fill;
        fill.setInterval(10);
        connect(&fill, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<OAuth2Dialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            fill.stop();
            dialog->findChild<QComboBox *>(u"cboProvider"_s)->setCurrentIndex(2);
            dialog->findChild<QLineEdit *>(u"txtClientId"_s)->setText(u" larkspur-test "_s);
            dialog->findChild<QLineEdit *>(u"txtAuthUrl"_s)
                ->setText(m_server.url() + u"/authorize"_s);
            dialog->findChild<QLineEdit *>(u"txtTokenUrl"_s)->setText(m_server.url() + u"/token"_s);
            dialog->findChild<QLineEdit *>(u"txtDeviceUrl"_s)
                ->setText(m_server.url() + u"/device"_s);
            dialog->findChild<QLineEdit *>(u"txtScope"_s)->setText(u"mail"_s);
            dialog->findChild<QComboBox *>(u"cboFlow"_s)->setCurrentIndex(flow);
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            if (button == u"sign in"_s)
                dialog->findChild<QPushButton *>(u"cmdSignInNow"_s)->click();
            else
                buttons->button(button == u"ok"_s ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                    ->click();
            filled = true;
        });
        fill.start();
        form.cmdSignIn->click();
        QVERIFY(filled);

        const QByteArray after = fileBytes(settingsPath);
        if (button == u"cancel"_s) {
            QCOMPARE(after, before);
            QCOMPARE(form.cboSignIn->currentIndex(), 0);
            QVERIFY(form.txtPassword->isEnabled());
            QCOMPARE(keyring.storedCount(), 0);
            return;
        }
        // What the dialog was given is saved, trimmed, whatever the button.
        QVERIFY2(after.contains("oauth2provider=custom\r\noauth2clientid=larkspur-test\r\n"),
                 after.constData());
        QVERIFY2(after.contains("oauth2flow=" + QByteArray(flow == 1 ? "loopback" : "device")),
                 after.constData());
        const bool signIn = button == u"sign in"_s;
        QCOMPARE(after.contains("auth=oauth2\r\n"), signIn);
        QCOMPARE(form.cboSignIn->currentIndex(), signIn ? 1 : 0);
        QCOMPARE(form.txtPassword->isEnabled(), !signIn);
        const bool browserSignIn = signIn && flow == 1;
        QCOMPARE(form.txtStatus->Text().contains(Wording::oauth2BrowserSignInStarted()),
                 browserSignIn);
        if (!signIn)
            return;
        QTRY_VERIFY_WITH_TIMEOUT(keyring.stored(Refresh).has_value(), 20'000);
        QVERIFY(!keyring.stored(Refresh)->isEmpty());
        const QStringList visited = browserVisits().mid(visits);
        QCOMPARE(visited.size(), browserSignIn ? 1 : 0);
        if (browserSignIn) {
            QVERIFY2(visited[0].startsWith(m_server.url() + u"/authorize?"_s),
                     qPrintable(visited[0]));
            QVERIFY(fakes.prompt.shown.isEmpty());
        } else {
            QCOMPARE(fakes.prompt.shown.size(), 1);
            QVERIFY2(fakes.prompt.shown[0].text.contains(m_server.url()),
                     qPrintable(fakes.prompt.shown[0].text));
        }
    }
};

QTEST_MAIN(TestFrmMainSignIn)
#include "tst_frmmain_signin.moc"
