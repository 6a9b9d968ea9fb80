#include "app/ThaiFonts.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace ThaiFonts
{
void installSubstitutions()
{
    // Loma is the tlwg family drawn for user interfaces; the others follow if it is missing.
    QFont::insertSubstitutions(u"MS Sans Serif"_s,
                               QStringList{u"Loma"_s, u"Garuda"_s, u"Waree"_s, u"DejaVu Sans"_s});
    QFont::insertSubstitutions(u"Verdana"_s, QStringList{u"DejaVu Sans"_s, u"Loma"_s});
}

QFont msSansSerif(qreal pointSize, bool bold, bool underline)
{
    QFont font(u"MS Sans Serif"_s);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}
} // namespace ThaiFonts
