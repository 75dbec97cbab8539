#pragma once

#include "devmem/Backup.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qrv {

// The unit as a JSON document, format 1 (described in the README).
std::string encodeBackup(const UnitBackup& unit);

struct DecodedBackup {
    std::optional<UnitBackup> unit;
    std::string problem; // why the document was refused, when it was
};

// Checks the whole document before it yields anything: a damaged, foreign or newer
// file is refused with the reason.
DecodedBackup decodeBackup(std::string_view json);
DecodedBackup readBackupFile(const std::filesystem::path& file);

// Writes through the atomic writer: the target is either the old file or the complete
// new one. Returns the reason of a failure.
std::optional<std::string> writeBackupFile(const std::filesystem::path& file, const UnitBackup& unit);
// Whether the largest backup a unit can give could be written there now, checked before
// the unit is read for minutes. Returns the reason when not.
std::optional<std::string> checkBackupWritable(const std::filesystem::path& file);

} // namespace qrv
