// The program's own name: the application and organization name, the folder and file of
// its settings, the title of its windows and message boxes.
#pragma once

#include <QString>

namespace Product {

inline QString name()
{
    return QStringLiteral("Dialboard");
}

}  // namespace Product
