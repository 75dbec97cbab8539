#include "MemoryDump.hpp"

#include "link/LiveRows.hpp"
#include "link/LongOperation.hpp"

#include "link/Resume.hpp"
#include "link/UnitIdentity.hpp"
#include "state/CodePage.hpp"

#include <charconv>
#include <exception>
#include <numeric>
#include <stdexcept>

namespace qrv {

namespace {

constexpr int kStoredPresetReads = kDeviceColumns;

bool holdsPreset(const std::string& directoryText)
{
    int value = 0;
    const auto [end, error] = std::from_chars(directoryText.data(), directoryText.data() + directoryText.size(), value);
    return error == std::errc() && end == directoryText.data() + directoryText.size() && value == Addr::SlotUsed;
}

int storedPresetCount(const ProgramState& s)
{
    int count = 0;
    for (const auto& slots : s.presetDirectory)
        for (const auto& text : slots)
            count += holdsPreset(text) ? 1 : 0;
    return count;
}

// Advances the splash progress bar with every exchange while it lives.
class DumpProgress {
public:
    DumpProgress(DeviceLink& link, Host& host, ProgressBar& bar) : link_(link), host_(host), bar_(bar)
    {
        link_.setExchangeObserver([this] {
            if (bar_.value < bar_.max)
                ++bar_.value;
            host_.refresh(Window::Splash);
            // The names to read are known once the directory is.
            if (bar_.max != shownMax_)
                host_.resizeProgress(shownMax_ = bar_.max);
        });
    }
    ~DumpProgress() { link_.setExchangeObserver({}); }
    DumpProgress(const DumpProgress&) = delete;
    DumpProgress& operator=(const DumpProgress&) = delete;

private:
    DeviceLink& link_;
    Host& host_;
    ProgressBar& bar_;
    int shownMax_ = 0;
};

// Every effect's live row by block: the selection at the end reads the stored preset, and
// the rows keep only the columns the byte-by-byte order fills.
template <class Watch> void readLiveByBlocks(Editor& editor, const Watch& watch)
{
    ProgramState& s = editor.state();
    std::vector<int> effects(kEffectCount);
    std::iota(effects.begin(), effects.end(), 0);
    const int current = s.currentEffect;
    const auto columns = [&](int e) { return e == current ? kDeviceColumns : s.tables.parameterCount[e]; };
    LiveRowTable rows{};
    editor.link().ArmPort(32);
    const LiveRead read = readLiveRows(
        editor.link(), editor.state(), editor.host(), effects, columns, rows, [&] { return watch.failed(); }, true);
    editor.link().ArmPort(10);
    if (read != LiveRead::Done) {
        if (!watch.failed())
            throw std::runtime_error("no reply to a live read");
        return;
    }
    for (int e : effects) {
        for (int c = 0; c < columns(e); ++c)
            s.store.at(e, c) = rows[static_cast<std::size_t>(e)][static_cast<std::size_t>(c)];
        s.startConfig.copyRowFrom(s.store, e);
    }
}

// A Cancel stops the reading like a lost port does: what was read so far is void.
struct Stop {
    const FailureWatch& failure;
    const LongOperation& operation;
    bool failed() const { return failure.failed() || operation.cancelled(); }
};

// A read that took no reply leaves nothing to use: a lost port starts the dump over,
// anything else ends it rather than keep a stale byte.
uint8_t readOrThrow(DeviceLink& link, const Stop& watch, uint16_t address)
{
    const auto value = link.tryReadByte(address);
    if (!value && !watch.failed())
        throw std::runtime_error("no reply to a read");
    return value.value_or(0);
}

// The unit-wide bytes a page needs before anything else: its effect and the switch.
void readEffectAndSwitch(Editor& editor, const Stop& watch)
{
    ProgramState& s = editor.state();
    s.currentEffect = readOrThrow(editor.link(), watch, Addr::CurrentEffect);
    if (!editor.link().SendCommand(Cmd::ReadSwitch) && !watch.failed())
        throw std::runtime_error("no reply to the switch read");
    s.effectSwitchState = s.replyBuffer[6];
}

// What the page of the unit's current effect needs: the effect, the switch and its live row.
void readFirst(Editor& editor, const Stop& watch)
{
    ProgramState& s = editor.state();
    DeviceLink& link = editor.link();
    s.known.setAll(UnitKnowledge::Depth::Unread);
    readEffectAndSwitch(editor, watch);
    link.ArmPort(32);
    const auto effect = static_cast<uint8_t>(s.currentEffect);
    if (!watch.failed() && !link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, effect) && !watch.failed())
        throw std::runtime_error("no reply to the live row's read");
    link.ArmPort(10);
    if (watch.failed())
        return;
    for (int c = 0; c < kDeviceColumns; ++c)
        s.store.at(effect, c) = s.replyBuffer[static_cast<std::size_t>(c)];
    s.startConfig.copyRowFrom(s.store, effect);
    s.known.set({UnitPart::Row, effect}, UnitKnowledge::Depth::Read);
    s.known.setStoredEffect(effect, UnitKnowledge::Depth::Unread);
}

// Steps 2 to 11: everything read from the device into the state. Stops at the first port
// failure: the attempt is void then, and the rest would only cost wire time.
void readDevice(Editor& editor, ProgressBar& bar, const Stop& watch)
{
    ProgramState& s = editor.state();
    DeviceLink& link = editor.link();
    Host& host = editor.host();
    const int withoutNames = dumpExchangesWithoutNames(s);

    // Until the directory is known every slot may hold a name.
    bar.value = 0;
    bar.max = withoutNames + kEffectCount * kSlotCount;
    const auto read = [&](uint16_t address) { return readOrThrow(link, watch, address); };

    readEffectAndSwitch(editor, watch);

    for (int e = 0; e < kEffectCount; ++e) {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            if (watch.failed())
                return;
            s.presetDirectory[e][slot] = std::to_string(read(Addr::directory(e, slot)));
        }
    }
    bar.max = withoutNames + storedPresetCount(s);

