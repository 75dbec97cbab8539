#include "Backup.hpp"

#include "MemoryDump.hpp"
#include "PresetDialogs.hpp"
#include "link/LiveRows.hpp"
#include "link/Resume.hpp"
#include "state/CodePage.hpp"

#include <algorithm>
#include <functional>
#include <string_view>

namespace qrv {

namespace {

constexpr int kSlotReads = kDeviceColumns + 1; // data bytes and the name
constexpr int kSlotWrites = 1 + kNameLength + kDeviceColumns + 1;
constexpr uint8_t kSlotBeingWritten = 0x00; // anything but 0x55

std::set<int> allEffects()
{
    std::set<int> all;
    for (int e = 0; e < kEffectCount; ++e)
        all.insert(e);
    return all;
}

std::string effectLabel(int e)
{
    return "effect " + std::to_string(e) + " (" + catalogue::effect(e).listText + ")";
}

// Counts exchanges for the host's progress and reads its Cancel between them.
class Progress {
public:
    Progress(DeviceLink& link, Host& host, const std::string& title, int steps) : link_(link), host_(host)
    {
        host_.beginProgress(title, steps, true);
        link_.setExchangeObserver([this] { host_.stepProgress(++done_); });
    }
    ~Progress()
    {
        link_.setExchangeObserver({});
        host_.endProgress();
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool cancelled() { return cancelled_ = cancelled_ || host_.cancelRequested(); }
    void resize(int steps) { host_.resizeProgress(steps); }
    // A step started over after a reconnection counts its exchanges again.
    void rewind(int done)
    {
        done_ = done;
        host_.stepProgress(done_);
    }
    int done() const { return done_; }
    // Steps still expected after the phase that is running, for a phase that sizes itself.
    int tail = 0;

private:
    DeviceLink& link_;
    Host& host_;
    int done_ = 0;
    bool cancelled_ = false;
};

int readSteps(int effects, int storedSlots, bool unitWide, bool withData = true)
{
    const int spotChecks = std::clamp(effects - 1, 0, kSpotChecks);
    return (unitWide ? 2 : 0) + effects * (kSlotCount + 2) + spotChecks + storedSlots * (withData ? kSlotReads : 1);
}

// Every effect's live row, one block each where the unit's blocks hold (checked), else byte by byte.
bool readLive(Editor& editor, const std::set<int>& effects, UnitBackup& unit, const std::function<bool()>& stop)
{
    LiveRowTable rows{};
    editor.link().ArmPort(32);
    const LiveRead read = readLiveRows(
        editor.link(), editor.state(), editor.host(), std::vector<int>(effects.begin(), effects.end()),
        [](int) { return kDeviceColumns; }, rows, stop, true);
    editor.link().ArmPort(10);
    for (int e : effects)
        unit.effects[static_cast<std::size_t>(e)].live = rows[static_cast<std::size_t>(e)];
    return read == LiveRead::Done;
}

using WantData = std::function<bool(int effect, int slot, const SlotBackup& onUnit)>;

// Reads the given effects of the unit into `unit`; false when stopped by Cancel or a lost link.
// `wantData` picks the stored slots whose data is read (all of them by default).
bool readInto(Editor& editor, Progress& progress, const std::set<int>& effects, bool unitWide, UnitBackup& unit,
              const FailureWatch& watch, bool withData = true, const WantData& wantData = {})
{
    const WantData everySlot = [](int, int, const SlotBackup&) { return true; };
    const WantData& wantSlot = wantData ? wantData : everySlot;
    ProgramState& s = editor.state();
    DeviceLink& link = editor.link();
    const int firstStep = progress.done();
    const auto stop = [&] { return watch.failed() || progress.cancelled(); };
    // A read that took no reply makes the whole result unproven.
    const auto read = [&](uint16_t address, uint8_t& into) {
        const auto value = link.tryReadByte(address);
        if (value)
            into = *value;
        return value.has_value();
    };
    if (unitWide) {
        if (!read(Addr::CurrentEffect, unit.currentEffect) || !link.SendCommand(Cmd::ReadSwitch))
            return false;
        unit.effectSwitch = s.replyBuffer[6];
    }
    int storedSlots = 0;
    for (int e : effects) {
        EffectBackup& effect = unit.effects[static_cast<std::size_t>(e)];
        for (int slot = 0; slot < kSlotCount; ++slot) {
            if (stop())
                return false;
            SlotBackup& b = effect.presets[static_cast<std::size_t>(slot)];
            b = SlotBackup{};
            if (!read(Addr::directory(e, slot), b.directory))
                return false;
            storedSlots += b.stored() ? 1 : 0;
        }
    }
    // The steps before this read (a restore's writes) stay counted.
    progress.resize(firstStep + readSteps(static_cast<int>(effects.size()), storedSlots, unitWide, withData) +
                    progress.tail);
    for (int e : effects) {
        if (stop() || !read(Addr::slotNumber(e), unit.effects[static_cast<std::size_t>(e)].slotNumber))
            return false;
    }

    if (!readLive(editor, effects, unit, stop))
        return false;
    link.ArmPort(8);
    for (int e : effects)
        for (int slot = 0; slot < kSlotCount; ++slot) {
            SlotBackup& b = unit.effects[static_cast<std::size_t>(e)].presets[static_cast<std::size_t>(slot)];
            if (!b.stored())
                continue;
            if (stop() ||
                !link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, static_cast<uint8_t>(e), static_cast<uint8_t>(slot)))
                return false;
            std::copy_n(s.replyBuffer.begin(), kNameLength, b.name.begin());
        }
    link.ArmPort(10);
    for (int e : effects)
        for (SlotBackup& b : unit.effects[static_cast<std::size_t>(e)].presets) {
            const int slot = static_cast<int>(&b - unit.effects[static_cast<std::size_t>(e)].presets.data());
            if (!b.stored() || !withData || !wantSlot(e, slot, b))
                continue;
            for (int c = 0; c < kDeviceColumns; ++c) {
                if (stop() || !read(Addr::stored(e, slot, c), b.data[static_cast<std::size_t>(c)]))
                    return false;
            }
        }
    return !watch.failed();
}

// The restore reads these afresh: nothing seen of them before may spare a write.
void forgetEffect(DeviceLink& link, int e)
{
    link.forgetBytes(Addr::live(e, 0), kDeviceColumns);
    link.forgetBytes(Addr::slotNumber(e), 1);
    link.forgetBytes(Addr::directory(e, 0), kSlotCount);
    link.forgetBytes(Addr::name(e, 0, 0), kSlotCount * kNameLength);
    link.forgetBytes(Addr::stored(e, 0, 0), kSlotCount * kDeviceColumns);
}

// About how many writes a restore sends to a unit read to hold `onUnit`.
int writesLeft(const UnitBackup& backup, const UnitBackup& onUnit, const std::set<int>& effects)
{
    const auto differing = [](const auto& a, const auto& b) {
        int n = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            n += a[i] != b[i];
        return n;
    };
    int writes = 0;
    for (int e : effects) {
        const EffectBackup& want = backup.effects[static_cast<std::size_t>(e)];
        const EffectBackup& have = onUnit.effects[static_cast<std::size_t>(e)];
        writes += differing(want.live, have.live) + (want.slotNumber != have.slotNumber);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const SlotBackup& w = want.presets[static_cast<std::size_t>(slot)];
            const SlotBackup& h = have.presets[static_cast<std::size_t>(slot)];
            if (!w.stored())
                writes += w.directory != h.directory;
            else if (w != h)
                writes +=
                    2 + differing(w.name, h.name) + (w.name == h.name ? differing(w.data, h.data) : kDeviceColumns);
        }
    }
    return writes;
}

// Runs a reading or writing step, starting it over after a reconnection.
template <class Step> TransferEnd run(DeviceLink& link, Progress& progress, Step&& step)
{
    const int start = progress.done();
    bool complete = false;
    const bool found = runStartingOverAfterReconnect(link, [&](const FailureWatch& watch) {
        progress.rewind(start);
        complete = step(watch);
    });
    if (!found)
        return TransferEnd::Lost;
    if (complete)
        return TransferEnd::Done;
    return progress.cancelled() ? TransferEnd::Cancelled : TransferEnd::Lost;
}

// Writes one effect; false when stopped or a write took no reply. `held` names the stored slots
// the unit was read to hold already, which are not written at all.
bool writeEffect(DeviceLink& link, const EffectBackup& effect, int e, const std::function<bool()>& stop,
                 const std::function<bool(int slot)>& held)
{
    const auto write = [&](uint16_t address, uint8_t value) { return !stop() && link.writeByte(address, value); };
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const SlotBackup& b = effect.presets[static_cast<std::size_t>(slot)];
        if (b.stored() && held(slot))
            continue;
        if (!b.stored()) {
            if (!write(Addr::directory(e, slot), b.directory))
                return false;
            continue;
        }
        if (!write(Addr::directory(e, slot), kSlotBeingWritten))
            return false;
        for (int k = 0; k < kNameLength; ++k)
            if (!write(Addr::name(e, slot, k), b.name[static_cast<std::size_t>(k)]))
                return false;
        for (int c = 0; c < kDeviceColumns; ++c)
            if (!write(Addr::stored(e, slot, c), b.data[static_cast<std::size_t>(c)]))
                return false;
        if (!write(Addr::directory(e, slot), Addr::SlotUsed))
            return false;
    }
    for (int c = 0; c < kDeviceColumns; ++c)
        if (!write(Addr::live(e, c), effect.live[static_cast<std::size_t>(c)]))
            return false;
    return write(Addr::slotNumber(e), effect.slotNumber);
}

