#include "PresetLibrary.hpp"

#include "FileAccess.hpp"
#include "FileCodec.hpp"
#include "PresetFiles.hpp"

#include "editor/Catalogue.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <unordered_set>

namespace qrv {

namespace fs = std::filesystem;

namespace {

std::string lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

int compareLibraryNames(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Numbers by value: without leading zeros, the longer is the larger.
            const std::size_t startA = i, startB = j;
            while (i < a.size() && a[i] == '0')
                ++i;
            while (j < b.size() && b[j] == '0')
                ++j;
            const std::size_t digitsA = i, digitsB = j;
            while (i < a.size() && isDigit(a[i]))
                ++i;
            while (j < b.size() && isDigit(b[j]))
                ++j;
            const std::string_view numberA = a.substr(digitsA, i - digitsA), numberB = b.substr(digitsB, j - digitsB);
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size() ? -1 : 1;
            if (const int order = numberA.compare(numberB); order != 0)
                return order;
            if (i - startA != j - startB) // "02" after "2"
                return (i - startA) < (j - startB) ? -1 : 1;
            continue;
        }
        const auto foldA = std::tolower(static_cast<unsigned char>(a[i]));
        const auto foldB = std::tolower(static_cast<unsigned char>(b[j]));
        if (foldA != foldB)
            return foldA < foldB ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b); // the same but for case: one order all the same
}

std::optional<LibraryFile::Kind> libraryKindOf(const fs::path& path)
{
    const std::string extension = lowered(path.extension().string());
    if (extension == ".fxp")
        return LibraryFile::Kind::Preset;
    if (extension == ".prj")
        return LibraryFile::Kind::Project;
    return std::nullopt;
}

// A file's path from the Preset folder, '/' between names.
std::string relativeOf(const fs::path& folder, std::string_view name)
{
    std::string relative = folder.empty() ? std::string() : folder.generic_string() + '/';
    relative += name;
    return relative;
}

LibraryFile describeLibraryFile(const fs::path& path, std::string name)
{
    LibraryFile file;
    file.name = std::move(name);
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
        file.content.emplace();
        std::copy_n(read.bytes.begin(), kRowSize, file.content->begin());
    }
    return file;
}

bool PresetLibrary::checkRoot(LibraryUpdate& update)
{
    std::error_code error;
    const bool found = fs::is_directory(root_, error);
    if (found != found_ || !found) {
        update.startedOver = update.startedOver || found != found_ || !folders_.empty();
        clear();
        found_ = found;
    }
    update.folderFound = found;
    return found && !update.startedOver;
}

void PresetLibrary::clear()
{
    folders_.clear();
    alike_.clear();
    fileCount_ = 0;
}

LibraryUpdate PresetLibrary::scanAll(const fs::path& folder)
{
    LibraryUpdate update;
    if (folder != root_) {
        update.startedOver = !folders_.empty() || found_;
        root_ = folder;
        clear();
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
    const auto [listedBefore, added] = folders_.try_emplace(relative, &index_);
    const fs::path& key = listedBefore->first;
    Folder& folder = listedBefore->second;
    Folder now(&index_);
    std::vector<std::pair<std::string, Stamp>> listed;
    LibraryFolderChange change;
    change.folder = relative;
    change.added = added;
    const auto settledBefore = fs::file_time_type::clock::now() - std::chrono::seconds(2);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const fs::directory_entry& entry = *it;
        if (entry.is_directory(ignored)) {
            if (!entry.is_symlink(ignored)) // links to folders are not followed
                now.subfolders.insert(entry.path().filename());
            continue;
        }
        std::string name = entry.path().filename().string();
        if (!libraryKindOf(name) || !entry.is_regular_file(ignored))
            continue;
        Stamp stamp;
        stamp.size = entry.file_size(ignored);
        stamp.modified = entry.last_write_time(ignored);
        stamp.recent = stamp.modified > settledBefore;
        const Stamp* before = stampOf(folder.files, name);
        if (before && !before->recent && before->size == stamp.size && before->modified == stamp.modified) {
            stamp.content = before->content;
        } else {
            // Its content joins its group at the end of the look.
            LibraryFile file = describeLibraryFile(entry.path(), name);
            if (before && before->content)
                leave(key, name, *before->content);
            (before ? change.filesChanged : change.filesAdded).push_back(std::move(file));
        }
        listed.emplace_back(std::move(name), stamp);
    }
    std::ranges::sort(listed, {}, &decltype(listed)::value_type::first);
    now.files.reserve(listed.size());
    for (const auto& [name, stamp] : listed)
        now.files.emplace_back(name, stamp);
    for (const auto& [name, stamp] : folder.files)
        if (!stampOf(now.files, name)) {
            change.filesRemoved.push_back(relative / name);
            if (stamp.content)
                leave(key, name, *stamp.content);
        }
    fileCount_ += now.files.size();
    fileCount_ -= folder.files.size();
    const Names before = std::move(folder.subfolders);
    folder = std::move(now);
    if (change.added || !change.filesAdded.empty() || !change.filesChanged.empty() || !change.filesRemoved.empty())
        update.changes.push_back(std::move(change));

    for (const fs::path& name : before)
        if (!folders_.at(relative).subfolders.contains(name))
            forget(relative / name, update);
    const Names& subfolders = folders_.at(relative).subfolders;
    for (const fs::path& name : std::vector<fs::path>(subfolders.begin(), subfolders.end()))
        if (whole || !before.contains(name))
            list(relative / name, whole, update);
}

