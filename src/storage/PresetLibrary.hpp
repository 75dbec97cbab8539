#pragma once

#include "editor/Editor.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qrv {

// The preset and project files kept under the Preset folder, as the library panel lists them.
struct LibraryFile {
    enum class Kind { Preset, Project };
    enum class Status { Loadable, Damaged, Unreadable };
    std::filesystem::path path;     // as found, for loading
    std::filesystem::path relative; // from the Preset folder
    Kind kind = Kind::Preset;
    Status status = Status::Loadable;
    int effect = -1;     // a loadable preset's effect index
    std::string problem; // why a damaged or unreadable file cannot be loaded
};

struct LibraryScan {
    bool folderFound = false;
    std::vector<std::filesystem::path> folders; // every subfolder, relative to the Preset folder
    std::vector<LibraryFile> files;
};

// A *.fxp or *.prj file name (any case); nothing for any other name.
std::optional<LibraryFile::Kind> libraryKindOf(const std::filesystem::path& path);

// Reads one file as its load would: size first, then a preset's effect byte.
LibraryFile describeLibraryFile(const std::filesystem::path& folder, const std::filesystem::path& path);

// Every preset and project file under the folder and its subfolders, with every subfolder.
// Folders that cannot be read are left out; links to folders are not followed.
LibraryScan scanPresetLibrary(const std::filesystem::path& folder);

// What the library shows beside a file: the effect's name, "Project", or what is wrong.
std::string libraryEffectText(const LibraryFile& file);

// Loads a file by its kind exactly as Load Preset/Project From PC does after the file dialog.
void LoadLibraryFile(Editor& editor, const std::filesystem::path& path);

} // namespace qrv
