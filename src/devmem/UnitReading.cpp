#include "UnitReading.hpp"

#include "MemoryDump.hpp"

#include "link/LiveRows.hpp"
#include "link/LongOperation.hpp"
#include "link/UnitIdentity.hpp"
#include "state/CodePage.hpp"

#include <algorithm>
#include <charconv>

namespace qrv {

namespace {

using Depth = UnitKnowledge::Depth;

// Provisions shorter than this go by without a progress window.
constexpr int kQuietProvision = 6;

uint8_t parsedByte(const std::string& text)
{
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return static_cast<uint8_t>(value);
}

} // namespace

uint16_t UnitReading::address(const UnitItem& item) const
{
    switch (item.part) {
    case UnitPart::Directory:
        return Addr::directory(item.effect, item.index);
    case UnitPart::SlotNumber:
        return Addr::slotNumber(item.effect);
    case UnitPart::StoredSlot:
        return Addr::stored(item.effect, item.index, item.column);
    default:
        return Addr::stored(item.effect, editor_.presetSlot(item.effect), item.index);
    }
}

uint8_t UnitReading::heldByte(const UnitItem& item) const
{
    const ProgramState& s = editor_.state();
    const auto e = static_cast<std::size_t>(item.effect);
    switch (item.part) {
    case UnitPart::Directory:
        return parsedByte(s.presetDirectory[e][static_cast<std::size_t>(item.index)]);
    case UnitPart::SlotNumber:
        return parsedByte(s.presetSlotNumbers[e]);
    case UnitPart::StoredSlot:
        return s.known.slotData(item.effect, item.index)[static_cast<std::size_t>(item.column)];
    default:
        return s.deviceCopy.at(item.effect, item.index);
    }
}

void UnitReading::hold(const UnitItem& item, uint8_t value)
{
    ProgramState& s = editor_.state();
    const auto e = static_cast<std::size_t>(item.effect);
    if (item.part == UnitPart::Directory)
        s.presetDirectory[e][static_cast<std::size_t>(item.index)] = std::to_string(value);
    else if (item.part == UnitPart::SlotNumber)
        s.presetSlotNumbers[e] = std::to_string(value);
    else if (item.part == UnitPart::StoredSlot)
        s.known.slotData(item.effect, item.index)[static_cast<std::size_t>(item.column)] = value;
    else
        s.deviceCopy.at(item.effect, item.index) = value;
}

void UnitReading::proved(const UnitItem& item)
{
    UnitKnowledge& known = editor_.state().known;
    if (item.part == UnitPart::Directory) {
        known.set({UnitPart::Name, item.effect, item.index}, Depth::Unread);
        known.setSlot(item.effect, item.index, Depth::Unread);
    }
    else if (item.part == UnitPart::SlotNumber && item.effect == known.storedEffect())
        known.setStoredEffect(item.effect, Depth::Unread);
}

UnitReading::Step UnitReading::readByteItem(const UnitItem& item, Pass pass)
{
    DeviceLink& link = editor_.link();
    const uint16_t at = address(item);
    const auto value = link.tryReadByte(at);
    if (!value)
        return Step::Failed;
    if (pass == Pass::Read) {
        hold(item, *value);
        return Step::Progressed;
    }
    const uint8_t before = heldByte(item);
    const auto settled = readUntilAgreed([&link, at] { return link.tryReadByte(at); }, std::vector<uint8_t>{before, *value});
    if (settled.outcome != Confirm::Agreed)
        return unconfirmed(settled.outcome, item);
    if (settled.value != before) {
        hold(item, settled.value);
        proved(item);
    }
    return Step::Progressed;
}

UnitReading::Step UnitReading::readName(const UnitItem& item, Pass pass)
{
    ProgramState& s = editor_.state();
    std::string& name = s.presetNames[static_cast<std::size_t>(item.effect)][static_cast<std::size_t>(item.index)];
    if (heldByte({UnitPart::Directory, item.effect, item.index}) != Addr::SlotUsed) {
        name = kEmptySlotName;
        return Step::Progressed;
    }
    DeviceLink& link = editor_.link();
    const auto readOnce = [&]() -> std::optional<std::string> {
        link.ArmPort(8);
        const bool answered = link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, static_cast<uint8_t>(item.effect),
                                              static_cast<uint8_t>(item.index));
        link.ArmPort(10);
        if (!answered)
            return std::nullopt;
        return latin1ToUtf8({reinterpret_cast<const char*>(s.replyBuffer.data()), std::size_t{Addr::NameLength}});
    };
    const auto first = readOnce();
    if (!first)
        return Step::Failed;
    if (pass == Pass::Read) {
        name = *first;
        return Step::Progressed;
    }
    const auto settled = readUntilAgreed(readOnce, std::vector<std::string>{name, *first});
    if (settled.outcome != Confirm::Agreed)
        return unconfirmed(settled.outcome, item);
    name = settled.value;
    return Step::Progressed;
}

