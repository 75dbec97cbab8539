#pragma once

#include "effects/SideBySide.hpp"

#include <filesystem>
#include <optional>

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

inline constexpr const char* kCompareOnUnitText = "&Compare on the Unit";

} // namespace qrv::ui