template <std::size_t N>
void compareBytes(std::vector<std::string>& out, const std::string& what, const std::array<uint8_t, N>& wanted,
                  const std::array<uint8_t, N>& found)
{
    for (std::size_t i = 0; i < N; ++i)
        if (wanted[i] != found[i])
            out.push_back(what + " byte " + std::to_string(i) + ": wrote " + std::to_string(wanted[i]) + ", read " +
                          std::to_string(found[i]));
}

std::vector<std::string> differences(const UnitBackup& wanted, const UnitBackup& found, const std::set<int>& effects,
                                     bool unitWide)
{
    std::vector<std::string> out;
    if (unitWide && wanted.currentEffect != found.currentEffect)
        out.push_back("current effect: wrote " + std::to_string(wanted.currentEffect) + ", read " +
                      std::to_string(found.currentEffect));
    if (unitWide && wanted.effectSwitch != found.effectSwitch)
        out.push_back("effect switch: wrote " + std::to_string(wanted.effectSwitch) + ", read " +
                      std::to_string(found.effectSwitch));
    for (int e : effects) {
        const EffectBackup& w = wanted.effects[static_cast<std::size_t>(e)];
        const EffectBackup& f = found.effects[static_cast<std::size_t>(e)];
        const std::string label = effectLabel(e);
        compareBytes(out, label + " live values", w.live, f.live);
        if (w.slotNumber != f.slotNumber)
            out.push_back(label + " slot number: wrote " + std::to_string(w.slotNumber) + ", read " +
                          std::to_string(f.slotNumber));
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const SlotBackup& ws = w.presets[static_cast<std::size_t>(slot)];
            const SlotBackup& fs = f.presets[static_cast<std::size_t>(slot)];
            const std::string where = label + " slot " + std::to_string(slot + 1);
            if (ws.directory != fs.directory) {
                out.push_back(where + " directory: wrote " + std::to_string(ws.directory) + ", read " +
                              std::to_string(fs.directory));
                continue;
            }
            if (!ws.stored())
                continue;
            compareBytes(out, where + " name", ws.name, fs.name);
            compareBytes(out, where + " data", ws.data, fs.data);
        }
    }
    return out;
}

} // namespace

