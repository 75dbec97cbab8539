#pragma once

#include "editor/Editor.hpp"

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

// The folder the file dialogs open in, made when it is missing.
std::filesystem::path presetFolder(const ProgramState& state);

// One effect's row to and from a *.fxp file.
void SavePresetFile(Editor& editor);
void LoadPresetFile(Editor& editor);

// All sixteen rows to and from a *.prj file; a load also writes them into the device.
void SaveProjectFile(Editor& editor);
void LoadProjectFile(Editor& editor);

} // namespace qrv
