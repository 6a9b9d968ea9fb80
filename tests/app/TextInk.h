#pragma once

// Where a control's text is really drawn, found in pictures of the control rather than worked out
// from its code. The control is drawn twice, its text in two colours; the pixels that differ are
// the text's ink, marks above and below the line included. A reference drawing of the same text in
// the same font, with nothing around it, gives the size the ink has when nothing cuts it.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QStackedWidget>
#include <QStyleOption>
#include <QTabBar>
#include <QtMath>
#include <climits>
#include <functional>

namespace TextInk
{
using namespace Qt::StringLiterals;

// One text as a control shows it. Rectangles are in the control's own (logical) coordinates.
struct Item {
    QString name;
    QWidget *widget = nullptr;
    QString text; // as drawn
    QFont font;
    int flags = 0; // drawing flags of the reference (Qt::TextShowMnemonic)
    QRect room;    // where the control lets the text go, and where it can be seen
    QRect band;    // the part of the control's picture that belongs to this text
    std::function<void(const QColor &)> colourText;
};

// The ink's bounding box in device pixels, or an empty rectangle.
inline QRect inkOf(const QImage &a, const QImage &b, const QRect &within)
{
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    const QRect area = within.intersected(a.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

inline qreal ratioOf(const QWidget *widget)
{
    return widget->devicePixelRatioF();
}

// The control alone, without its children, as it draws itself.
inline QImage picture(QWidget *widget)
{
    const qreal ratio = ratioOf(widget);
    QPixmap pixmap(widget->size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::white);
    widget->render(&pixmap, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

inline QRect toDevice(const QRect &logical, qreal ratio)
{
    return QRect(qFloor(logical.x() * ratio), qFloor(logical.y() * ratio),
                 qCeil(logical.width() * ratio), qCeil(logical.height() * ratio));
}

// The item's ink in device pixels of the control's picture.
inline QRect drawnInk(const Item &item)
{
    item.colourText(Qt::black);
    const QImage black = picture(item.widget);
    item.colourText(Qt::white);
    const QImage white = picture(item.widget);
    item.colourText(Qt::black);
    return inkOf(black, white, toDevice(item.band, ratioOf(item.widget)));
}

// The size of the item's ink when nothing is in its way, in device pixels.
inline QSize wholeInk(const Item &item)
{
    const qreal ratio = ratioOf(item.widget);
    QImage canvas(QSize(1200, 200) * ratio, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.setFont(item.font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(100, 50, 1000, 100), item.flags | Qt::AlignLeft | Qt::AlignVCenter,
                     item.text);
    painter.end();
    QImage blank(canvas.size(), QImage::Format_RGB32);
    blank.fill(Qt::white);
    return inkOf(canvas, blank, canvas.rect()).size();
}

// What of `rect` (in the widget's coordinates) can be seen: inside every ancestor up to the window,
// and not under a shown sibling made later (which is drawn over it).
inline QRegion seenPart(const QWidget *widget, const QRect &rect)
{
    QRegion seen(rect);
    QPoint offset; // the widget's origin in the coordinates of `level`'s parent
    for (const QWidget *level = widget; level && !level->isWindow();
         level = level->parentWidget()) {
        const QWidget *parent = level->parentWidget();
        offset += level->pos();
        seen &= QRegion(QRect(QPoint(), parent->size())).translated(-offset);
        const QObjectList &siblings = parent->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget *>(level)) + 1; i < siblings.size();
             ++i) {
            const auto *sibling = qobject_cast<const QWidget *>(siblings[i]);
            if (sibling && !sibling->isHidden() && !sibling->isWindow())
                seen -= QRegion(sibling->geometry()).translated(-offset);
        }
    }
    return seen;
}

inline std::function<void(const QColor &)> paletteColour(QWidget *widget)
{
    return [widget](const QColor &colour) {
        QPalette palette = widget->palette();
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(role, colour);
        widget->setPalette(palette);
    };
}

// Makes the page the widget is on current, as the user would, and waits for it to be laid out.
inline bool reveal(QWidget *widget)
{
    for (QWidget *level = widget; level->parentWidget(); level = level->parentWidget()) {
        auto *stack = qobject_cast<QStackedWidget *>(level->parentWidget());
        if (!stack || stack->currentWidget() == level)
            continue;
        stack->setCurrentWidget(level);
        for (int round = 0; round < 100 && level->size() != stack->size(); ++round)
            QCoreApplication::processEvents();
        if (level->size() != stack->size())
            return false;
    }
    return true;
}

// Every text the widget shows itself (not those of its children), with the room it has for it.
inline QList<Item> itemsOf(QWidget *widget)
{
    const QString name = widget->objectName();
    const QRect whole = widget->rect();
    auto item = [&](QString label, QString text, QRect room) {
        Item it;
        it.name = std::move(label);
        it.widget = widget;
        it.text = std::move(text);
        it.font = widget->font();
        it.room = room;
        it.band = whole;
        it.colourText = paletteColour(widget);
        return it;
    };
    QList<Item> items;
    if (auto *tabs = qobject_cast<QTabBar *>(widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            // A tab's text must stay inside the tab's own outline.
            Item it = item(u"%1 tab %2"_s.arg(tabs->parentWidget()->objectName()).arg(i),
                           tabs->tabText(i), tabs->tabRect(i).adjusted(1, 1, -1, 0));
            it.band = tabs->tabRect(i);
            it.colourText = [tabs, i](const QColor &colour) { tabs->setTabTextColor(i, colour); };
            items.append(it);
        }
    } else if (auto *menu = qobject_cast<QMenu *>(widget)) {
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            const QRect geometry = menu->actionGeometry(action);
            Item it = item(u"%1 %2"_s.arg(name, action->text()), action->text(), geometry);
            it.band = geometry;
            items.append(it);
        }
    } else if (auto *frame = qobject_cast<QGroupBox *>(widget)) {
        if (!frame->title().isEmpty())
            items.append(item(name, frame->title(), whole));
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (!label->text().isEmpty() && label->pixmap().isNull())
            items.append(item(name, label->text(), label->contentsRect()));
    } else if (auto *box = qobject_cast<QLineEdit *>(widget)) {
        if (!box->text().isEmpty()) {
            QStyleOptionFrame option;
            option.initFrom(box);
            option.lineWidth = box->hasFrame() ? 1 : 0;
            const QRect contents =
                box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
            items.append(
                item(name, box->displayText(), contents.marginsRemoved(box->textMargins())));
        }
    } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        // Each choice as it shows when chosen; the arrow beside the field is drawn in the text's
        // colour too, so only the field's part of the picture is the text's.
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            Item it = item(u"%1 %2"_s.arg(name, combo->itemText(i)), combo->itemText(i), field);
            it.band = field;
            it.colourText = [combo, i, colour = paletteColour(widget)](const QColor &c) {
                combo->setCurrentIndex(i);
                colour(c);
            };
            items.append(it);
        }
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        if (!button->text().isEmpty()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const auto element = qobject_cast<QCheckBox *>(button) ? QStyle::SE_CheckBoxContents
                                                                   : QStyle::SE_PushButtonContents;
            Item it = item(name, button->text(),
                           button->style()->subElementRect(element, &option, button));
            it.flags = Qt::TextShowMnemonic;
            items.append(it);
        }
    }
    for (Item &it : items)
        it.room = it.room.intersected(whole);
    return items;
}

// Every text of a window and of all its controls.
inline QList<Item> itemsOfWindow(QWidget *window)
{
    QList<Item> items = itemsOf(window);
    for (QWidget *child : window->findChildren<QWidget *>())
        if (!child->isWindow() || qobject_cast<QMenu *>(child))
            items += itemsOf(child);
    return items;
}

} // namespace TextInk