std::string nameText(const std::array<uint8_t, 8>& name)
{
    return latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()));
}

BackupResult readUnit(Editor& editor)
{
    DeviceLink& link = editor.link();
    Host& host = editor.host();
    BackupResult result;
    const std::set<int> effects = allEffects();
    Progress progress(link, host, "Back Up Device", readSteps(kEffectCount, kEffectCount * kSlotCount, true));
    result.end = run(link, progress, [&](const FailureWatch& watch) {
        return readInto(editor, progress, effects, true, result.unit, watch);
    });
    return result;
}

BackupResult readEffects(Editor& editor, const std::set<int>& effects, bool withData)
{
    DeviceLink& link = editor.link();
    BackupResult result;
    Progress progress(
        link, editor.host(), "Reading the unit",
        readSteps(static_cast<int>(effects.size()), static_cast<int>(effects.size()) * kSlotCount, false, withData));
    result.end = run(link, progress, [&](const FailureWatch& watch) {
        return readInto(editor, progress, effects, false, result.unit, watch, withData);
    });
    return result;
}

RestoreResult writeUnit(Editor& editor, const UnitBackup& backup, const std::set<int>& chosen)
{
    DeviceLink& link = editor.link();
    Host& host = editor.host();
    RestoreResult result;
    const std::set<int> effects = chosen.empty() ? allEffects() : chosen;
    const bool unitWide = effects.size() == static_cast<std::size_t>(kEffectCount);
    int stored = 0;
    for (int e : effects)
        for (const SlotBackup& b : backup.effects[static_cast<std::size_t>(e)].presets)
            stored += b.stored() ? 1 : 0;
    const int writes = static_cast<int>(effects.size()) * (kSlotCount + kDeviceColumns + 1) +
        stored * (kSlotWrites - 1) + (unitWide ? 2 : 0);
    Progress progress(link, host, "Restore Device",
                      writes + readSteps(static_cast<int>(effects.size()), stored, unitWide));

    // Read first what the unit holds, so that only what it lacks is written and read back.
    const bool ahead = !editor.state().exactOrder;
    UnitBackup onUnit;
    std::optional<SkipHeldWrites> skip;
    if (ahead) {
        for (int e : effects)
            forgetEffect(link, e);
        progress.tail = writes + readSteps(static_cast<int>(effects.size()), stored, unitWide);
        const TransferEnd end = run(link, progress, [&](const FailureWatch& watch) {
            return readInto(editor, progress, effects, false, onUnit, watch, true,
                            [&](int e, int slot, const SlotBackup& found) {
                                const SlotBackup& wanted =
                                    backup.effects[static_cast<std::size_t>(e)].presets[static_cast<std::size_t>(slot)];
                                return wanted.stored() && wanted.name == found.name;
                            });
        });
        if (end != TransferEnd::Done) {
            result.end = end;
            return result;
        }
        progress.tail = 0;
        progress.resize(progress.done() + writesLeft(backup, onUnit, effects) + (unitWide ? 2 : 0));
        skip.emplace(link);
    }
    const auto held = [&](int e) {
        return [&, e](int slot) {
            const auto index = static_cast<std::size_t>(slot);
            return ahead &&
                onUnit.effects[static_cast<std::size_t>(e)].presets[index] ==
                backup.effects[static_cast<std::size_t>(e)].presets[index];
        };
    };

    std::set<int> touched;
    for (int e : effects) {
        const int before = progress.done();
        const TransferEnd end = run(link, progress, [&](const FailureWatch& watch) {
            const auto stop = [&] { return watch.failed() || progress.cancelled(); };
            return writeEffect(link, backup.effects[static_cast<std::size_t>(e)], e, stop, held(e)) && !watch.failed();
        });
        if (end != TransferEnd::Done) {
            result.end = end;
            return result;
        }
        result.completed.push_back(e);
        if (!ahead || progress.done() != before)
            touched.insert(e);
    }
    skip.reset();
    if (unitWide) {
        const TransferEnd end = run(link, progress, [&](const FailureWatch& watch) {
            if (!link.SendCommand(Cmd::SetSwitch, 0, 0, 0, 0, 0, backup.effectSwitch))
                return false;
            link.ArmPort(32);
            const bool selected = link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, backup.currentEffect);
            link.ArmPort(10);
            return selected && !watch.failed();
        });
        if (end != TransferEnd::Done) {
            result.end = end;
            return result;
        }
    }

    // What the unit was read to hold and nothing was written to needs no read-back.
    UnitBackup found = backup;
    result.end = run(link, progress, [&](const FailureWatch& watch) {
        return readInto(editor, progress, touched, unitWide, found, watch);
    });
    if (result.end == TransferEnd::Done)
        result.differences = differences(backup, found, effects, unitWide);
    // A byte that read wrong is read once more: only a difference both reads show is the unit's.
    if (!result.differences.empty()) {
        std::set<int> doubtful;
        for (int e : effects)
            if (!differences(backup, found, {e}, false).empty())
                doubtful.insert(e);
        UnitBackup again = found;
        const bool whole =
            unitWide && (backup.currentEffect != found.currentEffect || backup.effectSwitch != found.effectSwitch);
        progress.resize(
            progress.done() +
            readSteps(static_cast<int>(doubtful.size()), static_cast<int>(doubtful.size()) * kSlotCount, whole));
        result.end = run(link, progress, [&](const FailureWatch& watch) {
            return readInto(editor, progress, doubtful, whole, again, watch);
        });
        if (result.end == TransferEnd::Done) {
            const auto confirmed = differences(backup, again, effects, unitWide);
            std::erase_if(result.differences, [&](const std::string& difference) {
                return std::find(confirmed.begin(), confirmed.end(), difference) == confirmed.end();
            });
            found = again;
        }
    }
    result.readBack = found;
    return result;
}

