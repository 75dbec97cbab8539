#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace qrv {

// The image of a missing file is empty. Throws std::runtime_error when the file cannot be
// read or is not exactly 65536 bytes.
std::optional<std::vector<uint8_t>> readMemoryFile(const std::filesystem::path& path);

// Writes a temporary file beside the target and renames it over the target, so a reader
// sees the old image or the new one, never a part. Throws std::runtime_error on failure.
void writeMemoryFile(const std::filesystem::path& path, std::span<const uint8_t> image);

} // namespace qrv
