#pragma once

#include "editor/Editor.hpp"

#include <optional>
#include <string>

namespace qrv {

inline constexpr const char* kPresetFilter = "file preset (*.fxp)|*.fxp";
inline constexpr const char* kProjectSaveFilter = "file preset (*.Prj)|*.Prj";
inline constexpr const char* kProjectLoadFilter = "file preset (*.prj)|*.Prj";
inline constexpr const char* kNotFoundText = " File not found. Try again.";
inline constexpr const char* kFileErrorTitle = " Error";
inline constexpr const char* kEditorCaption = "QRV5173 Edit";
inline constexpr const char* kLoadingProjectCaption = "QRV5173 Edit - Please wait, loading project .......";
inline constexpr int kProjectWrites = kEffectCount * kDeviceColumns;
inline constexpr const char* kTransferCutText =
    "The connection to the device was lost before everything was sent: the device may play other values "
    "than the editor shows. Once it is back, ReConnect offers to send the editor's values.";
inline constexpr const char* kUnitMayDifferTitle = "ReConnect";
inline constexpr const char* kProjectProgressTitle = "Loading project";
// Besides the row writes a project load selects effect 0 and sends its row again.
inline constexpr int kProjectSelectionExchanges = 2 + kDeviceColumns;
inline constexpr const char* kUnitMayDifferText =
    "The device may hold other values than the editor shows. Send all sixteen effects of the editor to the "
    "device now?";

// Where the preset and project files are kept: "Preset" in the program folder.
std::filesystem::path presetFolderPath(const ProgramState& state);
// The folder the file dialogs open in, made when it is missing.
std::filesystem::path presetFolder(const ProgramState& state);
// A path as the status line shows it: within the program folder from there.
std::string shownPath(const ProgramState& state, const std::filesystem::path& path);
// A reason as a sentence of a message: ending in a full stop.
std::string sentence(std::string text);

// One effect's row to and from a *.fxp file. A load without a path asks for the file.
void SavePresetFile(Editor& editor);
void LoadPresetFile(Editor& editor);
void LoadPresetFile(Editor& editor, const std::filesystem::path& path);
// The record (32 values and the effect) of a preset file; nothing, the user told why, when
// the file cannot be read or is no preset.
std::optional<Row> readPresetRecord(Host& host, const std::filesystem::path& path);
// Compare the current effect with a preset file, as with the stored version: the same
// effect only. False, with the user told why, when the file is not taken.
void CompareWithPresetFile(Editor& editor);
bool CompareWithPresetFile(Editor& editor, const std::filesystem::path& path);

// All sixteen rows to and from a *.prj file; a load also writes them into the device.
void SaveProjectFile(Editor& editor);
void LoadProjectFile(Editor& editor);
void LoadProjectFile(Editor& editor, const std::filesystem::path& path);
// What the user is told when Cancel stopped a project load.
std::string projectStoppedText(int effectsReached);

// Writes all sixteen rows into the device's live memory and sends the current effect, its
// switch and its values: the unit then holds what the editor shows. False when the device
// was lost on the way and not found again.
bool SendEverything(Editor& editor);
// After a reconnection that may have left the unit holding other values: asks, and on
// Yes sends everything.
void offerToSendEverything(Editor& editor);

} // namespace qrv