    for (int e = 0; e < kEffectCount && !watch.failed(); ++e)
        s.presetSlotNumbers[e] = std::to_string(read(Addr::slotNumber(e)));
    if (watch.failed())
        return;

    host.sleep(80);
    if (blockReadsUsable(s)) {
        readLiveByBlocks(editor, watch);
    } else {
        if (!editor.ReadStoredPreset(s.currentEffect, editor.presetSlot(s.currentEffect)) && !watch.failed())
            throw std::runtime_error("no reply to a stored-preset read");

        for (int e = 0; e < kEffectCount; ++e) {
            for (int c = 0; c < s.tables.parameterCount[e]; ++c) {
                if (watch.failed())
                    return;
                s.store.at(e, c) = read(Addr::live(e, c));
            }
            s.startConfig.copyRowFrom(s.store, e);
        }
        if (watch.failed())
            return;

        link.ArmPort(32);
        if (!watch.failed() &&
            link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, static_cast<uint8_t>(s.currentEffect))) {
            for (int c = 0; c < kDeviceColumns; ++c)
                s.store.at(s.currentEffect, c) = s.replyBuffer[c];
            s.startConfig.copyRowFrom(s.store, s.currentEffect);
        }
    }
    if (watch.failed())
        return;

    link.ArmPort(8);
    for (int e = 0; e < kEffectCount; ++e) {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            if (watch.failed())
                return;
            if (!holdsPreset(s.presetDirectory[e][slot])) {
                s.presetNames[e][slot] = kEmptySlotName;
                continue;
            }
            if (link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, static_cast<uint8_t>(e), static_cast<uint8_t>(slot)))
                s.presetNames[e][slot] =
                    latin1ToUtf8({reinterpret_cast<const char*>(s.replyBuffer.data()), std::size_t{8}});
        }
    }
    if (!watch.failed())
        link.ArmPort(10);
}

// Step 12: the editor shows the device's effect; no handler sends meanwhile.
void showCurrentEffect(Editor& editor, Editor::Presets presets)
{
    ProgramState& s = editor.state();
    FrmMain& form = editor.form();
    s.LinkUp = false;
    form.Check1.value = s.effectSwitchState == 1 ? 1 : 0;
    editor.SendEffectSwitch();
    s.selectionLock = true;
    form.Combo1.index = s.currentEffect;
    s.selectionLock = false;
    editor.SelectEffect(s.currentEffect, presets);
    s.LinkUp = true;
}

} // namespace

int dumpExchangesWithoutNames(const ProgramState& state)
{
    const auto& counts = state.tables.parameterCount;
    const int unitWide = 2 + kEffectCount * kSlotCount + kEffectCount;
    if (blockReadsUsable(state)) {
        std::vector<int> effects(kEffectCount);
        std::iota(effects.begin(), effects.end(), 0);
        const auto columns = [&](int e) { return counts[static_cast<std::size_t>(e)]; };
        return unitWide + liveRowExchanges(state, effects, columns) + kStoredPresetReads;
    }
    const int liveReads = std::accumulate(counts.begin(), counts.end(), 0);
    return unitWide + kStoredPresetReads + liveReads + 1 + kStoredPresetReads;
}

namespace {

// What a dump replaces, so that a cancelled one can leave the editor as it was.
struct ReadState {
    int16_t currentEffect, effectSwitchState;
    ParameterTable store, startConfig, deviceCopy;
    decltype(ProgramState::presetDirectory) directory;
    decltype(ProgramState::presetNames) names;
    decltype(ProgramState::presetSlotNumbers) slotNumbers;
    UnitKnowledge known;

