#include "notify/PopUp.h"
#include "notify/PopUpHost.h"
#include "platform/UrlOpener.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

class FakeUrlOpener final : public UrlOpener
{
public:
    bool open(const QString &address) override
    {
        opened.append(address);
        return succeeds;
    }
    QStringList opened;
    bool succeeds = true;
};

// Where the window stands at 96 dpi, from the screen's size in pixels (15 twips each).
QPoint expectedPosition(int topTwipsFromBottom)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int screenWidthTwips = screen.width() * 15;
    const int screenHeightTwips = screen.height() * 15;
    return screen.topLeft() + QPoint(qRound((screenWidthTwips - 3895) / 15.0),
                                     qRound((screenHeightTwips - topTwipsFromBottom) / 15.0));
}

} // namespace

// The new-mail window on the offscreen platform, driven through its owner as the main window
// drives it.
class tst_PopUp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void controlsAsDrawn_data();
    void controlsAsDrawn();
    void loadsBelowTheScreenOnTopWithoutFocus();
    void risesToItsRestingPlace();
    void acknowledgingWhileRisingClosesAtOnce();
    void openEmailOpensTheServerAndCloses_data();
    void openEmailOpensTheServerAndCloses();
    void secondAnnouncementWhileRestingChangesTextsOnly();
    void secondAnnouncementWhileRisingGoesOnRising();
    void afterUnloadTheNextOneRisesAfresh();
    void clickOutsideALinkDoesNothing();

private:
    QString m_server;
    std::unique_ptr<FakeUrlOpener> m_opener;
    std::unique_ptr<PopUpHost> m_host;
};

void tst_PopUp::initTestCase()
{
    // The pixel positions below hold at the reference resolution.
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchY(), 96.0);
}

void tst_PopUp::init()
{
    m_server = u"pop.example.org"_s;
    m_opener = std::make_unique<FakeUrlOpener>();
    m_host = std::make_unique<PopUpHost>([this] { return m_server; }, *m_opener,
                                         QCursor(Qt::PointingHandCursor));
}

void tst_PopUp::cleanup()
{
    m_host.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_PopUp::controlsAsDrawn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("link");

    QTest::newRow("Image1") << u"Image1"_s << QRect(5, 0, 32, 32) << QString() << QString()
                            << false;
    QTest::newRow("Mail") << u"Mail"_s << QRect(40, 8, 207, 17) << QString()
                          << u"Total New E-mail"_s << false;
    QTest::newRow("email") << u"email"_s << QRect(7, 37, 245, 17) << QString() << QString()
                           << false;
    QTest::newRow("labMailServer") << u"labMailServer"_s << QRect(5, 68, 73, 17) << u"เปิดอีเมลล์"_s
                                   << u" Open E-mail."_s << true;
    QTest::newRow("LaOK") << u"LaOK"_s << QRect(213, 68, 49, 17) << u"รับทราบ"_s
                          << u" Acknowledge. "_s << true;
}

void tst_PopUp::controlsAsDrawn()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(bool, link);

    m_host->setTexts(QString(), QString(), QString());
    PopUp *popUp = m_host->window();
    QVERIFY(popUp);
    QCOMPARE(popUp->size(), QSize(257, 89));
    auto *control = popUp->findChild<QLabel *>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->text(), text);
    QCOMPARE(control->toolTip(), toolTip);
    QCOMPARE(control->cursor().shape(), link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QCOMPARE(control->font().underline(), link);
    if (name != "Image1"_L1) {
        QCOMPARE(control->palette().color(QPalette::WindowText), QColor(64, 64, 64));
        // The labels' own Thai-capable face, not the window's.
        QVERIFY2(QFontInfo(control->font()).family().contains(u"Loma"_s) ||
                     QFontInfo(control->font()).family().contains(u"Garuda"_s),
                 qPrintable(QFontInfo(control->font()).family()));
    }
}

