#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qrv {

// Whole-file reading and writing for the preset and project files.
struct FileRead {
    enum class Outcome { Read, NotFound, WrongSize, Unreadable };
    Outcome outcome = Outcome::Unreadable;
    std::vector<uint8_t> bytes;
    std::string problem; // why it was refused, for WrongSize and Unreadable
};

// Reads a file that must hold exactly `size` bytes; the size is checked before reading.
FileRead readExactFile(const std::filesystem::path& path, std::size_t size);

// Replaces the file's content with the bytes, or leaves it as it was and returns why
// not: the bytes go to a temporary file in the same folder, renamed over the target.
std::optional<std::string> writeFileReplacing(const std::filesystem::path& path, std::span<const uint8_t> bytes);

} // namespace qrv
