// The one typeface of every window of the program, at regular weight.
#pragma once

#include <QFont>

namespace Fonts {

inline QFont verdana(double points)
{
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

}  // namespace Fonts
