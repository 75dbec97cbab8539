#pragma once

#include "editor/Editor.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qrv {

// One of two presets shown side by side: a stored slot, a preset file or the current edits.
struct PresetSide {
    std::string caption;
    int effect = 0;
    std::array<uint8_t, kDeviceColumns> bytes{};
    bool currentEdits = false; // the editor's edits of the effect, which change as the user edits
};

struct SideBySideRow {
    std::string label;       // as the page shows it
    std::string description; // the label written out
    std::string first;       // each side's value as the page shows it, with its unit
    std::string second;
    bool differs = false;    // the stored bytes differ, whatever the page makes of them
};

struct SideBySide {
    std::vector<SideBySideRow> rows;
    std::string refusal; // why the two presets cannot be compared; empty when they can
    int differing() const;
};

// Why the two presets cannot be compared (two effects, named both); empty when they can.
std::string sideBySideRefusal(const PresetSide& first, const PresetSide& second);

// The sides' page in page order: the parameters, the PEQ bands (gain, frequency, width) and the
// pass filters, then any column no control shows where the sides differ. Presets of two
// effects give no rows and a refusal naming both.
SideBySide compareSideBySide(const ValueTables& tables, const PresetSide& first, const PresetSide& second,
                             char decimalPoint);

// "No parameters differ", "1 parameter differs", "5 parameters differ".
std::string differingText(int count);

inline constexpr const char* kYourEdits = "Your edits";
inline constexpr const char* kSideBySideTitle = "Side by Side";

// The current effect's values as the editor holds them.
PresetSide currentEdits(const ProgramState& state);
// "REVERB HALL 3 WIDE": the effect, the slot 1-8 and its name.
std::string slotCaption(const ProgramState& state, int effect, int slot);
// "REVERB HALL 4": the effect and the slot 1-8.
std::string slotPlace(int effect, int slot);

} // namespace qrv
