#pragma once

#include "editor/Editor.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory_resource>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qrv {

// The preset and project files kept under the Preset folder, as the library panel lists them.
struct LibraryFile {
    enum class Kind : uint8_t { Preset, Project };
    enum class Status : uint8_t { Loadable, Damaged, Unreadable };
    // In its change's folder. A plain name: a path of several names costs a list of its parts,
    // which a listing of 50,000 files feels.
    std::string name;
    Kind kind = Kind::Preset;
    Status status = Status::Loadable;
    int effect = -1;     // a loadable preset's effect index
    std::string problem; // why a damaged or unreadable file cannot be loaded
    std::optional<Row> content; // a loadable preset's 33 bytes
    std::string identical;      // another preset (relative, '/' between names) with the same 33 bytes; empty if none
};

// Names in the order a person reads them: letters without regard to case, a run of digits
// by its number ("Lead 2" before "Lead 10"). Negative, zero or positive as a is before, the
// same as, or after b.
int compareLibraryNames(std::string_view a, std::string_view b);

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

// A file listed before whose identical file is now another one, or none.
struct LibraryIdentical {
    std::string file, identical; // relative, '/' between names; identical empty if none
};

struct LibraryUpdate {
    bool folderFound = false;
    bool startedOver = false;                  // nothing listed before stays
    std::vector<LibraryFolderChange> changes;  // a folder's change before those of its subfolders
    std::vector<std::filesystem::path> folders; // every folder listed now, relative, the Preset folder first
    std::size_t fileCount = 0;
    std::vector<LibraryIdentical> identicalChanged; // of files not among the changes
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
        const Row* content = nullptr; // a loadable preset's 33 bytes: its group's key
    };
    // A file of a group: its folder's key in folders_, which lasts as long as the file is
    // listed, and its name.
    using Member = std::pair<const std::filesystem::path*, std::pmr::string>;
    // The presets holding the same 33 bytes, in the order names are read; each is marked
    // identical to the first other one.
    using Alike = std::pmr::vector<Member>;
    struct ContentHash {
        // Cheap and sure not to throw: the groups need not keep it.
        std::size_t operator()(const Row& content) const noexcept;
    };
    // By name: one block a folder rather than one a file.
    using Files = std::pmr::vector<std::pair<std::pmr::string, Stamp>>;
    using Names = std::pmr::set<std::filesystem::path>;
    struct Folder {
        explicit Folder(std::pmr::memory_resource* memory) : files(memory), subfolders(memory) {}
        Files files;
        Names subfolders;
    };
    static Stamp* stampOf(Files& files, std::string_view name);
    bool checkRoot(LibraryUpdate& update);
    void list(const std::filesystem::path& relative, bool whole, LibraryUpdate& update);
    void forget(const std::filesystem::path& relative, LibraryUpdate& update);
    void finish(LibraryUpdate& update);
    const Row& join(const std::filesystem::path& folder, std::string_view name, const Row& content);
    void leave(const std::filesystem::path& folder, std::string_view name, const Row& content);
    std::pair<const Row, Alike>& touch(const Row& content);
    static std::pair<std::string, std::string> firstTwo(const Alike& alike);
    void clear();

    std::filesystem::path root_;
    bool found_ = false;
    // What stays from one look to the next lies in blocks of its own rather than in the gaps
    // the look's own reading leaves, which would keep that memory from going back.
    std::pmr::unsynchronized_pool_resource index_;
    std::pmr::map<std::filesystem::path, Folder> folders_{&index_}; // by relative path
    std::size_t fileCount_ = 0;
    // The groups are made after each look, in blocks of their own too.
    std::pmr::unsynchronized_pool_resource groups_;
    std::pmr::unordered_map<Row, Alike, ContentHash> alike_{&groups_}; // presets by content
    // The first two files of each group touched by this look, as they were before it.
    std::map<Row, std::pair<std::string, std::string>> touched_;
};

// One entry of the library as shown: a folder or a file. Small fields last, the flags in
// bits: an entry fits a smaller block of the heap.
struct LibraryEntry {
    LibraryEntry* parent = nullptr;
    std::string name; // one name as on disk: a path would hold a list of its parts
    // What is wrong with a file that cannot be loaded, or the preset (relative) a loadable
    // one is identical to: one text a file, as a list of 50,000 files holds one entry each.
    std::string note;
    std::vector<std::unique_ptr<LibraryEntry>> entries; // subfolders, then files, each in name order
    int row = 0; // among its parent's entries
    bool folder : 1 = false;
    bool folded : 1 = false; // a folder the user closed
    LibraryFile::Kind kind = LibraryFile::Kind::Preset;
    LibraryFile::Status status = LibraryFile::Status::Loadable;
    int8_t effect = -1;

    std::filesystem::path relative() const;
    void describe(const LibraryFile& file);
    const std::string& problem() const;
    const std::string& identical() const;
};

// The library as shown, kept small: one entry a file, no more. The caller tells the views.
class LibraryTree {
public:
    LibraryEntry& root() { return root_; }
    const LibraryEntry& root() const { return root_; }
    std::size_t fileCount() const { return fileCount_; }
    LibraryEntry* find(const std::filesystem::path& relative, bool folder);
    LibraryEntry* child(LibraryEntry& parent, std::string_view name, bool folder);
    // Where an entry of this name goes among the parent's entries.
    int rowFor(const LibraryEntry& parent, std::string_view name, bool folder) const;
    LibraryEntry& insert(LibraryEntry& parent, int row, std::unique_ptr<LibraryEntry> entry);
    // Rows to the end of the parent's entries.
    void append(LibraryEntry& parent, std::vector<std::unique_ptr<LibraryEntry>> entries);
    void remove(LibraryEntry& entry);
    void clear();

private:
    std::pair<int, int> range(const LibraryEntry& parent, bool folder) const;
    void renumber(LibraryEntry& parent, std::size_t from);
    static std::size_t filesIn(const LibraryEntry& entry);

    LibraryEntry root_ = [] {
        LibraryEntry root;
        root.folder = true;
        return root;
    }();
    std::size_t fileCount_ = 0;
};

// What the library shows beside a file: the effect's name, "Project", or what is wrong.
std::string libraryEffectText(const LibraryEntry& file);

// Loads a file by its kind exactly as Load Preset/Project From PC does after the file dialog.
void LoadLibraryFile(Editor& editor, const std::filesystem::path& path);

} // namespace qrv
