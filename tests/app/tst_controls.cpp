// The control behaviours the window relies on beyond plain Qt widgets.
#include "app/Controls.h"
#include "app/Pictures.h"
#include "app/ThaiFonts.h"
#include "support/MappedFiles.h"

#include <QPainterPath>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextCursor>

using namespace Qt::StringLiterals;

class TestControls : public QObject
{
    Q_OBJECT
private slots:
    // First, before any other test reads a picture in a way that loads the image plugins.
    void pngPicturesLoadNoImagePlugin()
    {
        QCOMPARE(pngPicture(u":/images/envelope-plain.png"_s).size(), QSize(16, 16));
        QCOMPARE(pngPicture(u":/cursors/hand.png"_s).isNull(), false);
        QVERIFY(pngPicture(u":/images/no-such-picture.png"_s).isNull());
        QVERIFY2(!isMapped("/imageformats/"), "an image plugin was loaded");
        // The check itself can see a plugin once one is loaded.
        QVERIFY(!QPixmap(u":/images/banner.jpg"_s).isNull());
        QVERIFY(isMapped("/imageformats/"));
    }

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

    // Flat: a plain box of one-pixel lines in one colour, white inside, the tick drawn in it.
    void checkBoxIsFlat_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("clear") << 0;
        QTest::newRow("ticked") << 1;
        QTest::newRow("grey") << 2;
    }
    void checkBoxIsFlat()
    {
        QFETCH(int, state);
        CheckBox box(u"จำรหัสผ่าน"_s);
        box.resize(70, 13);
        box.setValue(state);
        const QImage picture = box.grab().toImage();
        QStyleOptionButton option;
        option.initFrom(&box);
        const QRect square =
            box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box);
        QCOMPARE(square.size(), QSize(13, 13));
        const auto ring = [&](int inset) {
            const QRect r = square.adjusted(inset, inset, -inset, -inset);
            QSet<QRgb> colours;
            for (int x = r.left(); x <= r.right(); ++x)
                colours << picture.pixel(x, r.top()) << picture.pixel(x, r.bottom());
            for (int y = r.top(); y <= r.bottom(); ++y)
                colours << picture.pixel(r.left(), y) << picture.pixel(r.right(), y);
            return colours;
        };
        QCOMPARE(ring(0).size(), 1);
        QVERIFY(ring(0) != QSet<QRgb>{qRgb(255, 255, 255)});
        QCOMPARE(ring(1), QSet<QRgb>{qRgb(255, 255, 255)});
        int inked = 0;
        for (int y = square.top() + 2; y <= square.bottom() - 2; ++y)
            for (int x = square.left() + 2; x <= square.right() - 2; ++x)
                inked += picture.pixel(x, y) != qRgb(255, 255, 255);
        QCOMPARE(inked > 0, state != 0);
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

    // The password box hides its text behind stars as Windows does, also once drawn as a box.
    void passwordShowsStarsInsideItsBox()
    {
        PasswordLineEdit box;
        drawAsBox(&box, QPalette::Base, 1, true);
        QCOMPARE(box.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, &box),
                 int(u'*'));
        QCOMPARE(box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &box), 1);
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
        box.moveCaretToEnd();
        QCOMPARE(box.textCursor().position(), box.toPlainText().size());
    }

    // An append must leave the log as replacing it by its own text and the piece would, whatever
    // the pieces hold: a server's reply may carry a lone CR or split a line end across two.
    void appendingIsReplacingByTextAndPiece_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("into an empty log") << QString() << QStringList{u"+OK\r\n"_s, u"\r\n"_s};
        QTest::newRow("after text with no line end")
            << u"a"_s << QStringList{u"b\r\n"_s, u"c"_s, u"d\r\n"_s};
        QTest::newRow("a line end split across two appends")
            << u"+OK ready\r"_s << QStringList{u"\nUSER x\r"_s, u"\n"_s};
        QTest::newRow("a lone CR and a lone LF")
            << u"x\r\n"_s << QStringList{u"a\rb\r\n"_s, u"c\nd"_s};
        QTest::newRow("Thai and an empty piece")
            << u"รับข้อมูล\r\n"_s << QStringList{QString(), u"เรียบร้อย (ออกจากระบบ)\r\n"_s};
    }
    void appendingIsReplacingByTextAndPiece()
    {
        QFETCH(QString, start);
        QFETCH(QStringList, pieces);
        StatusBox appended;
        StatusBox replaced;
        appended.setText(start);
        replaced.setText(start);
        for (const QString &piece : pieces) {
            appended.appendText(piece);
            replaced.setText(replaced.Text() + piece);
            QCOMPARE(appended.Text(), replaced.Text());
            QCOMPARE(appended.document()->blockCount(), replaced.document()->blockCount());
        }
        // The log keeps no undo steps of its own writing, however many lines a day brings.
        QVERIFY(!appended.document()->isUndoAvailable());
    }

    // Written while the window is in the tray, the log must still show its newest line once the
    // window is shown, wherever the user had left the caret.
    void newestLineIsInViewOnceShown_data()
    {
        QTest::addColumn<bool>("shownWhileWritten");
        QTest::addColumn<bool>("caretLeftAtStart");
        QTest::newRow("hidden, caret at the end") << false << false;
        QTest::newRow("hidden, caret left at the start") << false << true;
        QTest::newRow("shown, caret left at the start") << true << true;
    }
    void newestLineIsInViewOnceShown()
    {
        QFETCH(bool, shownWhileWritten);
        QFETCH(bool, caretLeftAtStart);
        StatusBox box;
        box.resize(215, 42);
        box.setText(u"+OK ready\r\n\r\n"_s);
        if (shownWhileWritten)
            box.show();
        if (caretLeftAtStart)
            box.setTextCursor(QTextCursor(box.document()));
        for (int line = 0; line < 20; ++line) {
            box.appendText(u"line %1\r\n"_s.arg(line));
            box.moveCaretToEnd();
            QCOMPARE(box.textCursor().position(), box.toPlainText().size());
        }
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QScrollBar *scroll = box.verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        QCOMPARE(scroll->value(), scroll->maximum());
    }

    // The ink measured glyph by glyph is the ink of the text's outline as a whole: marks above
    // and below, leading spaces, a face's fallback, every size a fitting tries. Twice: the
    // second measure comes from what the first learnt.
    void inkIsTheWholeOutlines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QFont>("font");
        const QFont small = ThaiFonts::msSansSerif(8.25);
        const QFont large = ThaiFonts::msSansSerif(9.75);
        QTest::newRow("marks above and below") << u"ไปรษณีย์ปู่ญี่"_s << small;
        QTest::newRow("date and time of a report") << u"เช็คเมื่อ 8/12/69 เวลา 08:55:12 น."_s << small;
        QTest::newRow("leading and trailing spaces") << u"   ตั้งค่า   "_s << large;
        QTest::newRow("bold") << u"มีอีเมลล์ใหม่ 3 [50] ฉบับ"_s << ThaiFonts::msSansSerif(9.75, true);
        QTest::newRow("Latin and digits") << u"POP3 Sever : 5120000"_s << large;
        QTest::newRow("underlined: its line is ink")
            << u"เปิดอีเมลล์"_s << ThaiFonts::msSansSerif(8.25, false, true);
        QTest::newRow("smallest fitting size") << u"อีเมลล์ทั้งหมดมีขนาด"_s << [] {
            QFont f = ThaiFonts::msSansSerif(8.25);
            f.setPixelSize(ThaiFonts::smallestPixels);
            return f;
        }();
        QTest::newRow("a symbol the face may lack") << u"✓ ok ✗"_s << small;
        QTest::newRow("empty") << QString() << small;
    }

    void inkIsTheWholeOutlines()
    {
        QFETCH(QString, text);
        QFETCH(QFont, font);
        QPainterPath whole;
        whole.addText(0, 0, font, text);
        const QRectF expected = whole.boundingRect();
        for (int pass = 0; pass < 2; ++pass) {
            const QRectF ink = ThaiFonts::inkBounds(font, text);
            const auto near = [](qreal a, qreal b) { return qAbs(a - b) < 1e-6; };
            QVERIFY2(near(ink.left(), expected.left()) && near(ink.top(), expected.top()) &&
                         near(ink.right(), expected.right()) &&
                         near(ink.bottom(), expected.bottom()),
                     qPrintable(u"pass %1: %2,%3 %4x%5, the outline %6,%7 %8x%9"_s.arg(pass)
                                    .arg(ink.x())
                                    .arg(ink.y())
                                    .arg(ink.width())
                                    .arg(ink.height())
                                    .arg(expected.x())
                                    .arg(expected.y())
                                    .arg(expected.width())
                                    .arg(expected.height())));
        }
    }
};

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