void PresetLibrary::forget(const fs::path& relative, LibraryUpdate& update)
{
    const auto folder = folders_.find(relative);
    if (folder == folders_.end())
        return;
    const std::vector<fs::path> subfolders(folder->second.subfolders.begin(), folder->second.subfolders.end());
    for (const fs::path& name : subfolders)
        forget(relative / name, update);
    for (const auto& [name, stamp] : folder->second.files)
        if (stamp.content)
            leave(folder->first, name, *stamp.content);
    fileCount_ -= folder->second.files.size();
    folders_.erase(relative);
    LibraryFolderChange change;
    change.folder = relative;
    change.gone = true;
    update.changes.push_back(std::move(change));
}

std::size_t PresetLibrary::ContentHash::operator()(const Row& content) const noexcept
{
    return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
}

PresetLibrary::Stamp* PresetLibrary::stampOf(Files& files, std::string_view name)
{
    const auto it = std::ranges::lower_bound(files, name, {}, [](const auto& file) { return std::string_view(file.first); });
    return it != files.end() && it->first == name ? &it->second : nullptr;
}

std::pair<std::string, std::string> PresetLibrary::firstTwo(const Alike& alike)
{
    return {alike.empty() ? std::string() : relativeOf(*alike[0].first, alike[0].second),
            alike.size() < 2 ? std::string() : relativeOf(*alike[1].first, alike[1].second)};
}

std::pair<const Row, PresetLibrary::Alike>& PresetLibrary::touch(const Row& content)
{
    auto& group = *alike_.try_emplace(content).first;
    // A group new to this look holds only files of its changes, which carry their marks.
    if (!group.second.empty() && !touched_.contains(content))
        touched_.emplace(content, firstTwo(group.second));
    return group;
}

const Row& PresetLibrary::join(const fs::path& folder, std::string_view name, const Row& content)
{
    auto& [key, alike] = touch(content);
    const auto at = std::upper_bound(alike.begin(), alike.end(), relativeOf(folder, name),
                                     [](const std::string& relative, const Member& member) {
                                         return compareLibraryNames(relative, relativeOf(*member.first, member.second)) < 0;
                                     });
    alike.emplace(at, &folder, name);
    return key;
}

void PresetLibrary::leave(const fs::path& folder, std::string_view name, const Row& content)
{
    Alike& alike = touch(content).second;
    std::erase_if(alike, [&](const Member& member) { return member.first == &folder && member.second == name; });
    // A group made in this look and left again goes now; one from before goes at the look's end.
    if (alike.empty() && !touched_.contains(content))
        alike_.erase(alike_.find(content));
}

void PresetLibrary::finish(LibraryUpdate& update)
{
    // A file's identical one is the first other of its group: only the first two of a group
    // decide them all.
    const auto identicalOf = [](std::string_view file, const std::string& first, const std::string& second) {
        return file == first ? second : first;
    };
    // Joined only now, the groups lie together in memory rather than among what the look
    // reads and lets go again: their memory is left in one piece when the changes are gone.
    // Only files still listed join: a folder looked at twice in one look may have lost some
    // on the way, and a file read twice joins by its last reading.
    for (const LibraryFolderChange& change : update.changes) {
        const auto folder = folders_.find(change.folder);
        if (folder == folders_.end())
            continue;
        for (const auto* files : {&change.filesAdded, &change.filesChanged})
            for (const LibraryFile& file : *files) {
                Stamp* stamp = stampOf(folder->second.files, file.name);
                if (!stamp)
                    continue;
                if (stamp->content)
                    leave(folder->first, file.name, *std::exchange(stamp->content, nullptr));
                if (file.content)
                    stamp->content = &join(folder->first, file.name, *file.content);
            }
    }
    std::unordered_set<std::string> listed; // the files among the changes
    for (LibraryFolderChange& change : update.changes)
        for (auto* files : {&change.filesAdded, &change.filesChanged})
            for (LibraryFile& file : *files) {
                const std::string& relative = *listed.insert(relativeOf(change.folder, file.name)).first;
                const auto group = file.content ? alike_.find(*file.content) : alike_.end();
                if (group != alike_.end()) {
                    const auto [first, second] = firstTwo(group->second);
                    file.identical = identicalOf(relative, first, second);
                }
            }
    for (const auto& [content, before] : touched_) {
        const auto group = alike_.find(content);
        const Alike& alike = group->second;
        const auto [first, second] = firstTwo(alike);
        if (first != before.first || second != before.second)
            for (const Member& member : alike)
                if (const std::string file = relativeOf(*member.first, member.second);
                    !listed.contains(file) &&
                    identicalOf(file, first, second) != identicalOf(file, before.first, before.second))
                    update.identicalChanged.push_back({file, identicalOf(file, first, second)});
        if (alike.empty())
            alike_.erase(group);
    }
    touched_.clear();

    update.fileCount = fileCount_;
    update.folders.reserve(folders_.size());
    for (const auto& [relative, folder] : folders_)
        update.folders.push_back(relative);
}

