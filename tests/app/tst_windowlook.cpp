// The windows as a Thai user sees them, at scale 1 and 2, under a Thai locale, after a real check
// of a full mailbox has filled the report: the controls in their places, the pointers over them,
// every text of the main window, the new-mail window and the tray menu drawn whole inside its
// control (marks above and below the line included), and the frames looking like frames.
#include "ReportedWindow.h"
#include "TextInk.h"
#include "app/Controls.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;

class TestWindowLook : public QObject
{
    Q_OBJECT

    ReportedWindow window;
    QList<TextInk::Item> items;

    QRect deviceRect(const QRect &logical) const
    {
        return TextInk::toDevice(logical, TextInk::ratioOf(window.form.get()));
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QLocale::system().name(), u"th_TH"_s);
        const QString trouble = window.build();
        QVERIFY2(trouble.isEmpty(), qPrintable(trouble));
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        items = window.items();
    }

    void cleanupTestCase() { window.form.reset(); }

    // Whatever the tabs and fonts take, the controls stand where the layout puts them (pixels,
    // from the container the layout measures from: a page's from the tab control).
    void controlsKeepTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("the tab control") << u"SSTab1"_s << u"FrmMain"_s << QRect(104, 0, 233, 207);
        QTest::newRow("a frame on page 0") << u"FraLogin"_s << u"SSTab1"_s << QRect(4, 24, 225, 77);
        QTest::newRow("the frame on page 1")
            << u"fraOption"_s << u"SSTab1"_s << QRect(5, 24, 225, 153);
        QTest::newRow("the button") << u"cmdCheckNow"_s << u"SSTab1"_s << QRect(156, 180, 73, 23);
        QTest::newRow("a link") << u"labHide"_s << u"SSTab1"_s << QRect(88, 185, 57, 17);
        QTest::newRow("a check box in a frame")
            << u"chkMemPass"_s << u"FraLogin"_s << QRect(64, 59, 70, 13);
        QTest::newRow("the partly covered report line")
            << u"txtMailSize"_s << u"fraReport"_s << QRect(8, 51, 209, 19);
    }
    void controlsKeepTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, pixels);
        FrmMain *form = window.form.get();
        auto *control = form->findChild<QWidget *>(name);
        QWidget *outer =
            container == form->objectName() ? form : form->findChild<QWidget *>(container);
        QVERIFY(control && outer);
        QVERIFY(TextInk::reveal(control));
        QCOMPARE(QRect(control->mapTo(outer, QPoint()), control->size()), pixels);
    }

    // The hand over the tab control's own surface, its tabs and the page area no control covers;
    // the controls on the pages keep their own pointers.
    void pointers_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QPoint>("at"); // in the tab control
        QTest::addColumn<int>("shape"); // -1: the hand
        QTest::newRow("a tab") << 0 << QPoint(50, 10) << -1;
        QTest::newRow("page 0 between the frames") << 0 << QPoint(100, 102) << -1;
        QTest::newRow("page 0 beside the button") << 0 << QPoint(150, 195) << -1;
        QTest::newRow("page 1 between the frame and the sign-in row")
            << 1 << QPoint(100, 179) << -1;
        QTest::newRow("a link") << 0 << QPoint(100, 192) << -1;
        QTest::newRow("inside a frame") << 0 << QPoint(150, 90) << int(Qt::ArrowCursor);
        QTest::newRow("a label") << 0 << QPoint(15, 50) << int(Qt::ArrowCursor);
        QTest::newRow("the button") << 0 << QPoint(190, 190) << int(Qt::ArrowCursor);
        QTest::newRow("a text box") << 0 << QPoint(150, 48) << int(Qt::IBeamCursor);
        QTest::newRow("a check box on page 1") << 1 << QPoint(40, 112) << int(Qt::ArrowCursor);
    }
    void pointers()
    {
        QFETCH(int, page);
        QFETCH(QPoint, at);
        QFETCH(int, shape);
        QTabWidget *tabs = window.form->SSTab1;
        QVERIFY(TextInk::reveal(tabs->widget(page)));
        QWidget *under = tabs->childAt(at);
        const QCursor pointer = (under ? under : tabs)->cursor();
        if (shape >= 0) {
            QCOMPARE(int(pointer.shape()), shape);
        } else {
            const QCursor hand = handCursor();
            QCOMPARE(pointer.shape(), hand.shape());
            QCOMPARE(pointer.hotSpot(), hand.hotSpot());
        }
    }

    void textIsWhole_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < items.size(); ++i)
            QTest::newRow(qPrintable(items[i].name)) << i;
    }
    // The ink lies inside what can be seen of the control's contents, and it is as large as the
    // same text drawn with nothing in its way: no letter and no mark is cut off.
    void textIsWhole()
    {
        QFETCH(int, index);
        const TextInk::Item &item = items[index];
        QVERIFY(TextInk::reveal(item.widget));
        const qreal ratio = TextInk::ratioOf(item.widget);
        const QRect ink = TextInk::drawnInk(item);
        QVERIFY2(!ink.isEmpty(), "no ink found");
        const QRegion seen = TextInk::seenPart(item.widget, item.room);
        QRegion seenDevice;
        for (const QRect &rect : seen)
            seenDevice += TextInk::toDevice(rect, ratio);
        const QString where = u"ink %1,%2 %3x%4 in room %5,%6 %7x%8 (device pixels)"_s.arg(ink.x())
                                  .arg(ink.y())
                                  .arg(ink.width())
                                  .arg(ink.height())
                                  .arg(seenDevice.boundingRect().x())
                                  .arg(seenDevice.boundingRect().y())
                                  .arg(seenDevice.boundingRect().width())
                                  .arg(seenDevice.boundingRect().height());
        QVERIFY2((QRegion(ink) - seenDevice).isEmpty(), qPrintable(where));
        const QSize whole = TextInk::wholeInk(item);
        // A box the user types into scrolls a long text sideways by design; its marks above and
        // below the line must still be whole.
        const auto *box = qobject_cast<QLineEdit *>(item.widget);
        const bool scrolls = box && !box->isReadOnly();
        // Sideways within one logical pixel: at scale 2 a glyph's overhang (the head of a leading
        // "ไ") lands up to a logical pixel differently in a control than on a plain image, uncut.
        const int slack = qCeil(ratio);
        QVERIFY2((scrolls || qAbs(ink.width() - whole.width()) <= slack) &&
                     qAbs(ink.height() - whole.height()) <= 1,
                 qPrintable(
                     u"%1; drawn alone %2x%3"_s.arg(where).arg(whole.width()).arg(whole.height())));
    }

    void framesLookLikeFrames_data()
    {
        QTest::addColumn<QGroupBox *>("frame");
        const FrmMain &form = *window.form;
        for (QGroupBox *frame : {form.FraLogin, form.fraReport, form.fraStatus, form.fraOption})
            QTest::newRow(qPrintable(frame->objectName())) << frame;
    }
    // The title stands on the top line, which is broken behind it and runs round the contents;
    // no control inside the frame covers the title.
    void framesLookLikeFrames()
    {
        QFETCH(QGroupBox *, frame);
        const auto title = TextInk::itemsOf(frame).value(0);
        QVERIFY(title.widget);
        const QRect ink = TextInk::drawnInk(title);
        title.colourText(Qt::white);
        const QImage picture = TextInk::picture(frame);
        title.colourText(Qt::black);
        const QRect all = picture.rect();

        // The top line: the first row drawn in one colour over the right half, past the title.
        const int from = std::max(ink.right() + 3, all.width() / 2);
        const auto lineColourOf = [&](int row) -> std::optional<QRgb> {
            const QRgb colour = picture.pixel(from, row);
            for (int x = from; x < all.right() - 3; ++x)
                if (picture.pixel(x, row) != colour)
                    return std::nullopt;
            return colour == picture.pixel(all.center()) ? std::nullopt : std::optional(colour);
        };
        int line = -1;
        for (int row = 0; row < all.height() / 2 && line < 0; ++row)
            if (lineColourOf(row))
                line = row;
        QVERIFY2(line >= 0, "no top line");
        const QRgb colour = *lineColourOf(line);
        QVERIFY2(ink.top() <= line && line <= ink.bottom(),
                 qPrintable(u"title rows %1 to %2, top line at %3"_s.arg(ink.top())
                                .arg(ink.bottom())
                                .arg(line)));
        for (int x = ink.left(); x <= ink.right(); ++x)
            QVERIFY2(picture.pixel(x, line) != colour,
                     qPrintable(u"the line runs on behind the title at %1"_s.arg(x)));
        // And round the contents: within two pixels of the left, right and bottom edges.
        const int reach = qCeil(2 * TextInk::ratioOf(frame));
        const auto lineNear = [&](QPoint edge, QPoint inwards) {
            for (int step = 0; step < reach; ++step)
                if (picture.pixel(edge + step * inwards) == colour)
                    return true;
            return false;
        };
        const int middle = (line + all.bottom()) / 2;
        QVERIFY(lineNear(QPoint(0, middle), QPoint(1, 0)));
        QVERIFY(lineNear(QPoint(all.right(), middle), QPoint(-1, 0)));
        QVERIFY(lineNear(QPoint(all.center().x(), all.bottom()), QPoint(0, -1)));

        for (const QWidget *child : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(!deviceRect(child->geometry()).intersects(ink),
                     qPrintable(child->objectName() + u" covers the title"_s));
    }

    // The boxes as drawn: a border of their own width all round, grey or (the sunken report lines,
    // whose edge is drawn over it) none, and inside it their fill, where the text's room begins.
    void boxesLookAsDrawn_data()
    {
        QTest::addColumn<QWidget *>("box");
        QTest::addColumn<int>("border");
        QTest::addColumn<bool>("greyBorder");
        QTest::addColumn<QColor>("fill");
        const FrmMain &form = *window.form;
        const QColor button = QApplication::palette().color(QPalette::Button);
        QTest::newRow("entry box")
            << static_cast<QWidget *>(form.txtUserName) << 1 << true << QColor(Qt::white);
        QTest::newRow("password box")
            << static_cast<QWidget *>(form.txtPassword) << 1 << true << QColor(Qt::white);
        QTest::newRow("status log")
            << static_cast<QWidget *>(form.txtStatus) << 1 << true << QColor(Qt::white);
        QTest::newRow("flat report box")
            << static_cast<QWidget *>(form.txtNewMail) << 1 << true << button;
        QTest::newRow("sunken report line") << static_cast<QWidget *>(form.txtMailSize)
                                            << int(ReportBox::sunkenEdge) << false << button;
    }

    void boxesLookAsDrawn()
    {
        QFETCH(QWidget *, box);
        QFETCH(int, border);
        QFETCH(bool, greyBorder);
        QFETCH(QColor, fill);
        const bool wasVisible = window.form->fraStatus->isVisible();
        window.form->fraStatus->setVisible(box == window.form->txtStatus);
        window.form->fraReport->setVisible(box != window.form->txtStatus);
        const QImage picture = box->grab().toImage();
        window.form->fraStatus->setVisible(wasVisible);
        window.form->fraReport->setVisible(!wasVisible);
        const qreal ratio = picture.devicePixelRatio();
        const int edge = qRound(border * ratio);
        const int middle = picture.height() / 2;
        for (const int x : {0, picture.width() - 1}) {
            const QColor outer = picture.pixelColor(x, middle);
            if (greyBorder)
                QCOMPARE(outer, QColor(128, 128, 128));
        }
        QCOMPARE(picture.pixelColor(picture.width() / 2, 0) == QColor(128, 128, 128), greyBorder);
        // Just inside the border, in the corner no text reaches.
        QCOMPARE(picture.pixelColor(edge, edge), fill);
        if (greyBorder)
            QCOMPARE(picture.pixelColor(edge - 1, edge), QColor(128, 128, 128));
        if (auto *line = qobject_cast<QLineEdit *>(box)) {
            QStyleOptionFrame option;
            option.initFrom(line);
            option.rect = line->rect();
            QCOMPARE(line->style()->subElementRect(QStyle::SE_LineEditContents, &option, line),
                     line->rect().adjusted(border, border, -border, -border));
        }
        QCOMPARE(box->styleSheet(), QString());
    }
};

QTEST_MAIN(TestWindowLook)
#include "tst_windowlook.moc"