UnitReading::Step UnitReading::readRow(const UnitItem& item, Pass pass, const std::function<bool()>& stop)
{
    ProgramState& s = editor_.state();
    DeviceLink& link = editor_.link();
    const int effect = item.effect;
    const bool full = item.part == UnitPart::FullRow;
    // The selected effect's row came whole with its selection; the others as far as their parameters go.
    const int count = full || effect == s.currentEffect ? kDeviceColumns
                                                        : s.tables.parameterCount[static_cast<std::size_t>(effect)];
    const auto columns = [count](int) { return count; };
    // The unit's own row is what tells a block for another effect from a repeat of it.
    LiveRow current{};
    std::copy_n(s.store.row(s.currentEffect).begin(), kDeviceColumns, current.begin());
    LiveRowTable rows{};
    link.ArmPort(32);
    const LiveRead read = readLiveRows(link, s, editor_.host(), {effect}, columns, rows, stop, true, &current);
    link.ArmPort(10);
    if (read == LiveRead::Stopped && stop())
        return Step::Stopped;
    if (read != LiveRead::Done)
        return Step::Failed;
    const auto& row = rows[static_cast<std::size_t>(effect)];
    for (int c = 0; c < count; ++c) {
        const uint8_t value = row[static_cast<std::size_t>(c)];
        // A whole row is kept beside the store; the store's own columns the user may have changed
        // since, and then they show the change, not what the unit held.
        uint8_t& first = full ? s.known.fullRow(effect, c) : s.startConfig.at(effect, c);
        if (pass == Pass::Read) {
            (full ? first : s.store.at(effect, c)) = value;
            continue;
        }
        if (!full && s.store.at(effect, c) != first)
            continue;
        const auto settled = readUntilAgreed([&link, effect, c] { return link.tryReadByte(Addr::live(effect, c)); },
                                             std::vector<uint8_t>{first, value});
        if (settled.outcome != Confirm::Agreed)
            return unconfirmed(settled.outcome, {item.part, effect, c});
        first = settled.value;
        if (!full)
            s.store.at(effect, c) = settled.value;
    }
    if (pass == Pass::Read && !full)
        s.startConfig.copyRowFrom(s.store, effect);
    return Step::Progressed;
}

UnitReading::Step UnitReading::unconfirmed(Confirm outcome, const UnitItem& item)
{
    if (outcome == Confirm::Failed)
        return Step::Failed;
    static constexpr const char* kParts[] = {"live row",         "directory byte", "slot number",   "name",
                                             "stored preset byte", "live row",     "stored slot"};
    const std::string byte = item.part == UnitPart::StoredSlot ? " byte " + std::to_string(item.column) : "";
    editor_.host().log(neverAgreed(std::string(catalogue::effect(item.effect).listText) + " " +
                                   kParts[static_cast<int>(item.part)] + " " + std::to_string(item.index) + byte));
    return Step::Failed;
}

// A name or a stored slot's byte needs its slot's directory byte; a stored preset its slot number.
std::optional<UnitItem> UnitReading::prerequisite(const UnitItem& item)
{
    switch (item.part) {
    case UnitPart::Name:
    case UnitPart::StoredSlot:
        return UnitItem{UnitPart::Directory, item.effect, item.index};
    case UnitPart::StoredPreset:
        return UnitItem{UnitPart::SlotNumber, item.effect};
    default:
        return std::nullopt;
    }
}

UnitReading::Step UnitReading::take(const UnitItem& item, Pass pass, const std::function<bool()>& stop)
{
    UnitKnowledge& known = editor_.state().known;
    const std::optional<UnitItem> first = prerequisite(item);
    if (first && known.depth(*first) == Depth::Unread) {
        const Step step = take(*first, Pass::Read, stop);
        if (step != Step::Progressed || stop())
            return step == Step::Progressed ? Step::Stopped : step;
    }
    Step step = Step::Progressed;
    switch (item.part) {
    case UnitPart::Row:
    case UnitPart::FullRow:
        step = readRow(item, pass, stop);
        break;
    case UnitPart::Name:
        step = readName(item, pass);
        break;
    case UnitPart::StoredSlot:
        step = readSlotByte(item, pass);
        break;
    default:
        step = readByteItem(item, pass);
        break;
    }
    if (step == Step::Progressed) {
        known.set(item, pass == Pass::Read ? Depth::Read : Depth::Confirmed);
        pieceArrived(item);
    }
    return step;
}

