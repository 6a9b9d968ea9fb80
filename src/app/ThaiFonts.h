#pragma once

#include <QFont>

// The layout names the fonts of the Windows desktop it was drawn on. They are mapped once, at
// start-up, onto fonts that carry Thai on Linux (fonts-thai-tlwg), so no Thai text shows as boxes.
namespace ThaiFonts
{
void installSubstitutions();
// "MS Sans Serif" at the given size, Thai character set.
QFont msSansSerif(qreal pointSize, bool bold = false, bool underline = false);
} // namespace ThaiFonts
