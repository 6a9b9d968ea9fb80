#include "app/Controls.h"

#include "app/Pictures.h"
#include "app/ThaiFonts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QValidator>
#include <qdrawutil.h>

using namespace Qt::StringLiterals;

namespace
{
const QColor lineGrey(128, 128, 128);

// Check boxes drawn flat: a plain one-pixel box, white inside, with the text 4 pixels after it.
class FlatCheckStyle final : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
            return 13;
        case PM_CheckBoxLabelSpacing:
            return 4;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element != PE_IndicatorCheckBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const QRect box = option->rect;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, false);
        const bool enabled = option->state & State_Enabled;
        painter->fillRect(box, enabled ? QBrush(Qt::white) : option->palette.window());
        painter->setPen(lineGrey);
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        // The tick in black, as Windows draws it whatever the text's colour; the grey state grey.
        if (option->state & (State_On | State_NoChange)) {
            const bool grey = !enabled || (option->state & State_NoChange);
            painter->setPen(QPen(grey ? lineGrey : QColor(Qt::black), 2));
            const QPoint at = box.topLeft();
            const QPoint tick[] = {at + QPoint(3, 6), at + QPoint(5, 8), at + QPoint(9, 4)};
            painter->drawPolyline(tick, 3);
        }
        painter->restore();
    }
};
} // namespace

CheckBox::CheckBox(const QString &text, QWidget *parent) : QCheckBox(text, parent)
{
    setTristate(true);
    auto *flat = new FlatCheckStyle;
    flat->setParent(this);
    setStyle(flat);
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

namespace
{
// The box of drawAsBox: fill, border, and the room inside the border for the text or the view.
class BoxStyle final : public QProxyStyle
{
public:
    // `base`, when given, is taken over (a proxy style owns its base); without it the
    // application's style is the base.
    BoxStyle(QStyle *base, QPalette::ColorRole fill, int border, bool greyBorder)
        : QProxyStyle(base), m_fill(fill), m_border(border), m_greyBorder(greyBorder)
    {
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element == PE_PanelLineEdit) {
            painter->fillRect(option->rect, option->palette.brush(m_fill));
            drawBorder(option->rect, painter);
            return;
        }
        if (element == PE_FrameLineEdit) {
            drawBorder(option->rect, painter);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    // The status log's frame.
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_ShapedFrame) {
            drawBorder(option->rect, painter);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_DefaultFrameWidth)
            return m_border;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    QRect subElementRect(SubElement element, const QStyleOption *option,
                         const QWidget *widget) const override
    {
        if (element == SE_LineEditContents)
            return option->rect.adjusted(m_border, m_border, -m_border, -m_border);
        return QProxyStyle::subElementRect(element, option, widget);
    }

private:
    // Four strips, so that the border is whole device pixels at any scale.
    void drawBorder(const QRect &box, QPainter *painter) const
    {
        if (!m_greyBorder)
            return;
        const int w = m_border;
        painter->fillRect(QRect(box.left(), box.top(), box.width(), w), lineGrey);
        painter->fillRect(QRect(box.left(), box.bottom() + 1 - w, box.width(), w), lineGrey);
        painter->fillRect(QRect(box.left(), box.top() + w, w, box.height() - 2 * w), lineGrey);
        painter->fillRect(QRect(box.right() + 1 - w, box.top() + w, w, box.height() - 2 * w),
                          lineGrey);
    }

    QPalette::ColorRole m_fill;
    int m_border;
    bool m_greyBorder;
};
} // namespace

void drawAsBox(QWidget *box, QPalette::ColorRole fill, int border, bool greyBorder)
{
    // Drawn over a style the box already has of its own (the password box's stars), which then
    // belongs to the new one; the application's style is shared and stays where it is.
    QStyle *own = box->style()->parent() == box ? box->style() : nullptr;
    auto *style = new BoxStyle(own, fill, border, greyBorder);
    style->setParent(box);
    box->setStyle(style);
}

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

Frame::Frame(const QString &title, QWidget *parent) : QGroupBox(title, parent) {}

qreal Frame::titleBaseline(const QRectF &ink)
{
    // Centred in the title's row, on a whole pixel.
    return qRound((titleRow - ink.height()) / 2 - ink.top());
}

void Frame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool titled = !title().isEmpty();
    const QRectF glyphs = ThaiFonts::inkBounds(font(), title());
    const qreal baseline = titleBaseline(glyphs);
    const int line = titled ? qFloor(baseline + glyphs.center().y()) : 0;
    const int right = width() - 2;
    const int bottom = height() - 2;
    // The top line is broken behind the whole title, its spaces included.
    const int gapStart = titleLeft - 2;
    const int gapEnd =
        titled ? qCeil(titleLeft + QFontMetricsF(font()).horizontalAdvance(title())) + 1 : gapStart;
    // Etched as Windows draws a frame: a grey line with a white one just inside and below it.
    for (const auto &[colour, offset] : {std::pair{lineGrey, 0}, std::pair{QColor(Qt::white), 1}}) {
        painter.setPen(colour);
        const int top = line + offset;
        painter.drawLine(offset, top, offset, bottom + offset);
        painter.drawLine(offset, bottom + offset, right + offset, bottom + offset);
        painter.drawLine(right + offset, bottom + offset, right + offset, top);
        painter.drawLine(offset, top, gapStart, top);
        painter.drawLine(gapEnd, top, right + offset, top);
    }
    if (titled) {
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QPointF(titleLeft, baseline), title());
    }
}