fs::path LibraryEntry::relative() const
{
    return parent ? parent->relative() / name : fs::path();
}

void LibraryEntry::describe(const LibraryFile& file)
{
    name = file.name;
    kind = file.kind;
    status = file.status;
    effect = static_cast<int8_t>(file.effect);
    note = status == LibraryFile::Status::Loadable ? file.identical : file.problem;
}

const std::string& LibraryEntry::problem() const
{
    static const std::string none;
    return status == LibraryFile::Status::Loadable ? none : note;
}

const std::string& LibraryEntry::identical() const
{
    static const std::string none;
    return status == LibraryFile::Status::Loadable ? note : none;
}

// Folders take the rows before the files.
std::pair<int, int> LibraryTree::range(const LibraryEntry& parent, bool folder) const
{
    const auto& entries = parent.entries;
    const auto split = std::partition_point(entries.begin(), entries.end(), [](const auto& e) { return e->folder; });
    const int at = static_cast<int>(split - entries.begin());
    return folder ? std::pair(0, at) : std::pair(at, static_cast<int>(entries.size()));
}

int LibraryTree::rowFor(const LibraryEntry& parent, std::string_view name, bool folder) const
{
    const auto [low, high] = range(parent, folder);
    const auto& entries = parent.entries;
    // New entries mostly come in order: the end is the first place to try.
    if (high > low && compareLibraryNames(entries[high - 1]->name, name) <= 0)
        return high;
    return static_cast<int>(std::upper_bound(entries.begin() + low, entries.begin() + high, name,
                                             [](std::string_view wanted, const auto& entry) {
                                                 return compareLibraryNames(wanted, entry->name) < 0;
                                             }) -
                            entries.begin());
}

LibraryEntry* LibraryTree::find(const fs::path& relative, bool folder)
{
    LibraryEntry* at = &root_;
    for (auto part = relative.begin(); at && part != relative.end(); ++part)
        at = child(*at, part->native(), folder || std::next(part) != relative.end());
    return at;
}

LibraryEntry* LibraryTree::child(LibraryEntry& parent, std::string_view name, bool folder)
{
    const auto [low, high] = range(parent, folder);
    const auto& entries = parent.entries;
    const auto it = std::lower_bound(entries.begin() + low, entries.begin() + high, name,
                                     [](const auto& entry, std::string_view wanted) {
                                         return compareLibraryNames(entry->name, wanted) < 0;
                                     });
    return it != entries.begin() + high && (*it)->name == name ? it->get() : nullptr;
}

LibraryEntry& LibraryTree::insert(LibraryEntry& parent, int row, std::unique_ptr<LibraryEntry> entry)
{
    entry->parent = &parent;
    fileCount_ += filesIn(*entry);
    LibraryEntry& inserted = **parent.entries.insert(parent.entries.begin() + row, std::move(entry));
    renumber(parent, static_cast<std::size_t>(row));
    return inserted;
}

void LibraryTree::append(LibraryEntry& parent, std::vector<std::unique_ptr<LibraryEntry>> entries)
{
    const std::size_t from = parent.entries.size();
    for (auto& entry : entries) {
        entry->parent = &parent;
        fileCount_ += filesIn(*entry);
        parent.entries.push_back(std::move(entry));
    }
    renumber(parent, from);
}

void LibraryTree::remove(LibraryEntry& entry)
{
    LibraryEntry& parent = *entry.parent;
    const int row = entry.row;
    fileCount_ -= filesIn(entry);
    parent.entries.erase(parent.entries.begin() + row);
    renumber(parent, static_cast<std::size_t>(row));
}

void LibraryTree::clear()
{
    root_.entries.clear();
    fileCount_ = 0;
}

void LibraryTree::renumber(LibraryEntry& parent, std::size_t from)
{
    for (std::size_t row = from; row < parent.entries.size(); ++row)
        parent.entries[row]->row = static_cast<int>(row);
}

std::size_t LibraryTree::filesIn(const LibraryEntry& entry)
{
    if (!entry.folder)
        return 1;
    std::size_t files = 0;
    for (const auto& inner : entry.entries)
        files += filesIn(*inner);
    return files;
}

std::string libraryEffectText(const LibraryEntry& file)
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
