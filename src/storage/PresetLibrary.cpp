#include "PresetLibrary.hpp"

#include "FileAccess.hpp"
#include "FileCodec.hpp"
#include "PresetFiles.hpp"

#include "editor/Catalogue.hpp"

#include <cctype>
#include <chrono>

namespace qrv {

namespace fs = std::filesystem;

namespace {

std::string lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::optional<LibraryFile::Kind> libraryKindOf(const fs::path& path)
{
    const std::string extension = lowered(path.extension().string());
    if (extension == ".fxp")
        return LibraryFile::Kind::Preset;
    if (extension == ".prj")
        return LibraryFile::Kind::Project;
    return std::nullopt;
}

LibraryFile describeLibraryFile(const fs::path& folder, const fs::path& path)
{
    LibraryFile file;
    file.path = path;
    file.relative = path.lexically_relative(folder);
    file.kind = libraryKindOf(path).value_or(LibraryFile::Kind::Preset);
    const bool preset = file.kind == LibraryFile::Kind::Preset;
    const FileRead read = readLoadable(path, preset ? kPresetFileSize : kProjectFileSize);
    switch (read.outcome) {
    case FileRead::Outcome::Read:
        break;
    case FileRead::Outcome::WrongSize:
        file.status = LibraryFile::Status::Damaged;
        file.problem = read.problem;
        return file;
    case FileRead::Outcome::NotFound:
        file.status = LibraryFile::Status::Unreadable;
        file.problem = "The file is gone.";
        return file;
    case FileRead::Outcome::Unreadable:
        file.status = LibraryFile::Status::Unreadable;
        file.problem = read.problem;
        return file;
    }
    if (preset) {
        const int effect = read.bytes[kRowSize - 1];
        if (effect >= kEffectCount) {
            // Its load changes nothing.
            file.status = LibraryFile::Status::Damaged;
            file.problem = "Byte 32 holds " + std::to_string(effect) + ", which is no effect index (0 to 15).";
            return file;
        }
        file.effect = effect;
    }
    return file;
}

bool PresetLibrary::checkRoot(LibraryUpdate& update)
{
    std::error_code error;
    const bool found = fs::is_directory(root_, error);
    if (found != found_ || !found) {
        update.startedOver = update.startedOver || found != found_ || !folders_.empty();
        folders_.clear();
        fileCount_ = 0;
        found_ = found;
    }
    update.folderFound = found;
    return found && !update.startedOver;
}

LibraryUpdate PresetLibrary::scanAll(const fs::path& folder)
{
    LibraryUpdate update;
    if (folder != root_) {
        update.startedOver = !folders_.empty() || found_;
        root_ = folder;
        folders_.clear();
        fileCount_ = 0;
        found_ = false;
    }
    checkRoot(update);
    if (found_)
        list({}, true, update);
    finish(update);
    return update;
}

LibraryUpdate PresetLibrary::rescanFolders(const std::vector<fs::path>& folders)
{
    LibraryUpdate update;
    if (!checkRoot(update)) {
        // The folder came or went, or came back: all of it is news.
        if (found_)
            list({}, true, update);
    } else {
        for (const fs::path& folder : folders)
            if (folders_.contains(folder)) // else it went with its parent, or its parent's listing brings it
                list(folder, false, update);
    }
    finish(update);
    return update;
}

// Lists one folder, reading only new and changed files; new subfolders are listed whole,
// known ones too when `whole`.
void PresetLibrary::list(const fs::path& relative, bool whole, LibraryUpdate& update)
{
    const fs::path path = relative.empty() ? root_ : root_ / relative;
    std::error_code error;
    fs::directory_iterator it(path, fs::directory_options::skip_permission_denied, error);
    if (error) {
        if (!relative.empty())
            forget(relative, update);
        return;
    }
    const bool known = folders_.contains(relative);
    Folder& folder = folders_[relative];
    Folder now;
    LibraryFolderChange change;
    change.folder = relative;
    change.added = !known;
    const auto settledBefore = fs::file_time_type::clock::now() - std::chrono::seconds(2);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const fs::directory_entry& entry = *it;
        const fs::path name = entry.path().filename();
        if (entry.is_directory(ignored)) {
            if (!entry.is_symlink(ignored)) // links to folders are not followed
                now.subfolders.insert(name);
            continue;
        }
        if (!libraryKindOf(name) || !entry.is_regular_file(ignored))
            continue;
        Stamp stamp{entry.file_size(ignored), entry.last_write_time(ignored)};
        stamp.recent = stamp.modified > settledBefore;
        now.files[name] = stamp;
        const auto before = folder.files.find(name);
        if (before == folder.files.end())
            change.filesAdded.push_back(describeLibraryFile(root_, entry.path()));
        else if (before->second.recent || before->second.size != stamp.size || before->second.modified != stamp.modified)
            change.filesChanged.push_back(describeLibraryFile(root_, entry.path()));
    }
    for (const auto& [name, stamp] : folder.files)
        if (!now.files.contains(name))
            change.filesRemoved.push_back(relative / name);
    fileCount_ += now.files.size();
    fileCount_ -= folder.files.size();
    const std::set<fs::path> before = std::move(folder.subfolders);
    folder = std::move(now);
    if (change.added || !change.filesAdded.empty() || !change.filesChanged.empty() || !change.filesRemoved.empty())
        update.changes.push_back(std::move(change));

    for (const fs::path& name : before)
        if (!folders_.at(relative).subfolders.contains(name))
            forget(relative / name, update);
    for (const fs::path& name : std::set<fs::path>(folders_.at(relative).subfolders))
        if (whole || !before.contains(name))
            list(relative / name, whole, update);
}

void PresetLibrary::forget(const fs::path& relative, LibraryUpdate& update)
{
    const auto folder = folders_.find(relative);
    if (folder == folders_.end())
        return;
    const std::set<fs::path> subfolders = folder->second.subfolders;
    for (const fs::path& name : subfolders)
        forget(relative / name, update);
    fileCount_ -= folders_.at(relative).files.size();
    folders_.erase(relative);
    LibraryFolderChange change;
    change.folder = relative;
    change.gone = true;
    update.changes.push_back(std::move(change));
}

void PresetLibrary::finish(LibraryUpdate& update) const
{
    update.fileCount = fileCount_;
    update.folders.reserve(folders_.size());
    for (const auto& [relative, folder] : folders_)
        update.folders.push_back(relative);
}

std::string libraryEffectText(const LibraryFile& file)
{
    switch (file.status) {
    case LibraryFile::Status::Damaged:
        return "Damaged file";
    case LibraryFile::Status::Unreadable:
        return "Unreadable file";
    case LibraryFile::Status::Loadable:
        break;
    }
    if (file.kind == LibraryFile::Kind::Project)
        return "Project";
    return catalogue::effect(file.effect).listText;
}

void LoadLibraryFile(Editor& editor, const fs::path& path)
{
    if (libraryKindOf(path) == LibraryFile::Kind::Project)
        LoadProjectFile(editor, path);
    else
        LoadPresetFile(editor, path);
}

} // namespace qrv
