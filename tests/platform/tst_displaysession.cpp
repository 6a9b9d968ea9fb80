#include "platform/DisplaySession.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_DisplaySession : public QObject
{
    Q_OBJECT

private slots:
    void platformFor_data()
    {
        QTest::addColumn<QByteArray>("qpaPlatform");
        QTest::addColumn<QByteArray>("waylandDisplay");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("sessionType");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("X11 session: Qt's own choice") << ""_ba
                                                      << ""_ba
                                                      << ":0"_ba
                                                      << "x11"_ba
                                                      << ""_ba;
        QTest::newRow("Wayland with XWayland") << ""_ba
                                               << "wayland-0"_ba
                                               << ":0"_ba
                                               << "wayland"_ba
                                               << "xcb"_ba;
        QTest::newRow("Wayland socket, no session type") << ""_ba
                                                         << "wayland-1"_ba
                                                         << ":1"_ba
                                                         << ""_ba
                                                         << "xcb"_ba;
        QTest::newRow("Wayland session type, no socket named") << ""_ba
                                                               << ""_ba
                                                               << ":0"_ba
                                                               << "wayland"_ba
                                                               << "xcb"_ba;
        QTest::newRow("Wayland without XWayland") << ""_ba
                                                  << "wayland-0"_ba
                                                  << ""_ba
                                                  << "wayland"_ba
                                                  << "wayland"_ba;
        QTest::newRow("the user's platform wins") << "wayland"_ba
                                                  << "wayland-0"_ba
                                                  << ":0"_ba
                                                  << "wayland"_ba
                                                  << ""_ba;
        QTest::newRow("no display at all") << ""_ba
                                           << ""_ba
                                           << ""_ba
                                           << "tty"_ba
                                           << ""_ba;
    }
    void platformFor()
    {
        QFETCH(QByteArray, qpaPlatform);
        QFETCH(QByteArray, waylandDisplay);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, sessionType);
        QFETCH(QByteArray, expected);
        QCOMPARE(DisplaySession::platformFor({qpaPlatform, waylandDisplay, display, sessionType}),
                 expected);
    }

    void choiceLastsOnlyWhileTheApplicationIsMade()
    {
        qunsetenv("QT_QPA_PLATFORM");
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        qputenv("DISPLAY", ":5");
        DisplaySession::PlatformChoice choice;
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), "xcb"_ba);
        choice.restore();
        QVERIFY(!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));

        // A platform the user set is neither replaced nor taken away.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        DisplaySession::PlatformChoice untouched;
        untouched.restore();
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), "offscreen"_ba);
    }
};

QTEST_GUILESS_MAIN(tst_DisplaySession)
#include "tst_displaysession.moc"
