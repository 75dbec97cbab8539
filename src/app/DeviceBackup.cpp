#include "DeviceBackup.hpp"

#include "backupfile/BackupFile.hpp"
#include "storage/PresetFiles.hpp"

#include <algorithm>

namespace qrv {

namespace fs = std::filesystem;

namespace {

// The transfers need the unit: in demo mode or without the link they say so instead.
bool unitConnected(Editor& editor, const char* title)
{
    const ProgramState& state = editor.state();
    if (state.DemoMode) {
        editor.host().message(std::string(title) +
                                  " needs a connected QRV5173. The editor runs in demo mode, without a unit.",
                              title, Icon::Exclamation);
        return false;
    }
    if (!state.LinkUp) {
        editor.host().message(std::string(title) +
                                  " needs a connected QRV5173. The connection to the unit is lost; use ReConnect "
                                  "once it is back.",
                              title, Icon::Exclamation);
        return false;
    }
    return true;
}

std::string effectNames(const std::vector<int>& effects)
{
    std::string out;
    for (int e : effects)
        out += (out.empty() ? "" : ", ") + std::string(catalogue::effect(e).listText);
    return out.empty() ? "none" : out;
}

int storedPresets(const UnitBackup& unit)
{
    int stored = 0;
    for (const EffectBackup& effect : unit.effects)
        stored += static_cast<int>(std::count_if(effect.presets.begin(), effect.presets.end(),
                                                 [](const SlotBackup& slot) { return slot.stored(); }));
    return stored;
}

void reportDifferences(Host& host, const std::vector<std::string>& differences)
{
    std::string text = "The unit reads back otherwise than written (" + std::to_string(differences.size()) +
        (differences.size() == 1 ? " difference):" : " differences):");
    for (std::size_t i = 0; i < differences.size() && i < kDifferencesShown; ++i)
        text += "\n" + differences[i];
    if (differences.size() > kDifferencesShown)
        text += "\n... and " + std::to_string(differences.size() - kDifferencesShown) + " more.";
    host.message(text, kRestoreDeviceTitle, Icon::Exclamation);
}

// Makes the editor tell what the unit now holds and tells the user how it went.
void tellRestoreOutcome(Editor& editor, const fs::path& path, const UnitBackup& backup, const std::set<int>& chosen,
                        const RestoreResult& result)
{
    Host& host = editor.host();
    ProgramState& state = editor.state();
    const std::set<int> completed(result.completed.begin(), result.completed.end());
    const std::string what = completed.size() == kEffectCount ? "the unit" : effectNames(result.completed);
    if (result.end == TransferEnd::Unconfirmed || result.end == TransferEnd::OtherUnit) {
        // Everything was written; what the unit now holds is not known for sure.
        host.message("The restore wrote " + what + ", but its check failed: " + result.problem +
                         ". Read the unit again (ReConnect) before relying on it.",
                     kRestoreDeviceTitle, Icon::Exclamation);
        state.lastOutcome = "Restore not checked: " + result.problem;
        return;
    }
    if (result.end == TransferEnd::Done) {
        adoptRestoredUnit(editor, result.readBack, completed);
        state.lastOutcome = "Restored " + what + " from " + shownPath(state, path);
        if (!result.differences.empty()) {
            reportDifferences(host, result.differences);
            state.lastOutcome += ", with differences";
        }
        return;
    }

    // Stopped: the completed effects hold the backup. The current effect and the switch
    // follow it only after all the rest, which a stop may have prevented.
    UnitBackup written = backup;
    written.currentEffect = static_cast<uint8_t>(state.currentEffect);
    written.effectSwitch = static_cast<uint8_t>(state.effectSwitchState);
    adoptRestoredUnit(editor, written, completed);
    const bool cancelled = result.end == TransferEnd::Cancelled;
    std::string text = std::string(cancelled ? "The restore was cancelled."
                                             : "The connection to the QRV5173 was lost during the restore.") +
        "\nEffects completed: " + effectNames(result.completed) + ".";
    const auto cut = std::find_if(chosen.begin(), chosen.end(), [&](int e) { return !completed.contains(e); });
    if (cut == chosen.end()) {
        text += "\nEverything was written; the read-back that checks it was not finished.";
    } else {
        text += "\n" + std::string(catalogue::effect(*cut).listText) +
            " was stopped part-way: each of its presets is either restored whole, as it was, or empty. "
            "Restore it again to complete it.";
        // What the unit now holds of it, as long as the link still reaches the unit.
        if (cancelled) {
            const BackupResult found = readEffects(editor, {*cut}, false);
            if (found.end == TransferEnd::Done)
                adoptRestoredUnit(editor, found.unit, {*cut});
        }
    }
    host.message(text, kRestoreDeviceTitle, cancelled ? Icon::Information : Icon::Exclamation);
    state.lastOutcome = std::string(cancelled ? "Restore cancelled" : "Restore cut off") +
        "; effects completed: " + effectNames(result.completed);
}

} // namespace

std::string defaultBackupName(std::time_t now)
{
    std::tm local{};
    localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "unit-%Y-%m-%d.json", &local);
    return name;
}

