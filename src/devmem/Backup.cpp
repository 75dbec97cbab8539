#include "Backup.hpp"

#include "MemoryDump.hpp"
#include "PresetDialogs.hpp"
#include "link/LiveRows.hpp"
#include "link/Resume.hpp"
#include "link/UnitIdentity.hpp"
#include "state/CodePage.hpp"

#include <algorithm>
#include <functional>
#include <string_view>

namespace qrv {

namespace {

constexpr int kSlotReads = kDeviceColumns + 1; // data bytes and the name
constexpr int kSlotWrites = 1 + kNameLength + kDeviceColumns + 1;

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
// `betweenEffects` runs after each effect's stored data and may stop the read.
bool readInto(Editor& editor, Progress& progress, const std::set<int>& effects, bool unitWide, UnitBackup& unit,
              const FailureWatch& watch, bool withData = true, const WantData& wantData = {},
              const std::function<bool()>& betweenEffects = {})
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
    for (int e : effects) {
        for (SlotBackup& b : unit.effects[static_cast<std::size_t>(e)].presets) {
            const int slot = static_cast<int>(&b - unit.effects[static_cast<std::size_t>(e)].presets.data());
            if (!b.stored() || !withData || !wantSlot(e, slot, b))
                continue;
            for (int c = 0; c < kDeviceColumns; ++c) {
                if (stop() || !read(Addr::stored(e, slot, c), b.data[static_cast<std::size_t>(c)]))
                    return false;
            }
        }
        if (betweenEffects && !betweenEffects())
            return false;
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

// What settling two reads of the unit came to.
struct Settled {
    Confirm outcome = Confirm::Agreed;
    std::string what; // the value that could not be confirmed
};

// Where two reads of the same effects disagree, reads again until one value leads; `second`
// becomes the result. `first` may be what was written rather than read: a read-back that
// agrees with it is confirmed by it.
Settled settle(Editor& editor, Progress& progress, const UnitBackup& first, UnitBackup& second,
               const std::set<int>& effects, bool unitWide, const std::function<bool()>& stop)
{
    DeviceLink& link = editor.link();
    const UnitBackup read = second;
    Settled result;
    progress.resize(progress.done() + 2 * writesLeft(first, read, effects) + progress.tail);
    const auto byteAt = [&link](uint16_t address) {
        return [&link, address]() -> std::optional<uint8_t> { return link.tryReadByte(address); };
    };
    // Settles one value from what the reads so far saw of it; false once something failed.
    const auto one = [&](auto& value, auto seen, auto&& readAgain, const std::string& what) {
        if (result.outcome != Confirm::Agreed)
            return false;
        const auto found = readUntilAgreed(
            [&] { return stop() ? std::nullopt : readAgain(); }, std::move(seen));
        if (found.outcome != Confirm::Agreed) {
            result = {found.outcome, what};
            return false;
        }
        value = found.value;
        return true;
    };
    if (unitWide) {
        one(second.currentEffect, std::vector{first.currentEffect, read.currentEffect}, byteAt(Addr::CurrentEffect),
            "the current effect");
        one(second.effectSwitch, std::vector{first.effectSwitch, read.effectSwitch},
            [&link]() -> std::optional<uint8_t> {
                if (!link.SendCommand(Cmd::ReadSwitch))
                    return std::nullopt;
                return link.state().replyBuffer[6];
            },
            "the effect switch");
    }
    for (int e : effects) {
        const auto index = static_cast<std::size_t>(e);
        const std::string label = effectLabel(e);
        one(second.effects[index].slotNumber,
            std::vector{first.effects[index].slotNumber, read.effects[index].slotNumber}, byteAt(Addr::slotNumber(e)),
            label + " slot number");
        for (int c = 0; c < kDeviceColumns; ++c) {
            const auto column = static_cast<std::size_t>(c);
            one(second.effects[index].live[column],
                std::vector{first.effects[index].live[column], read.effects[index].live[column]},
                byteAt(Addr::live(e, c)), label + " live value " + std::to_string(c));
        }
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const auto s = static_cast<std::size_t>(slot);
            one(second.effects[index].presets[s].directory,
                std::vector{first.effects[index].presets[s].directory, read.effects[index].presets[s].directory},
                byteAt(Addr::directory(e, slot)), label + " slot " + std::to_string(slot + 1) + " directory");
        }
    }
    // Names and data count only for slots the settled directory says are stored, and only from
    // the reads that took the slot as stored too.
    const auto seenOf = [&](int e, int slot, auto member) {
        std::vector<std::remove_cvref_t<decltype(SlotBackup{}.*member)>> seen;
        for (const UnitBackup* pass : {&first, &read}) {
            const SlotBackup& b = pass->effects[static_cast<std::size_t>(e)].presets[static_cast<std::size_t>(slot)];
            if (b.stored())
                seen.push_back(b.*member);
        }
        return seen;
    };
    const auto storedSlots = [&](const std::function<void(int, int, SlotBackup&)>& each) {
        for (int e : effects)
            for (int slot = 0; slot < kSlotCount && result.outcome == Confirm::Agreed; ++slot) {
                SlotBackup& b = second.effects[static_cast<std::size_t>(e)].presets[static_cast<std::size_t>(slot)];
                if (b.stored())
                    each(e, slot, b);
                else
                    b = SlotBackup{b.directory};
            }
    };
    link.ArmPort(8);
    storedSlots([&](int e, int slot, SlotBackup& b) {
        one(b.name, seenOf(e, slot, &SlotBackup::name),
            [&link, e, slot]() -> std::optional<std::array<uint8_t, kNameLength>> {
                if (!link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, static_cast<uint8_t>(e), static_cast<uint8_t>(slot)))
                    return std::nullopt;
                std::array<uint8_t, kNameLength> name{};
                std::copy_n(link.state().replyBuffer.begin(), kNameLength, name.begin());
                return name;
            },
            effectLabel(e) + " slot " + std::to_string(slot + 1) + " name");
    });
    link.ArmPort(10);
    storedSlots([&](int e, int slot, SlotBackup& b) {
        const auto data = seenOf(e, slot, &SlotBackup::data);
        for (int c = 0; c < kDeviceColumns; ++c) {
            std::vector<uint8_t> seen;
            for (const auto& row : data)
                seen.push_back(row[static_cast<std::size_t>(c)]);
            one(b.data[static_cast<std::size_t>(c)], seen, byteAt(Addr::stored(e, slot, c)),
                effectLabel(e) + " slot " + std::to_string(slot + 1) + " data byte " + std::to_string(c));
        }
    });
    return result;
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
        if (!write(Addr::directory(e, slot), Addr::SlotBeingWritten))
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

BackupResult readUnit(Editor& editor, ReadCare care)
{
    DeviceLink& link = editor.link();
    Host& host = editor.host();
    BackupResult result;
    const std::set<int> effects = allEffects();
    const int passes = care == ReadCare::Confirmed ? 2 : 1;
    const int pass = readSteps(kEffectCount, kEffectCount * kSlotCount, true);
    const int identity = 2 * kFullFingerprintExchanges + passes * kEffectCount * kQuickFingerprintExchanges;
    Progress progress(link, host, passes == 2 ? "Back Up Device (every value read twice)" : "Back Up Device",
                      passes * pass + identity);
    const auto fail = [&](TransferEnd end, std::string problem) {
        result.end = end;
        result.problem = std::move(problem);
        return false;
    };
    const TransferEnd end = run(link, progress, [&](const FailureWatch& watch) {
        result = {};
        const auto start = readFingerprint(link, FingerprintDepth::Full);
        if (start.outcome != Confirm::Agreed)
            return start.outcome == Confirm::Unconfirmed && fail(TransferEnd::Unconfirmed, neverAgreed("the telling bytes"));
        const auto sameUnit = [&](FingerprintDepth depth) {
            bool same = false;
            const Confirm read = stillTheUnit(link, start.value, depth, same);
            if (read == Confirm::Agreed && !same)
                return fail(TransferEnd::OtherUnit, kAnotherUnitText);
            return read == Confirm::Agreed ||
                (read == Confirm::Unconfirmed && fail(TransferEnd::Unconfirmed, neverAgreed("the telling bytes")));
        };
        const auto between = [&] { return sameUnit(FingerprintDepth::Quick); };
        UnitBackup first;
        progress.tail = (passes - 1) * pass + identity;
        if (!readInto(editor, progress, effects, true, first, watch, true, {}, between))
            return false;
        result.unit = first;
        if (passes == 2) {
            progress.tail = identity;
            if (!readInto(editor, progress, effects, true, result.unit, watch, true, {}, between))
                return false;
            const Settled settled = settle(editor, progress, first, result.unit, effects, true,
                                           [&] { return watch.failed() || progress.cancelled(); });
            if (settled.outcome == Confirm::Unconfirmed)
                return fail(TransferEnd::Unconfirmed, neverAgreed(settled.what));
            if (settled.outcome == Confirm::Failed)
                return false;
        }
        return sameUnit(FingerprintDepth::Full) && !watch.failed();
    });
    if (result.end == TransferEnd::Done)
        result.end = end;
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

    for (int e : effects) {
        const TransferEnd end = run(link, progress, [&](const FailureWatch& watch) {
            const auto stop = [&] { return watch.failed() || progress.cancelled(); };
            return writeEffect(link, backup.effects[static_cast<std::size_t>(e)], e, stop, held(e)) && !watch.failed();
        });
        if (end != TransferEnd::Done) {
            result.end = end;
            return result;
        }
        result.completed.push_back(e);
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

    // Reads back the given effects into `found` and settles them against the backup; at the end
    // the unit must still show what was written and read, so no other unit took the writes.
    UnitBackup found = backup;
    const auto readBack = [&](const std::set<int>& which, bool whole) {
        const UnitMirror written = link.mirror();
        return run(link, progress, [&](const FailureWatch& watch) {
            const auto stop = [&] { return watch.failed() || progress.cancelled(); };
            if (!readInto(editor, progress, which, whole, found, watch))
                return false;
            const Settled settled = settle(editor, progress, backup, found, which, whole, stop);
            if (settled.outcome == Confirm::Unconfirmed)
                result.problem = neverAgreed(settled.what);
            if (settled.outcome != Confirm::Agreed)
                return false;
            progress.resize(progress.done() + kFullFingerprintExchanges + progress.tail);
            const auto now = readFingerprint(link, FingerprintDepth::Full);
            if (now.outcome == Confirm::Agreed && !mirrorShows(written, now.value))
                result.problem = kAnotherUnitText;
            return now.outcome == Confirm::Agreed && result.problem.empty() && !watch.failed();
        });
    };
    // Every effect is read back, those the unit was read to hold as well.
    result.end = readBack(effects, unitWide);
    if (result.end == TransferEnd::Done && ahead) {
        // A damaged read before the writes may have spared a write the unit lacked: an effect
        // that reads back otherwise is written once more in full and read back again.
        std::set<int> again;
        for (int e : effects)
            if (!differences(backup, found, {e}, false).empty())
                again.insert(e);
        const int count = static_cast<int>(again.size());
        progress.resize(progress.done() + count * (kSlotCount * kSlotWrites + kDeviceColumns + 1) +
                        readSteps(count, count * kSlotCount, false));
        for (int e : again) {
            forgetEffect(link, e);
            const TransferEnd end = run(link, progress, [&](const FailureWatch& watch) {
                const auto stop = [&] { return watch.failed() || progress.cancelled(); };
                return writeEffect(link, backup.effects[static_cast<std::size_t>(e)], e, stop,
                                   [](int) { return false; }) &&
                    !watch.failed();
            });
            if (end != TransferEnd::Done) {
                result.end = end;
                return result;
            }
        }
        if (!again.empty())
            result.end = readBack(again, false);
    }
    if (!result.problem.empty())
        result.end = result.problem == kAnotherUnitText ? TransferEnd::OtherUnit : TransferEnd::Unconfirmed;
    if (result.end == TransferEnd::Done)
        result.differences = differences(backup, found, effects, unitWide);
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
        // The restore read all of it back.
        for (const UnitItem& item : presetItems(e))
            s.known.set(item, UnitKnowledge::Depth::Confirmed);
        s.known.set({UnitPart::Row, e}, UnitKnowledge::Depth::Confirmed);
        for (int c = 0; c < kDeviceColumns; ++c)
            s.known.fullRow(e, c) = effect.live[static_cast<std::size_t>(c)];
        s.known.set({UnitPart::FullRow, e}, UnitKnowledge::Depth::Confirmed);
        for (int slot = 0; slot < kSlotCount; ++slot) {
            s.known.slotData(e, slot) = effect.presets[static_cast<std::size_t>(slot)].data;
            s.known.setSlot(e, slot, UnitKnowledge::Depth::Confirmed);
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
