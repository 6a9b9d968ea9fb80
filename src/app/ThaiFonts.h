#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>

// The layout names the fonts of the Windows desktop it was drawn on. They stand here for a Thai
// face of fonts-thai-tlwg, at pixel sizes: the window's geometry is fixed in pixels, so its texts
// must not grow with a desktop's font DPI setting. The face and the sizes were chosen by
// measuring the window's texts in their boxes: docs/fonts.md, scripts/measure-fonts.
namespace ThaiFonts
{
// The face, and the faces that carry Thai should it be missing.
QStringList families();
// Pixel sizes that stand for MS Sans Serif 8.25 pt and 9.75 pt at 96 dpi.
int pixelsFor(qreal pointSize);
// Below this no text is made smaller to fit: it would no longer be read.
constexpr int smallestPixels = 7;

void installSubstitutions();
// "MS Sans Serif" at the given size, Thai character set.
QFont msSansSerif(qreal pointSize, bool bold = false, bool underline = false);

// Makes `font` the application's font for its lifetime, then gives the desktop's back. Qt lays out
// some texts as a widget is made, before the widget's own font is set (a line edit's empty text,
// a frame's title): made inside this, they are measured in the window's face, and the desktop's
// default face, which the window never draws with, is not loaded for them.
class ApplicationFontDuring
{
public:
    explicit ApplicationFontDuring(const QFont &font);
    ~ApplicationFontDuring();
    ApplicationFontDuring(const ApplicationFontDuring &) = delete;
    ApplicationFontDuring &operator=(const ApplicationFontDuring &) = delete;

private:
    QFont m_desktops;
};

// The ink of `text` drawn from the origin on its baseline: the outlines of its glyphs, marks above
// and below the line included. Font metrics leave the marks out.
QRectF inkBounds(const QFont &font, const QString &text);
// `font` made a pixel smaller at a time until `text` fits `room` whole, down to smallestPixels.
QFont fitted(QFont font, const QString &text, const QSizeF &room);
} // namespace ThaiFonts
