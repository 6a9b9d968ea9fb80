// Which Thai face, at which pixel size, can stand for MS Sans Serif 8.25 pt and 9.75 pt: every
// text of the windows, at its longest, measured against the room its control gives it, with the
// outlines of the glyphs (marks above and below the line included). For each face and text it
// prints the largest size, up to 11 px for 8.25 pt and 13 px for 9.75 pt, at which the text fits
// whole. Run by scripts/measure-fonts; the result is written up in docs/fonts.md.
#include "ReportedWindow.h"
#include "TextInk.h"
#include "app/Controls.h"
#include "app/ThaiFonts.h"

#include <QApplication>
#include <QGroupBox>
#include <QSet>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace
{
const QStringList faces{u"Loma"_s,   u"Garuda"_s,  u"Waree"_s,    u"Umpush"_s, u"Sawasdee"_s,
                        u"Norasi"_s, u"Kinnari"_s, u"Laksaman"_s, u"Purisa"_s, u"Tlwg Typist"_s};

// The controls whose font is MS Sans Serif 9.75 pt; all others have 8.25 pt.
const QSet<QString> larger{u"FraLogin"_s,   u"fraReport"_s,   u"fraStatus"_s, u"fraOption"_s,
                           u"Text1"_s,      u"txtNewEmail"_s, u"Text3"_s,     u"txtFrom"_s,
                           u"txtNewMail"_s, u"Text2"_s};

// The room a text has: the control's room without the strips that other controls cover (a strip
// down a side, or across the top or the bottom). A frame's title has the title's row.
QSize roomOf(const TextInk::Item &item)
{
    if (qobject_cast<const Frame *>(item.widget))
        return {item.widget->width() - 2 * Frame::titleLeft, Frame::titleRow};
    QRect room = item.room;
    for (const QRect &covered : QRegion(room) - TextInk::seenPart(item.widget, item.room)) {
        if (covered.height() * 2 >= room.height() && covered.center().x() > room.center().x())
            room.setRight(std::min(room.right(), covered.left() - 1));
        else if (covered.height() * 2 >= room.height())
            room.setLeft(std::max(room.left(), covered.right() + 1));
        else if (covered.center().y() > room.center().y())
            room.setBottom(std::min(room.bottom(), covered.top() - 1));
        else
            room.setTop(std::max(room.top(), covered.bottom() + 1));
    }
    return room.size();
}

void print(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ReportedWindow window;
    if (const QString trouble = window.build(); !trouble.isEmpty()) {
        print(u"measure-fonts: "_s + trouble);
        return 1;
    }

    print(u"| Control | Text | Room (px) | pt | "_s + faces.join(u" | "_s) + u" |"_s);
    print(u"|---|---|---|---|"_s + u"---|"_s.repeated(faces.size()));
    QList<int> atDesign(faces.size()), smallest(faces.size(), 99);
    int counted = 0;
    for (const TextInk::Item &item : window.items()) {
        if (!TextInk::reveal(item.widget))
            return 1;
        const QSize room = roomOf(item);
        const bool large = larger.contains(item.name);
        // What the user types scrolls sideways by design: not counted.
        const auto *box = qobject_cast<const QLineEdit *>(item.widget);
        const bool typed = box && !box->isReadOnly();
        counted += !typed;
        const int design = ThaiFonts::pixelsFor(large ? 9.75 : 8.25);
        QStringList cells;
        for (qsizetype i = 0; i < faces.size(); ++i) {
            QFont font = item.font;
            font.setFamilies({faces[i]});
            font.setPixelSize(design);
            const int fits = ThaiFonts::fitted(font, item.text, room).pixelSize();
            if (!typed) {
                atDesign[i] += fits == design;
                smallest[i] = std::min(smallest[i], fits);
            }
            cells << QString::number(fits);
        }
        print(u"| %1 | %2 | %3 x %4 | %5 | %6 |"_s
                  .arg(typed ? item.name + u" (typed)"_s : item.name, item.text.trimmed())
                  .arg(room.width())
                  .arg(room.height())
                  .arg(large ? u"9.75"_s : u"8.25"_s, cells.join(u" | "_s)));
    }
    QStringList design, least;
    for (qsizetype i = 0; i < faces.size(); ++i) {
        design << QString::number(atDesign[i]);
        least << QString::number(smallest[i]);
    }
    print(u"| texts at full size, of %1 | | | | "_s.arg(counted) + design.join(u" | "_s) + u" |"_s);
    print(u"| smallest size needed | | | | "_s + least.join(u" | "_s) + u" |"_s);

    // How far the faces' marks reach above and below the line, over all the texts.
    print(QString());
    print(u"| Face | 11 px: above the line | below | 13 px: above the line | below |"_s);
    print(u"|---|---|---|---|---|"_s);
    for (const QString &face : faces) {
        QStringList reach;
        for (int pixels : {11, 13}) {
            QFont font;
            font.setFamilies({face});
            font.setPixelSize(pixels);
            QRectF all;
            for (const TextInk::Item &item : window.items())
                all |= ThaiFonts::inkBounds(font, item.text);
            reach << QString::number(-all.top(), 'f', 1) << QString::number(all.bottom(), 'f', 1);
        }
        print(u"| %1 | %2 |"_s.arg(face, reach.join(u" | "_s)));
    }
    return 0;
}
