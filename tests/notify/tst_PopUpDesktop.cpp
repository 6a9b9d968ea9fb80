#include "notify/PopUp.h"
#include "notify/PopUpHost.h"
#include "platform/UrlOpener.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace
{

class NoUrlOpener final : public UrlOpener
{
public:
    bool open(const QString &) override { return false; }
};

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString windowProperty(WId window, const QString &property)
{
    return run(u"xprop"_s, {u"-id"_s, QString::number(window), property});
}

// The window's place on the screen as the X server has it, whatever Qt believes.
QPoint serverPosition(WId window)
{
    const QString info = run(u"xwininfo"_s, {u"-id"_s, QString::number(window)});
    const auto field = [&info](const QString &name) {
        const qsizetype at = info.indexOf(name);
        return at < 0 ? -100000 : info.mid(at + name.size()).section(u'\n', 0, 0).trimmed().toInt();
    };
    return {field(u"Absolute upper-left X:"_s), field(u"Absolute upper-left Y:"_s)};
}

WId activeWindow()
{
    // _NET_ACTIVE_WINDOW(WINDOW): window id # 0x1200007
    const QString text = run(u"xprop"_s, {u"-root"_s, u"_NET_ACTIVE_WINDOW"_s});
    bool ok = false;
    const WId id = text.section(u'#', 1).trimmed().section(u',', 0, 0).toULongLong(&ok, 16);
    return ok ? id : 0;
}

} // namespace

// The real popup on a real X server with a real window manager (openbox), as a user sees it.
class tst_PopUpDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void staysOnTopWithoutTakingTheFocusAndRises();
};

void tst_PopUpDesktop::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), u"xcb"_s);
    QVERIFY2(run(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}).contains(u"window id"_s),
             "no window manager is running");
}

void tst_PopUpDesktop::staysOnTopWithoutTakingTheFocusAndRises()
{
    // Someone is typing in another window when the mail comes.
    QWidget other;
    other.setWindowTitle(u"Another program"_s);
    other.setStyleSheet(u"background: #f4f4f0; color: #303030;"_s);
    auto *layout = new QVBoxLayout(&other);
    layout->addWidget(new QLabel(u"Another program, which keeps the focus"_s));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // It reaches into the corner where the popup comes to rest.
    other.setGeometry(screen.width() / 3, screen.height() / 3, screen.width() * 2 / 3 - 20,
                      screen.height() * 2 / 3 - 40);
    other.show();
    other.activateWindow();
    QTRY_COMPARE_WITH_TIMEOUT(activeWindow(), other.winId(), 10000);

    NoUrlOpener opener;
    PopUpHost host([] { return u"pop.example.org"_s; }, opener);
    host.setTexts(u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s, u"ถึงคุณ somchai ครับ"_s, u"Alert New E-Mail (Inbox)"_s);
    host.show();
    QPointer<PopUp> popUp = host.window();
    QVERIFY(popUp);
    const WId id = popUp->winId();

    QTRY_VERIFY_WITH_TIMEOUT(
        windowProperty(id, u"_NET_WM_STATE"_s).contains(u"_NET_WM_STATE_ABOVE"_s), 10000);
    const QString state = windowProperty(id, u"_NET_WM_STATE"_s);
    const QString type = windowProperty(id, u"_NET_WM_WINDOW_TYPE"_s);
    QVERIFY2(state.contains(u"_NET_WM_STATE_SKIP_TASKBAR"_s) ||
                 type.contains(u"_NET_WM_WINDOW_TYPE_UTILITY"_s),
             qPrintable(state + type));
    // Refusing the focus is said to the window manager in WM_HINTS.
    QVERIFY2(windowProperty(id, u"WM_HINTS"_s).contains(u"False"_s),
             qPrintable(windowProperty(id, u"WM_HINTS"_s)));

    // Expected place: 40 twips from the right edge, the top 1790 twips above the bottom.
    const double twipsPerPixelX = 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    const double twipsPerPixelY = 1440.0 / QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    const int screenWidthTwips = qRound(screen.width() * twipsPerPixelX);
    const int screenHeightTwips = qRound(screen.height() * twipsPerPixelY);
    const QPoint resting =
        screen.topLeft() + QPoint(qRound((screenWidthTwips - 3895) / twipsPerPixelX),
                                  qRound((screenHeightTwips - 1790) / twipsPerPixelY));

    QTRY_VERIFY_WITH_TIMEOUT(!popUp->SlidingUp(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(serverPosition(id), resting, 10000);
    QCOMPARE(popUp->size(), QSize(qRound(3855 / twipsPerPixelX), qRound(1335 / twipsPerPixelY)));

    // All the while the other window kept the focus.
    QCOMPARE(activeWindow(), other.winId());
    QCOMPARE(QApplication::activeWindow(), &other);
    QVERIFY(!popUp->isActiveWindow());

    // Raised over the other window even when that one is raised after it.
    other.raise();
    QTRY_VERIFY_WITH_TIMEOUT(run(u"xprop"_s, {u"-root"_s, u"_NET_CLIENT_LIST_STACKING"_s})
                                     .section(u',', -1)
                                     .trimmed()
                                     .toULongLong(nullptr, 16) == id,
                             10000);

    QTest::mouseClick(popUp->findChild<QLabel *>(u"LaOK"_s), Qt::LeftButton);
    QTRY_VERIFY(popUp.isNull());
    QCOMPARE(host.window(), nullptr);
}

// Runs itself on a desktop of its own: a fresh Xvfb with openbox, through
// tests/support/with-desktop.
int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("LARKSPUR_ON_DESKTOP")) {
        const QByteArray script = qgetenv("LARKSPUR_SOURCE_DIR") + "/tests/support/with-desktop";
        ::setenv("LARKSPUR_ON_DESKTOP", "1", 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::vector<char *> arguments{const_cast<char *>(script.constData()),
                                      const_cast<char *>("--wm"), const_cast<char *>("--")};
        for (int i = 0; i < argc; ++i)
            arguments.push_back(argv[i]);
        arguments.push_back(nullptr);
        ::execv(script.constData(), arguments.data());
        std::perror(script.constData());
        return 1;
    }
    QApplication app(argc, argv);
    tst_PopUpDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_PopUpDesktop.moc"