void adoptRestoredUnit(Editor& editor, const UnitBackup& backup, const std::set<int>& chosen)
{
    ProgramState& s = editor.state();
    const std::set<int> effects = chosen.empty() ? allEffects() : chosen;
    for (int e : effects) {
        const auto index = static_cast<std::size_t>(e);
        const EffectBackup& effect = backup.effects[index];
        for (int c = 0; c < kDeviceColumns; ++c)
            s.store.at(e, c) = effect.live[static_cast<std::size_t>(c)];
        s.startConfig.copyRowFrom(s.store, e);
        s.presetSlotNumbers[index] = std::to_string(effect.slotNumber);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const SlotBackup& b = effect.presets[static_cast<std::size_t>(slot)];
            s.presetDirectory[index][static_cast<std::size_t>(slot)] = std::to_string(b.directory);
            s.presetNames[index][static_cast<std::size_t>(slot)] = b.stored() ? nameText(b.name) : kEmptySlotName;
        }
    }
    if (effects.size() == static_cast<std::size_t>(kEffectCount)) {
        s.currentEffect = backup.currentEffect;
        s.effectSwitchState = backup.effectSwitch;
        editor.form().Check1.value = backup.effectSwitch == 1 ? 1 : 0;
    }
    if (!effects.contains(s.currentEffect))
        return;
    // The selection reads the current effect's live values and its stored preset (the
    // device copy) back from the unit and shows the page.
    editor.form().Combo1.index = s.currentEffect;
    editor.effectListClick();
}

} // namespace qrv
