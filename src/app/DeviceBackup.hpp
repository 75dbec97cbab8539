#pragma once

#include "devmem/Backup.hpp"
#include "editor/Editor.hpp"

#include <ctime>
#include <functional>
#include <set>
#include <string>

namespace qrv {

inline constexpr const char* kBackupFilter = "QRV5173 backup (*.json)|*.json";
inline constexpr const char* kBackUpDeviceTitle = "Back Up Device";
inline constexpr const char* kRestoreDeviceTitle = "Restore Device";
inline constexpr const char* kRestoreWarningText =
    "The unit's stored presets of the ticked effects are overwritten with those of the backup, and slots "
    "that are empty in the backup become empty on the unit. The effects' live settings are replaced too. "
    "This cannot be undone: back up the unit first if you may want its presets again.";
// How many differences a box lists before it only counts the rest.
inline constexpr std::size_t kDifferencesShown = 20;

// The name offered for a backup made at `now`: unit-YYYY-MM-DD.json, by the local date.
std::string defaultBackupName(std::time_t now);

// Back Up Device: asks where to write, reads the whole unit with progress and Cancel, and
// writes the file (atomically) only when everything was read. Needs a connected unit.
void backUpDevice(Editor& editor, std::time_t now);

// The restore dialog: the effects of the backup to write; empty when the user cancelled.
using ChooseEffects = std::function<std::set<int>(const UnitBackup&)>;

// Restore Device: asks for a backup file and checks it whole before anything is sent,
// lets the user choose the effects, writes them with progress and Cancel, reads them back
// and names every difference. Afterwards the editor's tables tell what the unit holds for
// every effect the restore touched. The undo history is cleared once anything was
// written: it cannot take back the unit's stored presets, and its steps no longer start
// from the values the editor now shows.
void restoreDevice(Editor& editor, const ChooseEffects& choose);
// The same, from a backup file already chosen.
void restoreDeviceFrom(Editor& editor, const std::filesystem::path& file, const ChooseEffects& choose);

} // namespace qrv
