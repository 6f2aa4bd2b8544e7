// The node call table and the index of the button being edited.
#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

namespace Module1 {

inline constexpr int NodeButtonCount = 40;

// Entry i is the call carried by button i; the empty string marks an unassigned button.
// The table never carries the "*" link mark, which is display only.
extern std::array<QString, NodeButtonCount> NodeCalls;

// The button whose call the Load Button dialog edits.
extern qint16 ButtonIndex;

}  // namespace Module1
