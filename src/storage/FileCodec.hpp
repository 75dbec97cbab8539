#pragma once

#include "FileAccess.hpp"
#include "state/ProgramState.hpp"

#include <filesystem>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qrv {

inline constexpr std::size_t kPresetFileSize = kRowSize;                 // one row, byte 32 = effect
inline constexpr std::size_t kProjectFileSize = kRowSize * kEffectCount; // sixteen rows in effect order

// What the editor loads from a preset or project file: its first `size` bytes
// (kPresetFileSize or kProjectFileSize). Other tools append to them, so what follows is
// counted in `trailing`, not refused.
FileRead readLoadable(const std::filesystem::path& path, std::size_t size);

// Why a file of that many bytes is refused where exactly expected are needed.
std::string wrongSizeReason(std::uintmax_t got, std::size_t expected);

// A preset file's bytes: the row with its own effect index in byte 32.
Row encodePreset(std::span<const uint8_t, kRowSize> row, int effect);
// A project file's bytes: every row with its own effect index in byte 32.
std::vector<uint8_t> encodeProject(const ParameterTable& store);

// The record of a preset file, or nothing with the reason in problem.
std::optional<Row> decodePreset(std::span<const uint8_t> bytes, std::string& problem);
// The sixteen rows of a project file, or nothing with the reason in problem.
std::optional<ParameterTable> decodeProject(std::span<const uint8_t> bytes, std::string& problem);

} // namespace qrv
