#include "FileCodec.hpp"

#include <algorithm>

namespace qrv {

FileRead readLoadable(const std::filesystem::path& path, std::size_t size)
{
    return readExactFile(path, size, true);
}

std::string wrongSizeReason(std::uintmax_t got, std::size_t expected)
{
    return "The file holds " + std::to_string(got) + " bytes; a valid file holds exactly " + std::to_string(expected) +
        ".";
}

Row encodePreset(std::span<const uint8_t, kRowSize> row, int effect)
{
    Row record;
    std::copy(row.begin(), row.end(), record.begin());
    record[kRowSize - 1] = static_cast<uint8_t>(effect);
    return record;
}

std::vector<uint8_t> encodeProject(const ParameterTable& store)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(kProjectFileSize);
    for (int e = 0; e < kEffectCount; ++e) {
        const Row record = encodePreset(store.row(e), e);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

std::optional<Row> decodePreset(std::span<const uint8_t> bytes, std::string& problem)
{
    if (bytes.size() != kPresetFileSize) {
        problem = wrongSizeReason(bytes.size(), kPresetFileSize);
        return std::nullopt;
    }
    Row record;
    std::copy(bytes.begin(), bytes.end(), record.begin());
    return record;
}

std::optional<ParameterTable> decodeProject(std::span<const uint8_t> bytes, std::string& problem)
{
    if (bytes.size() != kProjectFileSize) {
        problem = wrongSizeReason(bytes.size(), kProjectFileSize);
        return std::nullopt;
    }
    ParameterTable table;
    for (int e = 0; e < kEffectCount; ++e)
        table.setRow(e, bytes.subspan(static_cast<std::size_t>(e) * kRowSize).first<kRowSize>());
    return table;
}

} // namespace qrv
