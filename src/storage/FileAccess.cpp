#include "FileAccess.hpp"

#include "FileCodec.hpp"

#include <cerrno>
#include <fstream>
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
    fs::path temporary = path;
    temporary += ".part";
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
