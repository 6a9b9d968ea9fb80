#include "app/ThaiFonts.h"

#include <QGuiApplication>
#include <QPainterPath>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace ThaiFonts
{
namespace
{
// Measured by scripts/measure-fonts, written up in docs/fonts.md.
constexpr int smallPixels = 11; // MS Sans Serif 8.25 pt
constexpr int largePixels = 13; // MS Sans Serif 9.75 pt
// Antialiasing and hinting may widen the drawn ink by up to a pixel beyond the outlines.
constexpr qreal inkSpread = 1.0;
} // namespace

QStringList families()
{
    return {u"Loma"_s, u"Garuda"_s, u"Waree"_s, u"DejaVu Sans"_s};
}

int pixelsFor(qreal pointSize)
{
    if (qFuzzyCompare(pointSize, 8.25))
        return smallPixels;
    if (qFuzzyCompare(pointSize, 9.75))
        return largePixels;
    return qRound(pointSize * 96.0 / 72.0);
}

void installSubstitutions()
{
    // For any font still asked for by its Windows name.
    QFont::insertSubstitutions(u"MS Sans Serif"_s, families());
    QFont::insertSubstitutions(u"Verdana"_s, QStringList{u"DejaVu Sans"_s, u"Loma"_s});
}

QFont msSansSerif(qreal pointSize, bool bold, bool underline)
{
    QFont font;
    font.setFamilies(families());
    font.setPixelSize(pixelsFor(pointSize));
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

ApplicationFontDuring::ApplicationFontDuring(const QFont &font) : m_desktops(QGuiApplication::font())
{
    QGuiApplication::setFont(font);
}

ApplicationFontDuring::~ApplicationFontDuring()
{
    QGuiApplication::setFont(m_desktops);
}

QRectF inkBounds(const QFont &font, const QString &text)
{
    QPainterPath outline;
    outline.addText(0, 0, font, text);
    return outline.boundingRect();
}

QFont fitted(QFont font, const QString &text, const QSizeF &room)
{
    while (font.pixelSize() > smallestPixels) {
        // Drawn from the room's left edge, a glyph may reach back before its origin.
        const QRectF ink = inkBounds(font, text);
        const qreal width = ink.right() - std::min(ink.left(), 0.0);
        if (width + inkSpread <= room.width() && ink.height() + inkSpread <= room.height())
            break;
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}
} // namespace ThaiFonts
