#include "PresetLibrary.hpp"

#include "FileAccess.hpp"
#include "FileCodec.hpp"
#include "PresetFiles.hpp"

#include "editor/Catalogue.hpp"

#include <cctype>

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
    const FileRead read = readExactFile(path, preset ? kPresetFileSize : kProjectFileSize, true);
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

LibraryScan scanPresetLibrary(const fs::path& folder)
{
    LibraryScan scan;
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return scan;
    scan.folderFound = true;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const fs::directory_entry& entry = *it;
        if (entry.is_directory(ignored)) {
            if (entry.is_symlink(ignored))
                it.disable_recursion_pending();
            else
                scan.folders.push_back(entry.path().lexically_relative(folder));
            continue;
        }
        if (libraryKindOf(entry.path()) && entry.is_regular_file(ignored))
            scan.files.push_back(describeLibraryFile(folder, entry.path()));
    }
    return scan;
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