    explicit ReadState(const ProgramState& s)
        : currentEffect(s.currentEffect), effectSwitchState(s.effectSwitchState), store(s.store),
          startConfig(s.startConfig), deviceCopy(s.deviceCopy), directory(s.presetDirectory), names(s.presetNames),
          slotNumbers(s.presetSlotNumbers), known(s.known)
    {
    }
    void restore(ProgramState& s) const
    {
        s.currentEffect = currentEffect;
        s.effectSwitchState = effectSwitchState;
        s.store = store;
        s.startConfig = startConfig;
        s.deviceCopy = deviceCopy;
        s.presetDirectory = directory;
        s.presetNames = names;
        s.presetSlotNumbers = slotNumbers;
        s.known = known;
    }
};

bool dump(Editor& editor, FrmSplash& splash, bool cancellable, UnitRead extent)
{
    Host& host = editor.host();
    const ReadState before(editor.state());
    try {
        host.setBusy(Window::Main, true);
        splash.Label1.caption = kDumpingCaption;
        splash.ProgressBar1.visible = true;
        host.refresh(Window::Splash);

        DumpProgress progress(editor.link(), host, splash.ProgressBar1);
        const bool whole = extent == UnitRead::Whole;
        const int steps = whole ? dumpExchangesWithoutNames(editor.state()) + kEffectCount * kSlotCount : kFirstReads;
        const LongOperation operation(editor.link(), host, whole ? kDumpProgressTitle : kFirstReadsTitle, steps,
                                      cancellable);
        const bool complete = runStartingOverAfterReconnect(editor.link(), [&](const FailureWatch& failure) {
            const Stop watch{failure, operation};
            if (whole) {
                editor.state().known.setAll(UnitKnowledge::Depth::Read);
                readDevice(editor, splash.ProgressBar1, watch);
            } else {
                splash.ProgressBar1.value = 0;
                splash.ProgressBar1.max = kFirstReads;
                readFirst(editor, watch);
            }
            if (!watch.failed())
                showCurrentEffect(editor, whole ? Editor::Presets::Now : Editor::Presets::Later);
        });
        if (!complete || operation.cancelled()) {
            if (operation.cancelled()) {
                before.restore(editor.state());
                editor.RefreshPage();
            }
            host.setBusy(Window::Main, false);
            return false;
        }

        editor.state().presetDirectoryUnknown = false;
        editor.state().unitChanged = false;
        editor.form().Label8.visible = false;
        editor.form().TimerCompare.interval = 1000;
        editor.form().TimerCompare.enabled = true;
        host.setBusy(Window::Main, false);
        return true;
    } catch (const std::exception&) {
        endWithUsbProblem(host);
    }
}

} // namespace

bool DumpDeviceMemory(Editor& editor, FrmSplash& splash, UnitRead extent)
{
    return dump(editor, splash, false, extent);
}

bool ReadUnitAgain(Editor& editor, FrmSplash& splash, UnitRead extent)
{
    // Another unit: whether its block read holds is still to be seen.
    editor.state().blockReads = ProgramState::BlockReads::Untried;
    return dump(editor, splash, true, extent);
}

std::optional<std::string> confirmDumpedRows(Editor& editor)
{
    ProgramState& s = editor.state();
    DeviceLink& link = editor.link();
    const auto columns = [&s](int e) {
        return e == s.currentEffect ? kDeviceColumns : static_cast<int>(s.tables.parameterCount[static_cast<std::size_t>(e)]);
    };
    const auto effect = readUntilAgreed([&link] { return link.tryReadByte(Addr::CurrentEffect); },
                                        std::vector<uint8_t>{static_cast<uint8_t>(s.currentEffect)});
    if (effect.outcome != Confirm::Agreed)
        return neverAgreed("the current effect");
    if (effect.value != s.currentEffect)
        return std::string("the current effect read otherwise the second time");
    std::vector<int> effects(kEffectCount);
    std::iota(effects.begin(), effects.end(), 0);
    LiveRowTable again{};
    link.ArmPort(32);
    const LiveRead read =
        readLiveRows(link, s, editor.host(), effects, columns, again, [] { return false; }, true);
    link.ArmPort(10);
    if (read != LiveRead::Done)
        return "the link failed while the values were read a second time";
    for (int e : effects)
        for (int c = 0; c < columns(e); ++c) {
            const uint8_t first = s.startConfig.at(e, c);
            const auto settled = readUntilAgreed(
                [&link, e, c] { return link.tryReadByte(Addr::live(e, c)); },
                std::vector<uint8_t>{first, again[static_cast<std::size_t>(e)][static_cast<std::size_t>(c)]});
            if (settled.outcome != Confirm::Agreed)
                return neverAgreed(std::string(catalogue::effect(e).listText) + " live value " + std::to_string(c));
            if (settled.value != first)
                s.startConfig.at(e, c) = s.store.at(e, c) = settled.value;
        }
    return std::nullopt;
}

} // namespace qrv
