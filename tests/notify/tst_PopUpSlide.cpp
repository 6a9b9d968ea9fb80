#include "notify/PopUpSlide.h"

#include <QTest>

// The rise of the new-mail window, in twips, without a display.
class tst_PopUpSlide : public QObject
{
    Q_OBJECT

private slots:
    void loadPlacesBelowTheScreen_data();
    void loadPlacesBelowTheScreen();
    void riseEndsAtTheRestingPlace_data();
    void riseEndsAtTheRestingPlace();
    void tickAtRestMovesNothing();
    void notSlidingBeforeLoad();
};

void tst_PopUpSlide::loadPlacesBelowTheScreen_data()
{
    QTest::addColumn<int>("screenWidth");
    QTest::addColumn<int>("screenHeight");
    QTest::addColumn<int>("windowWidth");
    QTest::addColumn<int>("expectedLeft");
    QTest::addColumn<int>("expectedTop");

    QTest::newRow("1024 x 768") << 15360 << 11520 << 3855 << 15360 - 3895 << 11530;
    QTest::newRow("1920 x 1080") << 28800 << 16200 << 3855 << 24905 << 16210;
    QTest::newRow("screen narrower than the window") << 3000 << 2000 << 3855 << -895 << 2010;
}

void tst_PopUpSlide::loadPlacesBelowTheScreen()
{
    QFETCH(int, screenWidth);
    QFETCH(int, screenHeight);
    QFETCH(int, windowWidth);
    QFETCH(int, expectedLeft);
    QFETCH(int, expectedTop);

    PopUpSlide slide(screenWidth, screenHeight, windowWidth, 1335);
    slide.Load();
    QCOMPARE(slide.left(), expectedLeft);
    QCOMPARE(slide.top(), expectedTop);
    QVERIFY(slide.SlidingUp());
}

void tst_PopUpSlide::riseEndsAtTheRestingPlace_data()
{
    QTest::addColumn<int>("screenHeight");
    QTest::addColumn<int>("windowHeight");
    QTest::addColumn<int>("expectedSteps");
    QTest::addColumn<int>("expectedRestingTop");

    // Steps: the smallest n with 50 n >= window height + 440.
    QTest::newRow("768 px screen, the popup itself") << 11520 << 1335 << 36 << 9730;
    QTest::newRow("1080 px screen, the popup itself") << 16200 << 1335 << 36 << 14410;
    QTest::newRow("distance a whole number of steps") << 11520 << 1360 << 36 << 9730;
    QTest::newRow("one twip past a whole number") << 11520 << 1361 << 37 << 9680;
    QTest::newRow("one twip short of a whole number") << 11520 << 1359 << 36 << 9730;
    QTest::newRow("window of no height") << 11520 << 0 << 9 << 11080;
    QTest::newRow("window taller than the screen") << 1000 << 5000 << 109 << -4440;
}

void tst_PopUpSlide::riseEndsAtTheRestingPlace()
{
    QFETCH(int, screenHeight);
    QFETCH(int, windowHeight);
    QFETCH(int, expectedSteps);
    QFETCH(int, expectedRestingTop);

    PopUpSlide slide(15360, screenHeight, 3855, windowHeight);
    slide.Load();
    const int left = slide.left();
    int steps = 0;
    int previousTop = slide.top();
    while (slide.SlidingUp() && steps < 1000) {
        QVERIFY(slide.tick());
        ++steps;
        QCOMPARE(slide.top(), previousTop - 50);
        QCOMPARE(slide.left(), left);
        previousTop = slide.top();
    }
    QCOMPARE(steps, expectedSteps);
    QCOMPARE(slide.top(), expectedRestingTop);
    QCOMPARE(PopUpSlide::stepsToRest(windowHeight), expectedSteps);
    QCOMPARE(slide.restingTop(), expectedRestingTop);
}

void tst_PopUpSlide::tickAtRestMovesNothing()
{
    PopUpSlide slide(15360, 11520, 3855, 1335);
    slide.Load();
    while (slide.SlidingUp())
        slide.tick();
    QCOMPARE(slide.top(), 9730);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(!slide.tick());
        QCOMPARE(slide.top(), 9730);
        QCOMPARE(slide.left(), 15360 - 3895);
        QVERIFY(!slide.SlidingUp());
    }
}

void tst_PopUpSlide::notSlidingBeforeLoad()
{
    PopUpSlide slide(15360, 11520, 3855, 1335);
    QVERIFY(!slide.SlidingUp());
    QVERIFY(!slide.tick());
}

QTEST_GUILESS_MAIN(tst_PopUpSlide)
#include "tst_PopUpSlide.moc"
