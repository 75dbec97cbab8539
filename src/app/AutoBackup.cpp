#include "AutoBackup.hpp"

#include "backupfile/BackupFile.hpp"
#include "link/UnitIdentity.hpp"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace qrv {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPinSuffix = ".pinned";

// The entry a file name stands for, when it is one of ours.
std::optional<BackupEntry> entryOf(const fs::path& file)
{
    const std::string name = file.filename().string();
    char key[9] = {};
    std::tm local{};
    if (std::sscanf(name.c_str(), "unit-%8[0-9a-f]-%4d-%2d-%2d-%2d%2d.json", key, &local.tm_year, &local.tm_mon,
                    &local.tm_mday, &local.tm_hour, &local.tm_min) != 6)
        return std::nullopt;
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const std::time_t made = std::mktime(&local);
    if (made == -1 || autoBackupName(key, made) != name)
        return std::nullopt;
    std::error_code ignored;
    return BackupEntry{file, key, made, fs::exists(fs::path(file) += kPinSuffix, ignored)};
}

// Of the unit's backups, the newest unpinned ones stay.
void keepRecent(const fs::path& folder, const std::string& key)
{
    std::size_t kept = 0;
    for (const BackupEntry& entry : listBackups(folder)) {
        if (entry.unit != key || entry.pinned || ++kept <= kAutoBackupsKept)
            continue;
        std::error_code ignored;
        fs::remove(entry.file, ignored);
    }
}

} // namespace

std::string autoBackupName(const std::string& key, std::time_t made)
{
    std::tm local{};
    localtime_r(&made, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d-%H%M", &local);
    return "unit-" + key + "-" + when + ".json";
}

std::string unitKey(const UnitBackup& unit)
{
    // FNV-1a, 32 bits.
    uint32_t hash = 2166136261u;
    const auto mix = [&hash](uint8_t byte) {
        hash ^= byte;
        hash *= 16777619u;
    };
    for (const EffectBackup& effect : unit.effects)
        for (const SlotBackup& slot : effect.presets) {
            mix(slot.directory);
            if (slot.stored())
                std::for_each(slot.name.begin(), slot.name.end(), mix);
        }
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", hash);
    return hex;
}

std::vector<BackupEntry> listBackups(const fs::path& folder)
{
    std::vector<BackupEntry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (const auto entry = entryOf(it->path()))
            entries.push_back(*entry);
    std::sort(entries.begin(), entries.end(), [](const BackupEntry& a, const BackupEntry& b) {
        return a.made != b.made ? a.made > b.made : a.file > b.file;
    });
    return entries;
}

std::optional<std::string> setPinned(const fs::path& backup, bool pinned)
{
    const fs::path marker = fs::path(backup) += kPinSuffix;
    std::error_code error;
    if (pinned) {
        if (std::FILE* file = std::fopen(marker.c_str(), "w"))
            std::fclose(file);
        else
            return "The pin cannot be written beside " + backup.string() + ".";
    } else if (!fs::remove(marker, error) && error) {
        return "The pin cannot be removed: " + error.message() + ".";
    }
    return std::nullopt;
}

int presetsDiffering(const UnitBackup& backup, const UnitBackup& held, const UnitKnowledge& known)
{
    int differing = 0;
    for (int e = 0; e < kEffectCount; ++e)
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const SlotBackup& b = backup.effects[static_cast<std::size_t>(e)].presets[static_cast<std::size_t>(slot)];
            const SlotBackup& h = held.effects[static_cast<std::size_t>(e)].presets[static_cast<std::size_t>(slot)];
            const bool dataKnown = known.depth({UnitPart::StoredSlot, e, slot}) != UnitKnowledge::Depth::Unread;
            if (b.stored() != h.stored() || (b.stored() && (b.name != h.name || (dataKnown && b.data != h.data))))
                ++differing;
        }
    return differing;
}

bool AutoBackup::freshBackupOf(const std::string& key, std::time_t now) const
{
    const auto entries = listBackups(folder_);
    return std::any_of(entries.begin(), entries.end(), [&](const BackupEntry& entry) {
        return entry.unit == key && entry.made <= now && now - entry.made < kBackupFreshSeconds;
    });
}