void tst_PopUp::loadsBelowTheScreenOnTopWithoutFocus()
{
    m_host->setTexts(u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s, u"ถึงคุณ somchai ครับ"_s,
                     u"Alert New E-Mail (Inbox)"_s);
    PopUp *popUp = m_host->window();
    QVERIFY(popUp);
    // Loading shows it at once, just below the screen, 40 twips from the right edge.
    QVERIFY(popUp->isVisible());
    QVERIFY(popUp->SlidingUp());
    QCOMPARE(popUp->pos(), expectedPosition(-10));
    const Qt::WindowFlags flags = popUp->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    QVERIFY(popUp->testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(popUp->windowTitle(), u"Alert New E-Mail (Inbox)"_s);
    QCOMPARE(popUp->findChild<QLabel *>(u"Mail"_s)->text(), u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s);
    QCOMPARE(popUp->findChild<QLabel *>(u"email"_s)->text(), u"ถึงคุณ somchai ครับ"_s);
    m_host->show();
    QVERIFY(!popUp->isActiveWindow());
    QCOMPARE(QApplication::focusWidget(), nullptr);
}

void tst_PopUp::risesToItsRestingPlace()
{
    m_host->setTexts(u"a"_s, u"b"_s, u"c"_s);
    m_host->show();
    QPointer<PopUp> popUp = m_host->window();
    QTRY_VERIFY_WITH_TIMEOUT(!popUp->SlidingUp(), 10000);
    // The bottom edge rests 455 twips above the bottom of the screen.
    QCOMPARE(popUp->pos(), expectedPosition(1790));
    QVERIFY(popUp->isVisible());
}

void tst_PopUp::acknowledgingWhileRisingClosesAtOnce()
{
    m_host->setTexts(u"a"_s, u"b"_s, u"c"_s);
    m_host->show();
    QPointer<PopUp> popUp = m_host->window();
    QVERIFY(popUp->SlidingUp());
    QSignalSpy unloaded(popUp.data(), &PopUp::unloaded);
    QTest::mouseClick(popUp->findChild<QLabel *>(u"LaOK"_s), Qt::LeftButton);
    QCOMPARE(unloaded.size(), 1);
    QVERIFY(!popUp->isVisible());
    QCOMPARE(m_host->window(), nullptr);
    QVERIFY(m_opener->opened.isEmpty());
    QTRY_VERIFY(popUp.isNull());
}

void tst_PopUp::openEmailOpensTheServerAndCloses_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("openSucceeds");
    QTest::addColumn<QString>("expectedAddress");

    QTest::newRow("server name") << u"pop.example.org"_s << true << u"http://pop.example.org"_s;
    QTest::newRow("open fails") << u"pop.example.org"_s << false << u"http://pop.example.org"_s;
    QTest::newRow("empty server name") << QString() << true << u"http://"_s;
    QTest::newRow("blanks kept") << u" mail.example.org "_s << false
                                 << u"http:// mail.example.org "_s;
    QTest::newRow("Thai server name") << u"เมล.ไทย"_s << true << u"http://เมล.ไทย"_s;
}

void tst_PopUp::openEmailOpensTheServerAndCloses()
{
    QFETCH(QString, server);
    QFETCH(bool, openSucceeds);
    QFETCH(QString, expectedAddress);

    m_opener->succeeds = openSucceeds;
    m_host->setTexts(u"a"_s, u"b"_s, u"c"_s);
    m_host->show();
    QPointer<PopUp> popUp = m_host->window();
    // The server is read when the link is clicked, not when the window was loaded.
    m_server = server;
    QTest::mouseClick(popUp->findChild<QLabel *>(u"labMailServer"_s), Qt::LeftButton);
    QCOMPARE(m_opener->opened, QStringList{expectedAddress});
    QVERIFY(!popUp->isVisible());
    QCOMPARE(m_host->window(), nullptr);
    QTRY_VERIFY(popUp.isNull());
}