ReportBox::ReportBox(const QFont &font, Look look, QWidget *parent)
    : QLineEdit(parent), m_font(font), m_look(look)
{
    setReadOnly(true);
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFont(font);
    // The border gives the text its room; the sunken edge itself is drawn below, over a clear
    // border, as Windows draws it.
    drawAsBox(this, QPalette::Button, look == Look::Flat ? 1 : sunkenEdge, look == Look::Flat);
    connect(this, &QLineEdit::textChanged, this, &ReportBox::fitText);
}

QRect ReportBox::textRoom() const
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    return contents.marginsRemoved(textMargins());
}

void ReportBox::setOwnFont(const QFont &font)
{
    m_font = font;
    fitText();
}

void ReportBox::keepTextUncovered()
{
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QRect own = geometry();
    QMargins margins;
    const QObjectList &siblings = parentWidget()->children();
    for (qsizetype i = siblings.indexOf(this) + 1; i < siblings.size(); ++i) {
        const auto *other = qobject_cast<const QWidget *>(siblings[i]);
        if (!other)
            continue;
        const QRect over = (other->geometry() & own).translated(-own.topLeft());
        if (over.isEmpty())
            continue;
        // A strip down one side, or across the top or the bottom; the border lies under it too.
        if (over.height() == own.height() && over.left() == 0)
            margins.setLeft(std::max(margins.left(), over.right() + 1 - contents.left()));
        else if (over.height() == own.height())
            margins.setRight(std::max(margins.right(), contents.right() + 1 - over.left()));
        else if (over.width() == own.width() && over.top() == 0)
            margins.setTop(std::max(margins.top(), over.bottom() + 1 - contents.top()));
        else if (over.width() == own.width())
            margins.setBottom(std::max(margins.bottom(), contents.bottom() + 1 - over.top()));
    }
    setTextMargins(margins);
    fitText();
}

void ReportBox::fitText()
{
    setFont(ThaiFonts::fitted(m_font, text(), textRoom().size()));
    update();
}

void ReportBox::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    fitText();
}

void ReportBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    if (m_look == Look::Sunken)
        qDrawWinPanel(&painter, rect(), palette(), true);

    // Placed by its ink, which is what must fit; a glyph's advance may leave blank space after it.
    const QRect room = textRoom();
    const QString shown = text();
    const QRectF ink = ThaiFonts::inkBounds(font(), shown);
    qreal x = room.left() - std::min(ink.left(), 0.0);
    if (alignment() & Qt::AlignHCenter)
        x = room.left() + (room.width() - ink.width()) / 2 - ink.left();
    else if (alignment() & Qt::AlignRight)
        x = room.right() + 1 - ink.right();
    const qreal baseline = room.top() + (room.height() - ink.height()) / 2 - ink.top();
    painter.setClipRect(room);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QPointF(qRound(x), qRound(baseline)), shown);
}

// Locked: the text is not selected either.
void ReportBox::mousePressEvent(QMouseEvent *event)
{
    event->ignore();
}

void ReportBox::mouseMoveEvent(QMouseEvent *event)
{
    event->ignore();
}

void ReportBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->ignore();
}

namespace
{
class FixedHeightTabBar final : public QTabBar
{
protected:
    QSize tabSizeHint(int index) const override
    {
        return {QTabBar::tabSizeHint(index).width(), TabControl::tabHeight};
    }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};
} // namespace

TabControl::TabControl(QWidget *parent) : QTabWidget(parent)
{
    setTabBar(new FixedHeightTabBar);
}

QPoint TabControl::pageOrigin() const
{
    // Where the tab widget will put its pages when it lays itself out, which it does only once
    // shown.
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
}

QCursor handCursor()
{
    const QPixmap hand = pngPicture(u":/cursors/hand.png"_s);
    if (hand.isNull())
        return QCursor(Qt::PointingHandCursor);
    // The hot spot is the fingertip.
    return QCursor(hand, 13, 5);
}
