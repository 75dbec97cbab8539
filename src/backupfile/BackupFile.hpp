#pragma once

#include "devmem/Backup.hpp"
#include "storage/FileAccess.hpp"

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

// Writes through the atomic writer, into the room reserved for it when given: the target
// is either the old file or the complete new one. Returns the reason of a failure.
std::optional<std::string> writeBackupFile(const std::filesystem::path& file, const UnitBackup& unit,
                                           SpaceReservation* room = nullptr);
// Room for the largest backup a unit can give, taken before the unit is read for minutes.
ReservedSpace reserveBackupSpace(const std::filesystem::path& file);
// Whether that room could be had there now. Returns the reason when not.
std::optional<std::string> checkBackupWritable(const std::filesystem::path& file);

} // namespace qrv
