// The control behaviours the window relies on beyond plain Qt widgets.
#include "app/Controls.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestControls : public QObject
{
    Q_OBJECT
private slots:
    void checkBoxStates_data()
    {
        QTest::addColumn<qint64>("state");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("value");
        QTest::newRow("clear") << qint64(0) << true << 0;
        QTest::newRow("ticked") << qint64(1) << true << 1;
        QTest::newRow("grey") << qint64(2) << true << 2;
        QTest::newRow("three is refused") << qint64(3) << false << 1;
        QTest::newRow("negative is refused") << qint64(-1) << false << 1;
    }
    void checkBoxStates()
    {
        QFETCH(qint64, state);
        QFETCH(bool, taken);
        QFETCH(int, value);
        CheckBox box(u"x"_s);
        box.setValue(1);
        QCOMPARE(box.setValue(state), taken);
        QCOMPARE(box.Value(), value);
    }

    void deferredPictureIsReadOnFirstShow()
    {
        QWidget window;
        auto *picture = new DeferredPicture(u":/images/banner.jpg"_s, &window);
        QVERIFY(picture->pixmap().isNull());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(picture->pixmap().size(), QSize(123, 240));
        window.hide();
        window.show();
        QCOMPARE(picture->pixmap().size(), QSize(123, 240));
    }

    void clicksNeverMakeGrey()
    {
        CheckBox box(u"x"_s);
        box.resize(80, 20);
        box.setValue(2);
        QSignalSpy changes(&box, &QCheckBox::stateChanged);
        const QList<int> expected{1, 0, 1};
        for (int want : expected) {
            QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(6, 10));
            QCOMPARE(box.Value(), want);
        }
        QCOMPARE(changes.size(), 3);
        // Setting the state it already has is no change.
        box.setValue(1);
        QCOMPARE(changes.size(), 3);
    }

    void typingIsLimitedButCodeIsNot()
    {
        TypedLengthLineEdit box(2);
        box.setText(u"120"_s);
        QCOMPARE(box.text(), u"120"_s);
        box.clear();
        QTest::keyClicks(&box, u"123"_s);
        QCOMPARE(box.text(), u"12"_s);
    }

    void statusTextKeepsCrLf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("one reply and the empty line after it") << u"+OK ready\r\n\r\n"_s;
        QTest::newRow("Thai lines") << u"ชื่อผู้ใช้ : somchai\r\nรหัสผ่าน : xxxxxxxxxxxx \r\n"_s;
        QTest::newRow("no final line end") << u"a\r\nb"_s;
    }
    void statusTextKeepsCrLf()
    {
        QFETCH(QString, text);
        StatusBox box;
        box.setText(text);
        QCOMPARE(box.Text(), text);
        box.appendText(u"QUIT\r\n"_s);
        QCOMPARE(box.Text(), text + u"QUIT\r\n"_s);
        QCOMPARE(box.textCursor().position(), box.toPlainText().size());
    }
};

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
