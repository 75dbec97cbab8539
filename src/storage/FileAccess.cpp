#include "FileAccess.hpp"

#include "FileCodec.hpp"

#include <cctype>
#include <cerrno>
#include <fstream>
#include <string_view>
#include <system_error>

namespace qrv {

namespace fs = std::filesystem;

namespace {

// The system's reason for the last failed stream operation, when it gave one.
std::string lastSystemReason(const char* fallback)
{
    const int code = errno;
    return code != 0 ? std::error_code(code, std::generic_category()).message() : fallback;
}

constexpr const char* kPartSuffix = ".part";

bool endsWithNoCase(const std::string& text, std::string_view end)
{
    if (text.size() < end.size())
        return false;
    for (std::size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i])
            return false;
    return true;
}

// A save that was killed leaves its temporary file behind; the next save in the folder
// takes those of preset and project files away.
void removeStaleParts(const fs::path& folder)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!endsWithNoCase(name, kPartSuffix))
            continue;
        const std::string target = name.substr(0, name.size() - std::string_view(kPartSuffix).size());
        std::error_code ignored;
        if ((endsWithNoCase(target, ".fxp") || endsWithNoCase(target, ".prj")) && it->is_regular_file(ignored))
            fs::remove(it->path(), ignored);
    }
}

} // namespace

FileRead readExactFile(const fs::path& path, std::size_t size)
{
    FileRead result;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) {
        result.outcome = FileRead::Outcome::NotFound;
        return result;
    }
    if (error) {
        result.problem = error.message();
        return result;
    }
    if (fs::is_directory(status)) {
        result.problem = "It is a folder, not a file.";
        return result;
    }
    const std::uintmax_t length = fs::file_size(path, error);
    if (error) {
        result.problem = error.message();
        return result;
    }
    if (length != size) {
        result.outcome = FileRead::Outcome::WrongSize;
        result.problem = wrongSizeReason(length, size);
        return result;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.problem = lastSystemReason("The file cannot be opened.");
        return result;
    }
    // One byte more than wanted shows a file that grew since its size was taken.
    result.bytes.resize(size + 1);
    in.read(reinterpret_cast<char*>(result.bytes.data()), static_cast<std::streamsize>(result.bytes.size()));
    if (in.bad()) {
        result.bytes.clear();
        result.problem = lastSystemReason("The file cannot be read.");
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (result.bytes.size() != size) {
        result.outcome = FileRead::Outcome::WrongSize;
        result.problem = wrongSizeReason(result.bytes.size(), size);
        result.bytes.clear();
        return result;
    }
    result.outcome = FileRead::Outcome::Read;
    return result;
}

std::optional<std::string> writeFileReplacing(const fs::path& path, std::span<const uint8_t> bytes)
{
    std::error_code error;
    if (fs::is_directory(path, error))
        return "A folder of that name is in the way.";
    removeStaleParts(path.has_parent_path() ? path.parent_path() : fs::path("."));
    fs::path temporary = path;
    temporary += kPartSuffix;
    {
        errno = 0;
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return lastSystemReason("The file cannot be created.");
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            const std::string reason = lastSystemReason("The file cannot be written.");
            out.close();
            fs::remove(temporary, error);
            return reason;
        }
        out.close();
        if (!out) {
            const std::string reason = lastSystemReason("The file cannot be written.");
            fs::remove(temporary, error);
            return reason;
        }
    }
    fs::rename(temporary, path, error);
    if (error) {
        const std::string reason = error.message();
        fs::remove(temporary, error);
        return reason;
    }
    return std::nullopt;
}

} // namespace qrv
