#pragma once

#include "devmem/UnitSlots.hpp"
#include "effects/SideBySide.hpp"

#include <QKeySequence>

#include <filesystem>
#include <optional>
#include <vector>

class QWidget;

namespace qrv::ui {

class Binder;

// A window of its own (not modal) with both presets' parameters in one table, a line telling
// how many differ, a way to see only those, and Compare on the Unit when one side is the
// current edits. Presets of two effects are refused with a message naming both.
void showSideBySide(QWidget* parent, Binder& binder, Editor& editor, const PresetSide& a, const PresetSide& b);

// A preset file as a side, named by its file name; nothing, the user told why, when it
// cannot be read or is no preset.
std::optional<PresetSide> presetFileSide(Host& host, const std::filesystem::path& path);

// A stored slot as a side, read through the unit's slots when the editor lacks it (in demo
// mode the editor's copy); nothing, the user told why, when it is empty or cannot be read.
std::optional<PresetSide> slotSide(Editor& editor, UnitSlots& unit, SlotRef at);

// The chosen slots, or preset files, side by side: one beside the current edits, two beside
// each other. Another count, two effects or an empty slot are refused with the reason, before
// anything is read from the unit.
void compareSlots(QWidget* parent, Binder& binder, Editor& editor, UnitSlots& unit, const std::vector<SlotRef>& chosen);
void compareFiles(QWidget* parent, Binder& binder, Editor& editor, std::vector<std::filesystem::path> chosen);
// One chosen slot beside a preset file the user picks in `folder`; a file of another effect
// is refused before the slot is read.
void compareSlotWithFile(QWidget* parent, Binder& binder, Editor& editor, UnitSlots& unit,
                         const std::vector<SlotRef>& chosen, const std::filesystem::path& folder);

inline constexpr const char* kCompareOnUnitText = "&Compare on the Unit";
inline constexpr const char* kCompareSideBySideText = "Compare Side &by Side";
inline QKeySequence compareSideBySideKey()
{
    return QKeySequence(Qt::CTRL | Qt::Key_B);
}

} // namespace qrv::ui
