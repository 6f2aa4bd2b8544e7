#include "panel/Module1.h"

namespace Module1 {

std::array<QString, NodeButtonCount> NodeCalls;
qint16 ButtonIndex = 0;

}  // namespace Module1
