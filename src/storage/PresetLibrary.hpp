#pragma once

#include "editor/Editor.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
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

// A preset (.fxp) or project (.prj) file by its name's extension, in any case; nothing otherwise.
std::optional<LibraryFile::Kind> libraryKindOf(const std::filesystem::path& path);

// What one look at the library found changed in one folder.
struct LibraryFolderChange {
    std::filesystem::path folder; // relative to the Preset folder; empty for the Preset folder itself
    bool gone = false;            // the folder left the library with everything below it
    bool added = false;           // the folder is new to the library
    std::vector<LibraryFile> filesAdded, filesChanged;
    std::vector<std::filesystem::path> filesRemoved; // relative to the Preset folder
};

struct LibraryUpdate {
    bool folderFound = false;
    bool startedOver = false;                  // nothing listed before stays
    std::vector<LibraryFolderChange> changes;  // a folder's change before those of its subfolders
    std::vector<std::filesystem::path> folders; // every folder listed now, relative, the Preset folder first
    std::size_t fileCount = 0;
};

// The library as last listed, so that a later look reads only what changed: a folder is
// listed again only when asked for, and a file only when its size or time changed.
// One caller at a time; the panel runs it off the window's thread.
class PresetLibrary {
public:
    // Lists the whole tree below folder; another folder than before starts over.
    LibraryUpdate scanAll(const std::filesystem::path& folder);
    // Lists these folders (relative) again and whatever is new below them.
    LibraryUpdate rescanFolders(const std::vector<std::filesystem::path>& folders);
    const std::filesystem::path& root() const { return root_; }

private:
    struct Stamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified{};
        // Written just before it was read: a rewrite within the same clock tick would keep
        // size and time, so the file is read again at the next look.
        bool recent = false;
    };
    struct Folder {
        std::map<std::filesystem::path, Stamp> files; // by name
        std::set<std::filesystem::path> subfolders;   // by name
    };
    bool checkRoot(LibraryUpdate& update);
    void list(const std::filesystem::path& relative, bool whole, LibraryUpdate& update);
    void forget(const std::filesystem::path& relative, LibraryUpdate& update);
    void finish(LibraryUpdate& update) const;

    std::filesystem::path root_;
    bool found_ = false;
    std::map<std::filesystem::path, Folder> folders_; // by relative path
    std::size_t fileCount_ = 0;
};

// What the library shows beside a file: the effect's name, "Project", or what is wrong.
std::string libraryEffectText(const LibraryFile& file);

// Loads a file by its kind exactly as Load Preset/Project From PC does after the file dialog.
void LoadLibraryFile(Editor& editor, const std::filesystem::path& path);

} // namespace qrv
