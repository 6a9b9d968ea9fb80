#include "app/ThaiFonts.h"

#include <QGlyphRun>
#include <QGuiApplication>
#include <QHash>
#include <QPainterPath>
#include <QRawFont>
#include <QStringList>
#include <QTextLayout>

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

ApplicationFontDuring::ApplicationFontDuring(const QFont &font)
    : m_desktops(QGuiApplication::font())
{
    QGuiApplication::setFont(font);
}

ApplicationFontDuring::~ApplicationFontDuring()
{
    QGuiApplication::setFont(m_desktops);
}

namespace
{
// One glyph of one face at one size, as the text layout hands it out.
struct GlyphKey {
    QString family;
    QString style;
    int weight;
    int slant;
    qreal pixelSize;
    quint32 index;
    bool operator==(const GlyphKey &) const = default;
};

size_t qHash(const GlyphKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.family, key.style, key.weight, key.slant, key.pixelSize, key.index);
}

// The outline's bounds of each glyph met so far, at its origin. A window's texts use a hundred
// glyphs or so at a few sizes; the cap only guards against a flood of new ones.
QRectF glyphInk(const QRawFont &face, quint32 index)
{
    static QHash<GlyphKey, QRectF> known;
    const GlyphKey key{face.familyName(), face.styleName(), face.weight(),
                       int(face.style()), face.pixelSize(), index};
    if (const auto found = known.constFind(key); found != known.cend())
        return *found;
    if (known.size() >= 4096)
        known.clear();
    return *known.insert(key, face.pathForGlyph(index).boundingRect());
}
} // namespace

QRectF inkBounds(const QFont &font, const QString &text)
{
    // Lines drawn with the text have no glyph of their own: the outline of the whole gives them.
    if (font.underline() || font.overline() || font.strikeOut()) {
        QPainterPath outline;
        outline.addText(0, 0, font, text);
        return outline.boundingRect();
    }
    // Glyph by glyph, each outline measured once: the report's texts change at every check, the
    // glyphs they are made of do not, and loading an outline is most of what measuring costs.
    QTextLayout layout(text, font);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    QRectF ink;
    if (!line.isValid())
        return ink;
    const QPointF baseline(0, line.ascent());
    for (const QGlyphRun &run : line.glyphRuns()) {
        const QRawFont face = run.rawFont();
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i) {
            const QRectF glyph = glyphInk(face, indexes[i]);
            if (!glyph.isNull())
                ink |= glyph.translated(positions[i] - baseline);
        }
    }
    return ink;
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
