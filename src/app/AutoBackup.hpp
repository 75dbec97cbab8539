#pragma once

#include "devmem/Backup.hpp"
#include "devmem/UnitReading.hpp"

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qrv {

// Per unit this many of the newest unpinned backups stay; pinned ones always stay.
inline constexpr std::size_t kAutoBackupsKept = 10;
// A unit backed up this recently is not read for another backup.
inline constexpr std::time_t kBackupFreshSeconds = 24 * 60 * 60;

// Eight hex digits naming a unit by its directory and its stored presets' names: what stays
// the same through power cycles and while the unit is played, and changes only when presets
// are stored or erased. Slot numbers are left out: loading a preset on the unit changes them.
std::string unitKey(const UnitBackup& unit);

// One automatic backup file; pinned ones carry a marker file beside them, so that the backup
// itself stays byte for byte what Back Up writes and keeps its name.
struct BackupEntry {
    std::filesystem::path file;
    std::string unit; // its unit's key
    std::time_t made = 0;
    bool pinned = false;
};

// unit-<key>-YYYY-MM-DD-HHMM.json, by the local time.
std::string autoBackupName(const std::string& key, std::time_t made);
// The automatic backups in `folder`, newest first.
std::vector<BackupEntry> listBackups(const std::filesystem::path& folder);
// Returns the reason of a failure.
std::optional<std::string> setPinned(const std::filesystem::path& backup, bool pinned);
// How many preset slots of `backup` differ from what the editor holds of the unit now (a slot's
// data only where the editor has read it).
int presetsDiffering(const UnitBackup& backup, const UnitBackup& held, const UnitKnowledge& known);

// Backs the unit up without asking: after the pieces the pages need, reads in the background
// what a backup needs, then writes the file Back Up would write into the backup folder.
class AutoBackup {
public:
    AutoBackup(Editor& editor, UnitReading& reading) : editor_(editor), reading_(reading) {}

    void setFolder(std::filesystem::path folder) { folder_ = std::move(folder); }
    const std::filesystem::path& folder() const { return folder_; }
    // Turned on again, it decides afresh whether the unit needs a backup.
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    // No automatic backup for the rest of the session.
    void cancel();
    // Whether a step would do anything now.
    bool hasWork() const;

    // The next piece of background work, one exchange or a few: the reading of what the pages
    // need, then deciding whether this unit needs a backup, reading what it needs, checking the
    // unit is still the one read, and writing. `userWaiting` stops it between two exchanges.
    UnitReading::Step step(const std::function<bool()>& userWaiting, std::time_t now);
    // Whether the background reads for a backup now.
    bool backingUp() const;
    // The last backup written this session.
    const std::optional<std::filesystem::path>& written() const { return written_; }

private:
    UnitReading::Step write(const std::function<bool()>& userWaiting, std::time_t now);
    bool freshBackupOf(const std::string& key, std::time_t now) const;

    Editor& editor_;
    UnitReading& reading_;
    std::filesystem::path folder_;
    bool enabled_ = true;
    bool cancelled_ = false;
    std::optional<std::string> decidedFor_; // the unit whose backup was decided on
    // Parts of the last look at the unit found as expected, and the effect it showed.
    int checked_ = 0;
    int checkedEffect_ = 0;
    std::optional<std::filesystem::path> written_;
};

} // namespace qrv
