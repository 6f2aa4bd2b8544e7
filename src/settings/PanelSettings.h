// Everything the panel keeps from one run to the next, as one value: the window position,
// the three Options choices and the 40 node calls. Each value is empty when it was not
// stored or could not be read, so whoever applies the set keeps its own state for it.
//
// Stored under the keys ScrnTop, ScrnLeft (twips), OnTop, ViewLarge, ViewSmall ("True" /
// "False") and NodeCall0 ... NodeCall39, read and written in that order.
#pragma once

#include <QString>
#include <array>
#include <optional>

class SettingsStore;

struct PanelSettings
{
    static constexpr int CallCount = 40;

    std::optional<float> top;   // the frame's top edge, in twips
    std::optional<float> left;  // the frame's left edge, in twips
    std::optional<bool> onTop;
    std::optional<bool> viewLarge;
    std::optional<bool> viewSmall;
    std::array<std::optional<QString>, CallCount> calls;  // entry i belongs to button i

    // Reads every key; a value missing or not in its text form stays empty. A missing
    // call key reads as the empty call (an unassigned button).
    static PanelSettings read(const SettingsStore &store);
    // Writes every value that is not empty, in key order, to the store's next save.
    void write(SettingsStore &store) const;
};
