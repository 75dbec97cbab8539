#pragma once

#include "devmem/PresetDialogs.hpp"
#include "editor/Editor.hpp"

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qrv {

inline constexpr int kBackupFormat = 1;

// One preset slot as the unit holds it. Name and data are only known (and only read)
// for a stored slot, one whose directory byte is 0x55.
struct SlotBackup {
    uint8_t directory = 0;
    std::array<uint8_t, 8> name{}; // the unit's bytes, Latin-1
    std::array<uint8_t, kDeviceColumns> data{};
    bool stored() const { return directory == Addr::SlotUsed; }
    bool operator==(const SlotBackup&) const = default;
};

struct EffectBackup {
    std::array<uint8_t, kDeviceColumns> live{};
    uint8_t slotNumber = 0;
    std::array<SlotBackup, kSlotCount> presets{};
    bool operator==(const EffectBackup&) const = default;
};

// Everything of the unit the editor knows of.
struct UnitBackup {
    uint8_t currentEffect = 0;
    uint8_t effectSwitch = 0;
    std::array<EffectBackup, kEffectCount> effects{};
    bool operator==(const UnitBackup&) const = default;
};

// Unconfirmed: a value whose reads never agreed; OtherUnit: the unit's telling bytes changed
// during the operation. Both say what in `problem`.
enum class TransferEnd { Done, Cancelled, Lost, Unconfirmed, OtherUnit };

// How a backup reads the unit: every value twice, in separate passes, so that a damaged
// reply cannot slip into the file, or once, in half the time, for those who take the risk.
enum class ReadCare { Confirmed, Quick };

struct BackupResult {
    TransferEnd end = TransferEnd::Done;
    UnitBackup unit;
    std::string problem;
};

// Reads the unit: directory, slot numbers, current effect, switch, every effect's live
// values, and name and data of every stored slot. Shows progress through the host and
// stops between exchanges when Cancel is pressed. A port failure starts over once the
// device is found again. The unit's telling bytes are read at the start, between effects
// and at the end: a unit restarted or changed meanwhile ends the backup as OtherUnit.
BackupResult readUnit(Editor& editor, ReadCare care = ReadCare::Confirmed);

// Reads what the unit holds of the given effects only: directory, names, slot numbers and
// live values, and the stored presets' data when `withData`.
BackupResult readEffects(Editor& editor, const std::set<int>& effects, bool withData);

struct RestoreResult {
    TransferEnd end = TransferEnd::Done;
    std::vector<int> completed;           // effects fully written, in order
    std::vector<std::string> differences; // what the read-back found unlike the backup, each read twice
    UnitBackup readBack;                  // when Done: the backup, with what the unit read back for the effects
    std::string problem;                  // when Unconfirmed or OtherUnit
};

// Writes the backup's effects (all when `effects` is empty) to the unit, then reads back
// what was written; a byte that reads back otherwise is read until one value leads. Per stored slot the directory byte is cleared before name and data
// go out and set to 0x55 only after them, so an interrupted restore leaves no slot
// marked stored with mixed contents. The current effect and the switch are restored
// only with all effects.
RestoreResult writeUnit(Editor& editor, const UnitBackup& backup, const std::set<int>& effects);

// Makes the editor's tables (store, start configuration, device copy, directory, names,
// slot numbers) tell what the unit now holds for the given effects, and shows the
// current effect again.
void adoptRestoredUnit(Editor& editor, const UnitBackup& backup, const std::set<int>& effects);

// The text of a name as the unit holds it: eight Latin-1 bytes as UTF-8.
std::string nameText(const std::array<uint8_t, 8>& name);

} // namespace qrv