void tst_PopUp::secondAnnouncementWhileRestingChangesTextsOnly()
{
    m_host->setTexts(u"มีอีเมลล์ใหม่ 1 [1] ฉบับ "_s, u"ถึงคุณ a ครับ"_s, u"Alert New E-Mail (Inbox)"_s);
    m_host->show();
    QPointer<PopUp> popUp = m_host->window();
    QTRY_VERIFY_WITH_TIMEOUT(!popUp->SlidingUp(), 10000);
    const QPoint resting = popUp->pos();

    m_host->setTexts(u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s, u"ถึงคุณ b ครับ"_s, u"Alert New E-Mail (Inbox)"_s);
    m_host->show();
    QCOMPARE(m_host->window(), popUp.data());
    QCOMPARE(popUp->pos(), resting);
    QVERIFY(!popUp->SlidingUp());
    QVERIFY(popUp->isVisible());
    QCOMPARE(popUp->findChild<QLabel *>(u"Mail"_s)->text(), u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s);
    QCOMPARE(popUp->findChild<QLabel *>(u"email"_s)->text(), u"ถึงคุณ b ครับ"_s);
    // Later events do not start a rise either.
    QCoreApplication::processEvents();
    QCOMPARE(popUp->pos(), resting);
}

void tst_PopUp::secondAnnouncementWhileRisingGoesOnRising()
{
    m_host->setTexts(u"a"_s, u"b"_s, u"c"_s);
    m_host->show();
    QPointer<PopUp> popUp = m_host->window();
    const int below = popUp->y();
    QTRY_VERIFY(popUp->y() < below);
    QVERIFY(popUp->SlidingUp());
    const QPoint midway = popUp->pos();

    m_host->setTexts(u"d"_s, u"e"_s, u"f"_s);
    m_host->show();
    QCOMPARE(m_host->window(), popUp.data());
    QCOMPARE(popUp->pos(), midway); // not sent back below the screen
    QTRY_VERIFY_WITH_TIMEOUT(!popUp->SlidingUp(), 10000);
    QCOMPARE(popUp->pos(), expectedPosition(1790));
    QCOMPARE(popUp->windowTitle(), u"f"_s);
}

void tst_PopUp::afterUnloadTheNextOneRisesAfresh()
{
    m_host->setTexts(u"a"_s, u"b"_s, u"c"_s);
    m_host->show();
    QPointer<PopUp> first = m_host->window();
    QTRY_VERIFY_WITH_TIMEOUT(!first->SlidingUp(), 10000);
    QTest::mouseClick(first->findChild<QLabel *>(u"LaOK"_s), Qt::LeftButton);
    QCOMPARE(m_host->window(), nullptr);

    // At once, before the old window is deleted: the next announcement loads a new one.
    m_host->setTexts(u"x"_s, u"y"_s, u"z"_s);
    PopUp *second = m_host->window();
    QVERIFY(second);
    QVERIFY(second != first.data());
    QVERIFY(second->SlidingUp());
    QCOMPARE(second->pos(), expectedPosition(-10));
    QCOMPARE(second->findChild<QLabel *>(u"Mail"_s)->text(), u"x"_s);
    QTRY_VERIFY(first.isNull());
    QCOMPARE(m_host->window(), second);
}

void tst_PopUp::clickOutsideALinkDoesNothing()
{
    m_host->setTexts(u"a"_s, u"b"_s, u"c"_s);
    m_host->show();
    PopUp *popUp = m_host->window();
    QTest::mouseClick(popUp->findChild<QLabel *>(u"Mail"_s), Qt::LeftButton);
    QTest::mouseClick(popUp, Qt::LeftButton, {}, QPoint(128, 60));
    // Pressed on the link but released away from it: no click.
    auto *laOK = popUp->findChild<QLabel *>(u"LaOK"_s);
    QTest::mousePress(laOK, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(laOK, Qt::LeftButton, {}, QPoint(5, 200));
    QTest::mouseClick(laOK, Qt::RightButton);
    QCOMPARE(m_host->window(), popUp);
    QVERIFY(popUp->isVisible());
    QVERIFY(m_opener->opened.isEmpty());
}

QTEST_MAIN(tst_PopUp)
#include "tst_PopUp.moc"