void backUpDevice(Editor& editor, std::time_t now)
{
    if (!unitConnected(editor, kBackUpDeviceTitle))
        return;
    Host& host = editor.host();
    ProgramState& state = editor.state();
    const auto path = host.saveFile(kBackupFilter, presetFolder(state) / defaultBackupName(now));
    if (!path || path->empty())
        return;
    // The room is taken before the unit is read for minutes, so a full disk cannot waste them.
    ReservedSpace reserved = reserveBackupSpace(*path);
    if (!reserved.room) {
        host.message("The backup cannot be written to " + path->string() + ". " + sentence(reserved.problem) +
                         " Nothing was read from the unit.",
                     kBackUpDeviceTitle, Icon::Exclamation);
        return;
    }
    const BackupResult result = readUnit(editor);
    if (result.end == TransferEnd::Unconfirmed || result.end == TransferEnd::OtherUnit) {
        host.message("The backup failed: " + result.problem + ". No file was written.", kBackUpDeviceTitle,
                     Icon::Exclamation);
        return;
    }
    if (result.end == TransferEnd::Cancelled) {
        host.message("The backup was cancelled. No file was written.", kBackUpDeviceTitle, Icon::Information);
        return;
    }
    if (result.end == TransferEnd::Lost) {
        host.message("The connection to the QRV5173 was lost during the backup. No file was written.",
                     kBackUpDeviceTitle, Icon::Exclamation);
        return;
    }
    if (const auto problem = writeBackupFile(*path, result.unit, &*reserved.room)) {
        host.message("The backup cannot be written to " + path->string() + ". " + sentence(*problem),
                     kBackUpDeviceTitle, Icon::Exclamation);
        return;
    }
    state.lastOutcome = "Backed up the unit to " + shownPath(state, *path) + " (" +
        std::to_string(storedPresets(result.unit)) + " stored presets)";
}

void restoreDevice(Editor& editor, const ChooseEffects& choose)
{
    if (!unitConnected(editor, kRestoreDeviceTitle))
        return;
    const auto path = editor.host().openFile(kBackupFilter, presetFolder(editor.state()));
    if (path && !path->empty())
        restoreDeviceFrom(editor, *path, choose);
}

void restoreDeviceFrom(Editor& editor, const std::filesystem::path& file, const ChooseEffects& choose)
{
    if (!unitConnected(editor, kRestoreDeviceTitle))
        return;
    Host& host = editor.host();
    const DecodedBackup decoded = readBackupFile(file);
    if (!decoded.unit) {
        host.message("The file " + file.string() + " cannot be restored: " + sentence(decoded.problem) +
                         " Nothing was written to the unit.",
                     kRestoreDeviceTitle, Icon::Exclamation);
        return;
    }
    const std::set<int> chosen = choose(*decoded.unit);
    if (chosen.empty() || !unitConnected(editor, kRestoreDeviceTitle))
        return;

    const RestoreResult result = writeUnit(editor, *decoded.unit, chosen);
    tellRestoreOutcome(editor, file, *decoded.unit, chosen, result);
    // The history cannot take back the unit's stored presets, and its steps no longer
    // start from the values the editor now shows.
    editor.history().clear();
}

} // namespace qrv