void AutoBackup::setEnabled(bool on)
{
    enabled_ = on;
    decidedFor_.reset();
    reading_.setReadsForBackup(false);
}

void AutoBackup::cancel()
{
    cancelled_ = true;
    reading_.setReadsForBackup(false);
}

bool AutoBackup::hasWork() const
{
    if (!reading_.finished())
        return true;
    if (!enabled_ || cancelled_ || folder_.empty())
        return false;
    return reading_.readsForBackup() || decidedFor_ != unitKey(reading_.held());
}

bool AutoBackup::backingUp() const
{
    return enabled_ && !cancelled_ && reading_.finished() && reading_.readsForBackup();
}

UnitReading::Step AutoBackup::step(const std::function<bool()>& userWaiting, std::time_t now)
{
    if (!reading_.finished()) {
        // Another unit may be being read: its backup is decided on afresh.
        decidedFor_.reset();
        return reading_.backgroundStep(userWaiting);
    }
    if (!enabled_ || cancelled_ || folder_.empty()) {
        reading_.setReadsForBackup(false);
        return UnitReading::Step::Done;
    }
    const std::string key = unitKey(reading_.held());
    if (decidedFor_ != key) {
        decidedFor_ = key;
        reading_.setReadsForBackup(!freshBackupOf(key, now));
    }
    if (!reading_.readsForBackup())
        return UnitReading::Step::Done;
    if (!editor_.state().known.backupPieces(UnitKnowledge::Depth::Confirmed)) {
        checked_ = 0;
        return reading_.backgroundStep(userWaiting);
    }
    return write(userWaiting, now);
}

UnitReading::Step AutoBackup::write(const std::function<bool()>& userWaiting, std::time_t now)
{
    DeviceLink& link = editor_.link();
    Host& host = editor_.host();
    // The unit must still show what the exchanges so far saw of it, or the pieces may be two units':
    // the quick fingerprint, then the current effect's directory byte by byte, each part a step of
    // its own so that the user's work (and the window's timers) can come between them.
    const UnitMirror seen = link.mirror();
    Confirm outcome = Confirm::Agreed;
    bool same = true;
    if (checked_ == 0) {
        const auto found = readFingerprint(link, FingerprintDepth::Quick, userWaiting);
        outcome = found.outcome;
        same = mirrorShows(seen, found.value);
        checkedEffect_ = found.value.effect;
    } else {
        const uint16_t address = Addr::directory(checkedEffect_, checked_ - 1);
        const auto found = readUntilAgreed<uint8_t>(
            [&]() -> std::optional<uint8_t> { return userWaiting() ? std::nullopt : link.tryReadByte(address); });
        outcome = found.outcome;
        same = !seen.byte(address) || *seen.byte(address) == found.value;
    }
    if (outcome == Confirm::Failed)
        return userWaiting() ? UnitReading::Step::Stopped : UnitReading::Step::Failed;
    if (outcome == Confirm::Agreed && same && checked_++ < kSlotCount)
        return UnitReading::Step::Progressed;
    checked_ = 0;
    reading_.setReadsForBackup(false);
    if (outcome == Confirm::Unconfirmed || !same) {
        host.log("No automatic backup: " +
                 (outcome == Confirm::Unconfirmed ? neverAgreed("the telling bytes") : std::string(kAnotherUnitText)));
        return UnitReading::Step::Done;
    }
    const UnitBackup unit = reading_.held();
    const fs::path file = folder_ / autoBackupName(unitKey(unit), now);
    std::error_code ignored;
    fs::create_directories(folder_, ignored);
    if (const auto problem = writeBackupFile(file, unit)) {
        host.log("The automatic backup cannot be written to " + file.string() + ": " + *problem);
        return UnitReading::Step::Failed;
    }
    written_ = file;
    keepRecent(folder_, unitKey(unit));
    return UnitReading::Step::Done;
}

} // namespace qrv
