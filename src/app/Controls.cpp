#include "app/Controls.h"

#include "app/Pictures.h"

#include <QMouseEvent>
#include <QPixmap>
#include <QProxyStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QValidator>

using namespace Qt::StringLiterals;

CheckBox::CheckBox(const QString &text, QWidget *parent) : QCheckBox(text, parent)
{
    setTristate(true);
}

int CheckBox::Value() const
{
    switch (checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

bool CheckBox::setValue(qint64 state)
{
    switch (state) {
    case 0:
        setCheckState(Qt::Unchecked);
        return true;
    case 1:
        setCheckState(Qt::Checked);
        return true;
    case 2:
        setCheckState(Qt::PartiallyChecked);
        return true;
    default:
        return false;
    }
}

void CheckBox::nextCheckState()
{
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

namespace
{
// QLineEdit runs its validator on typing and pasting only, never on setText().
class LengthValidator final : public QValidator
{
public:
    LengthValidator(int limit, QObject *parent) : QValidator(parent), m_limit(limit) {}
    State validate(QString &input, int &) const override
    {
        return input.size() <= m_limit ? Acceptable : Invalid;
    }

private:
    int m_limit;
};
} // namespace

TypedLengthLineEdit::TypedLengthLineEdit(int typedLimit, QWidget *parent) : QLineEdit(parent)
{
    setValidator(new LengthValidator(typedLimit, this));
}

namespace
{
class StarPasswordStyle final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
} // namespace

PasswordLineEdit::PasswordLineEdit(QWidget *parent) : QLineEdit(parent)
{
    auto *style = new StarPasswordStyle;
    style->setParent(this);
    setStyle(style);
    setEchoMode(QLineEdit::Password);
}

StatusBox::StatusBox(QWidget *parent) : QPlainTextEdit(parent) {}

QString StatusBox::Text() const
{
    QString text = toPlainText();
    text.replace(u'\n', u"\r\n"_s);
    return text;
}

void StatusBox::setText(const QString &text)
{
    QString plain = text;
    plain.replace(u"\r\n"_s, u"\n"_s);
    setPlainText(plain);
}

void StatusBox::appendText(const QString &text)
{
    // Inserted at the end rather than by replacing the whole text, so that only the new lines
    // are laid out. As with a replacement, no undo step is kept: the log is the program's, and a
    // day of checks must not pile up steps.
    QString plain = text;
    plain.replace(u"\r\n"_s, u"\n"_s);
    QTextDocument *log = document();
    log->setUndoRedoEnabled(false);
    // Placed by position inside an edit block, the cursor does not work out its column, which
    // would lay out the last line.
    QTextCursor end(log);
    end.beginEditBlock();
    end.setPosition(log->characterCount() - 1);
    end.insertText(plain);
    end.endEditBlock();
    log->setUndoRedoEnabled(true);
}

void StatusBox::moveCaretToEnd()
{
    QTextCursor cursor = textCursor();
    if (!isVisible()) {
        m_revealCaretOnShow = true;
        // Placing the caret asks for its rectangle, which lays out its line: skipped when the
        // caret is already there, as it is after the program's own appends.
        if (cursor.atEnd() && !cursor.hasSelection())
            return;
    }
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void StatusBox::showEvent(QShowEvent *event)
{
    QPlainTextEdit::showEvent(event);
    if (m_revealCaretOnShow) {
        m_revealCaretOnShow = false;
        ensureCursorVisible();
    }
}

DeferredPicture::DeferredPicture(QString resource, QWidget *parent)
    : QLabel(parent), m_resource(std::move(resource))
{
}

void DeferredPicture::showEvent(QShowEvent *event)
{
    if (!m_resource.isEmpty()) {
        setPixmap(QPixmap(m_resource));
        m_resource.clear();
    }
    QLabel::showEvent(event);
}

LinkLabel::LinkLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

QCursor handCursor()
{
    const QPixmap hand = pngPicture(u":/cursors/hand.png"_s);
    if (hand.isNull())
        return QCursor(Qt::PointingHandCursor);
    // The hot spot is the fingertip.
    return QCursor(hand, 13, 5);
}
