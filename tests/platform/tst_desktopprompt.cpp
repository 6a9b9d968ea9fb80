// The trust question as the desktop shows it: Thai buttons, and only a deliberate yes trusts.
#include "platform/DesktopPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestDesktopPrompt : public QObject
{
    Q_OBJECT

private slots:
    void onlyYesTrusts_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("answer");
        QTest::newRow("Enter, the default button") << u"Enter"_s << false;
        QTest::newRow("Escape") << u"Escape"_s << false;
        QTest::newRow("ไม่ใช่ clicked") << u"ไม่ใช่"_s << false;
        QTest::newRow("ใช่ clicked") << u"ใช่"_s << true;
    }

    void onlyYesTrusts()
    {
        QFETCH(QString, action);
        QFETCH(bool, answer);
        QStringList buttons;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *button : box->buttons())
                buttons.append(button->text());
            if (action == u"Enter"_s)
                QTest::keyClick(box, Qt::Key_Return);
            else if (action == u"Escape"_s)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                for (QAbstractButton *button : box->buttons())
                    if (button->text() == action)
                        button->click();
        });
        MessageBoxPrompt prompt;
        QCOMPARE(prompt.question(u"larkspur "_s, u"เชื่อถือใบรับรองนี้ไหม"_s), answer);
        buttons.sort();
        QCOMPARE(buttons, QStringList({u"ใช่"_s, u"ไม่ใช่"_s}));
    }
};

QTEST_MAIN(TestDesktopPrompt)
#include "tst_desktopprompt.moc"