void UnitReading::pieceArrived(const UnitItem& item)
{
    // The page's caption names the current effect's slot and its name.
    const int current = editor_.state().currentEffect;
    const bool captionPart =
        item.part == UnitPart::SlotNumber || item.part == UnitPart::Directory || item.part == UnitPart::Name;
    if (item.effect == current && captionPart)
        editor_.showPresetCaption(current);
}

UnitReading::Step UnitReading::readSlotByte(const UnitItem& item, Pass pass)
{
    if (slotStored(item))
        return readByteItem(item, pass);
    UnitKnowledge& known = editor_.state().known;
    known.slotData(item.effect, item.index).fill(0);
    known.setSlot(item.effect, item.index, pass == Pass::Read ? Depth::Read : Depth::Confirmed);
    return Step::Progressed;
}

bool UnitReading::slotStored(const UnitItem& item) const
{
    return heldByte({UnitPart::Directory, item.effect, item.index}) == Addr::SlotUsed;
}

bool UnitReading::provide(const std::vector<UnitItem>& items)
{
    const UnitKnowledge& known = editor_.state().known;
    std::vector<UnitItem> missing;
    std::copy_if(items.begin(), items.end(), std::back_inserter(missing),
                 [&known](const UnitItem& item) { return known.depth(item) == Depth::Unread; });
    if (missing.empty())
        return true;
    std::optional<LongOperation> progress;
    if (!quiet_ && static_cast<int>(missing.size()) > kQuietProvision)
        progress.emplace(editor_.link(), editor_.host(), kDumpProgressTitle, static_cast<int>(missing.size()));
    const auto never = [] { return false; };
    for (const UnitItem& item : missing)
        if (known.depth(item) == Depth::Unread && take(item, Pass::Read, never) != Step::Progressed)
            return false;
    // Pieces a read gave with another (an empty slot's name) took no exchange of their own.
    if (progress)
        progress->complete();
    return true;
}

UnitReading::Step UnitReading::backgroundStep(const std::function<bool()>& userWaiting)
{
    if (userWaiting())
        return Step::Stopped;
    const UnitKnowledge& known = editor_.state().known;
    // What the pages need first, read and confirmed; then what a backup needs.
    std::vector<std::vector<UnitItem>> phases{everyItem(known.storedEffect())};
    if (forBackup_)
        phases.push_back(backupItems());
    for (const auto& items : phases)
        for (const Depth wanted : {Depth::Unread, Depth::Read}) {
            const auto next = std::find_if(items.begin(), items.end(),
                                           [&](const UnitItem& item) { return known.depth(item) == wanted; });
            if (next != items.end())
                return take(*next, wanted == Depth::Unread ? Pass::Read : Pass::Confirm, userWaiting);
        }
    return Step::Done;
}

UnitBackup UnitReading::held() const
{
    const ProgramState& s = editor_.state();
    UnitBackup unit;
    unit.currentEffect = static_cast<uint8_t>(s.currentEffect);
    unit.effectSwitch = static_cast<uint8_t>(s.effectSwitchState);
    for (int e = 0; e < kEffectCount; ++e) {
        EffectBackup& effect = unit.effects[static_cast<std::size_t>(e)];
        const int inStore = s.tables.parameterCount[static_cast<std::size_t>(e)];
        for (int c = 0; c < kDeviceColumns; ++c)
            effect.live[static_cast<std::size_t>(c)] = c < inStore ? s.store.at(e, c) : s.known.fullRow(e, c);
        effect.slotNumber = heldByte({UnitPart::SlotNumber, e});
        for (int slot = 0; slot < kSlotCount; ++slot) {
            SlotBackup& b = effect.presets[static_cast<std::size_t>(slot)];
            b.directory = heldByte({UnitPart::Directory, e, slot});
            if (!b.stored())
                continue;
            const std::string name = utf8ToLatin1(s.presetNames[static_cast<std::size_t>(e)][static_cast<std::size_t>(slot)]);
            std::copy_n(name.begin(), std::min(name.size(), b.name.size()), b.name.begin());
            b.data = s.known.slotData(e, slot);
        }
    }
    return unit;
}

bool UnitReading::finished() const
{
    return editor_.state().known.all(Depth::Confirmed);
}

std::pair<int, int> UnitReading::progress() const
{
    const UnitKnowledge& known = editor_.state().known;
    std::vector<UnitItem> items = everyItem(known.storedEffect());
    if (finished()) {
        // An empty slot's bytes cost no exchange.
        items = backupItems();
        std::erase_if(items, [this](const UnitItem& item) { return item.part == UnitPart::StoredSlot && !slotStored(item); });
    }
    int done = 0;
    for (const UnitItem& item : items)
        done += static_cast<int>(known.depth(item));
    return {done, 2 * static_cast<int>(items.size())};
}

} // namespace qrv
