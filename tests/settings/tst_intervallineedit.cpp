// The interval handler behind a real QLineEdit, wired as the main window wires txtMinutes: the
// nesting and the order of messages and saves come from the widget's own textChanged.

#include "platform/Prompt.h"
#include "settings/IntervalValidation.h"

#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

class LineEditMinutes final : public IntervalView, public Prompt
{
public:
    LineEditMinutes()
    {
        m_edit.setMaxLength(2);
        m_edit.setText(u"15"_s);
        QObject::connect(&m_edit, &QLineEdit::textChanged, &m_edit,
                         [this] { txtMinutes_Change(*this, *this); });
    }

    QLineEdit &edit() { return m_edit; }
    const QStringList &log() const { return m_log; }

    QString minutesText() const override { return m_edit.text(); }
    void setMinutesText(const QString &text) override { m_edit.setText(text); }
    bool SaveSettings() override
    {
        m_log += u"save "_s + m_edit.text();
        return true;
    }
    void message(const QString &caption, const QString &text) override
    {
        m_log +=
            u"message %1 [%2] while the box shows %3"_s.arg(caption, text.left(4), m_edit.text());
    }

private:
    QLineEdit m_edit;
    QStringList m_log;
};

} // namespace

class TestIntervalLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void deletingTheTextBringsBackFifteen();
    void typingOverTheSelection();
    void pastedLetterSaysSoFirst();
};

void TestIntervalLineEdit::deletingTheTextBringsBackFifteen()
{
    LineEditMinutes view;
    view.edit().selectAll();
    QTest::keyClick(&view.edit(), Qt::Key_Backspace);
    QCOMPARE(view.edit().text(), u"15"_s);
    QCOMPARE(view.log(),
             (QStringList{u"save 15"_s, u"message larkspur  [เวลา] while the box shows 15"_s,
                          u"save 15"_s}));
}

void TestIntervalLineEdit::typingOverTheSelection()
{
    LineEditMinutes view;
    view.edit().selectAll();
    QTest::keyClicks(&view.edit(), u"30"_s);
    QCOMPARE(view.edit().text(), u"30"_s);
    QCOMPARE(view.log(), (QStringList{u"save 3"_s, u"save 30"_s}));
}

void TestIntervalLineEdit::pastedLetterSaysSoFirst()
{
    LineEditMinutes view;
    view.edit().selectAll();
    view.edit().insert(u"a"_s);
    QCOMPARE(view.edit().text(), u"15"_s);
    QCOMPARE(view.log(), (QStringList{u"message larkspur  [กรุณ] while the box shows a"_s,
                                      u"save 15"_s, u"save 15"_s}));
}

QTEST_MAIN(TestIntervalLineEdit)
#include "tst_intervallineedit.moc"
