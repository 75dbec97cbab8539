#include "UnitSlots.hpp"

#include "MemoryDump.hpp" // kEmptySlotName
#include "PresetDialogs.hpp"

#include "link/LongOperation.hpp"
#include "link/Resume.hpp"
#include "link/UnitCheck.hpp"
#include "link/UnitIdentity.hpp"
#include "state/CodePage.hpp"
#include "storage/FileAccess.hpp"
#include "storage/FileCodec.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <map>
#include <set>

namespace qrv {

namespace {

using Depth = UnitKnowledge::Depth;
using Image = SlotBackup;

constexpr const char* kNotConnectedText =
    "The QRV5173 is not connected: nothing was changed. Use ReConnect once it is plugged in.";
// The unit's own mark of a slot that holds nothing: erased memory.
constexpr uint8_t kEmptyDirectory = Addr::SlotErased;
// Name, data, directory: the order a slot's bytes are written in.
constexpr int kImageBytes = kNameLength + kDeviceColumns + 1;

std::string effectName(int effect)
{
    return catalogue::effect(effect).listText;
}

std::string slotText(SlotRef at)
{
    return effectName(at.effect) + " " + std::to_string(at.slot + 1);
}

std::string presetsText(std::size_t count)
{
    return countText(count, "preset");
}

bool validRef(SlotRef at)
{
    return at.effect >= 0 && at.effect < kEffectCount && at.slot >= 0 && at.slot < kSlotCount;
}

uint16_t imageAddress(SlotRef at, int i)
{
    if (i < kNameLength)
        return Addr::name(at.effect, at.slot, i);
    if (i < kNameLength + kDeviceColumns)
        return Addr::stored(at.effect, at.slot, i - kNameLength);
    return Addr::directory(at.effect, at.slot);
}

template <class SlotImage> auto& imageByte(SlotImage& image, int i)
{
    if (i < kNameLength)
        return image.name[static_cast<std::size_t>(i)];
    if (i < kNameLength + kDeviceColumns)
        return image.data[static_cast<std::size_t>(i - kNameLength)];
    return image.directory;
}

// The slot whose byte lives at the address, and which byte of its image it is.
std::optional<std::pair<SlotRef, int>> imagePlace(uint16_t address)
{
    const auto within = [address](uint16_t first, int span) { return address >= first && address < first + span; };
    const int a = address;
    if (within(Addr::name(0, 0, 0), kEffectCount * kSlotCount * kNameLength)) {
        const int i = a - Addr::name(0, 0, 0);
        return std::pair{SlotRef{i / (kSlotCount * kNameLength), i / kNameLength % kSlotCount}, i % kNameLength};
    }
    if (within(Addr::stored(0, 0, 0), kEffectCount * kSlotCount * kDeviceColumns)) {
        const int i = a - Addr::stored(0, 0, 0);
        return std::pair{SlotRef{i / (kSlotCount * kDeviceColumns), i / kDeviceColumns % kSlotCount},
                         kNameLength + i % kDeviceColumns};
    }
    if (within(Addr::directory(0, 0), kEffectCount * kSlotCount)) {
        const int i = a - Addr::directory(0, 0);
        return std::pair{SlotRef{i / kSlotCount, i % kSlotCount}, kImageBytes - 1};
    }
    return std::nullopt;
}

std::optional<int> parsedNumber(const std::string& text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// An effect's name compared without case and blanks; nothing for a text no name can be.
std::optional<std::string> nameKey(std::string_view text)
{
    std::string key;
    for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        else if (std::string_view(" -_").find(c) == std::string_view::npos)
            return std::nullopt;
    }
    return key.empty() ? std::nullopt : std::optional(key);
}

// What an operation writes: each slot's whole image in write order, and the slot numbers that move.
struct Plan {
    std::vector<std::pair<SlotRef, Image>> slots;
    std::map<int, uint8_t> slotNumbers;
};
using Images = std::map<SlotRef, Image>;
using Build = std::function<Plan(const Images& before)>;

// Reads what it lacks, writes a plan in the safe order with every byte read back, keeps the
// editor's records equal to the unit, and records the step.
class SlotWriter {
public:
    explicit SlotWriter(Editor& editor, UnitSlots::Undo undo = UnitSlots::Undo::Offered)
        : editor_(editor), state_(editor.state()), link_(editor.link()), known_(editor.state().known), undo_(undo)
    {
    }

    // The presets the operation needs could not be read.
    SlotOutcome unread(TransferEnd end) const
    {
        return {end, false, "The presets could not be read: " + endText(end) + " Nothing was changed.", {}};
    }
    SlotOutcome unread() const { return unread(endOf(false, false)); }

    std::optional<SlotOutcome> refusal() const
    {
        if (state_.DemoMode)
            return std::nullopt;
        if (!link_.sendingAllowed())
            return SlotOutcome{TransferEnd::Done, true, kNotConnectedText, {}};
        if (state_.unitChanged)
            return SlotOutcome{TransferEnd::Done, true, kOtherUnitUnreadText, {}};
        return std::nullopt;
    }

    // The slot as the editor holds it, when it holds all of it confirmed.
    std::optional<Image> held(SlotRef at) const
    {
        const int e = at.effect;
        const int s = at.slot;
        if (known_.depth({UnitPart::Directory, e, s}) != Depth::Confirmed)
            return std::nullopt;
        Image image;
        image.directory = static_cast<uint8_t>(parsedNumber(directoryText(at)).value_or(0));
        image.data = known_.slotData(e, s);
        if (known_.heldWhole(e, s)) {
            image.name = known_.nameBytes(e, s);
            return image;
        }
        if (!image.stored() || known_.depth({UnitPart::Name, e, s}) != Depth::Confirmed)
            return std::nullopt;
        for (int c = 0; c < kDeviceColumns; ++c)
            if (known_.depth({UnitPart::StoredSlot, e, s, c}) != Depth::Confirmed)
                return std::nullopt;
        image.name = nameBytesOf(state_.presetNames[idx(e)][idx(s)]);
        return image;
    }

    // What the records say, for demo mode, where there is no unit to ask.
    Image recorded(SlotRef at) const
    {
        if (const auto image = held(at))
            return *image;
        Image image;
        image.directory = static_cast<uint8_t>(parsedNumber(directoryText(at)).value_or(kEmptyDirectory));
        image.data = known_.slotData(at.effect, at.slot);
        image.name = nameBytesOf(image.stored() ? state_.presetNames[idx(at.effect)][idx(at.slot)] : std::string());
        return image;
    }

    // Reads the whole slot, every part until one value leads; nothing when the link failed or
    // the replies never agreed (then `problem_` says which).
    std::optional<Image> read(SlotRef at, const FailureWatch& watch)
    {
        Image image;
        const Image records = recorded(at);
        // What the editor read once of a stored slot counts as a first read.
        const auto readOnce = [&](const UnitItem& item) {
            return known_.depth(item) == Depth::Read && (item.part == UnitPart::Directory || records.stored());
        };
        const auto byteAt = [&](uint16_t address) {
            return [this, &watch, address]() -> std::optional<uint8_t> {
                return watch.failed() ? std::nullopt : link_.tryReadByte(address);
            };
        };
        const auto settled = [&](uint8_t& into, const UnitItem& item, uint8_t held, uint16_t address,
                                 const std::string& what) {
            const auto found =
                readUntilAgreed<uint8_t>(byteAt(address), readOnce(item) ? std::vector{held} : std::vector<uint8_t>{});
            if (found.outcome == Confirm::Unconfirmed)
                problem_ = neverAgreed(slotText(at) + " " + what);
            into = found.value;
            return found.outcome == Confirm::Agreed;
        };
        if (!settled(image.directory, {UnitPart::Directory, at.effect, at.slot}, records.directory,
                     Addr::directory(at.effect, at.slot), "directory byte"))
            return std::nullopt;
        link_.ArmPort(kNameLength);
        const auto name = readUntilAgreed<NameBytes>(
            [&]() -> std::optional<NameBytes> {
                if (watch.failed() ||
                    !link_.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, static_cast<uint8_t>(at.effect),
                                      static_cast<uint8_t>(at.slot)))
                    return std::nullopt;
                NameBytes bytes{};
                std::copy_n(state_.replyBuffer.begin(), kNameLength, bytes.begin());
                return bytes;
            },
            readOnce({UnitPart::Name, at.effect, at.slot}) ? std::vector{records.name} : std::vector<NameBytes>{});
        link_.ArmPort(10);
        if (name.outcome != Confirm::Agreed) {
            if (name.outcome == Confirm::Unconfirmed)
                problem_ = neverAgreed(slotText(at) + " name");
            return std::nullopt;
        }
        image.name = name.value;
        for (int c = 0; c < kDeviceColumns; ++c)
            if (!settled(image.data[idx(c)], {UnitPart::StoredSlot, at.effect, at.slot, c}, records.data[idx(c)],
                         Addr::stored(at.effect, at.slot, c), "data byte " + std::to_string(c)))
                return std::nullopt;
        return image;
    }

    // The records tell the slot as the unit holds it, confirmed.
    void keep(SlotRef at, const Image& image)
    {
        const int e = at.effect;
        const int s = at.slot;
        state_.presetDirectory[idx(e)][idx(s)] = std::to_string(image.directory);
        state_.presetNames[idx(e)][idx(s)] = image.stored() ? nameText(image.name) : kEmptySlotName;
        known_.set({UnitPart::Directory, e, s}, Depth::Confirmed);
        known_.set({UnitPart::Name, e, s}, Depth::Confirmed);
        known_.slotData(e, s) = image.data;
        known_.setSlot(e, s, Depth::Confirmed);
        known_.holdWhole(e, s, image.name);
    }

    // A slot a cut left unsure of: it counts as empty until it is read again.
    void forget(SlotRef at)
    {
        state_.presetDirectory[idx(at.effect)][idx(at.slot)] = std::to_string(Addr::SlotBeingWritten);
        state_.presetNames[idx(at.effect)][idx(at.slot)] = kEmptySlotName;
        known_.set({UnitPart::Directory, at.effect, at.slot}, Depth::Unread);
        known_.set({UnitPart::Name, at.effect, at.slot}, Depth::Unread);
        known_.setSlot(at.effect, at.slot, Depth::Unread);
    }

    // Every slot as the unit holds it, read where the editor does not hold it, under one progress.
    std::optional<Images> images(const std::vector<SlotRef>& refs, const std::string& title, SlotOutcome& outcome)
    {
        Images out;
        std::map<SlotRef, std::optional<Image>> now;
        for (SlotRef at : refs)
            now[at] = state_.DemoMode ? recorded(at) : held(at);
        const bool missing = std::any_of(now.begin(), now.end(), [](const auto& slot) { return !slot.second; });
        if (missing) {
            if (auto refused = refusal()) {
                outcome = *refused;
                return std::nullopt;
            }
            LongOperation operation(link_, editor_.host(), title, static_cast<int>(refs.size()) * kImageBytes * 2, true);
            bool complete = false;
            bool cancelled = false;
            const bool found = runStartingOverAfterReconnect(
                link_,
                [&](const FailureWatch& watch) {
                    for (auto& [at, image] : now) {
                        cancelled = operation.cancelled();
                        if (cancelled || !ensure(at, image, watch))
                            return;
                        keep(at, *image);
                    }
                    complete = true;
                },
                OtherUnit::Stop);
            if (!complete) {
                outcome = unread(endOf(found, cancelled));
                return std::nullopt;
            }
            operation.complete();
        }
        for (const auto& [at, image] : now)
            out.emplace(at, *image);
        return out;
    }

    SlotOutcome run(const std::string& label, const std::vector<SlotRef>& reads, const Build& build)
    {
        if (auto refused = refusal())
            return *refused;
        if (state_.DemoMode)
            return runOnRecords(label, reads, build);
        return runOnUnit(label, reads, build);
    }

    // Writes a slots step's bytes back (before ones to undo, after ones to redo).
    SlotOutcome replay(const HistoryStep& step, bool forward)
    {
        Plan plan;
        std::vector<SlotRef> order;
        for (const MemoryChange& change : step.memory) {
            const uint8_t value = forward ? change.after : change.before;
            if (const auto place = imagePlace(change.address)) {
                auto found = std::find_if(plan.slots.begin(), plan.slots.end(),
                                          [&](const auto& target) { return target.first == place->first; });
                if (found == plan.slots.end()) {
                    plan.slots.emplace_back(place->first, Image{});
                    order.push_back(place->first);
                    found = plan.slots.end() - 1;
                }
                imageByte(found->second, place->second) = value;
            } else {
                plan.slotNumbers[change.address - Addr::slotNumber(0)] = value;
            }
        }
        replaying_ = true;
        return run((forward ? "Redo " : "Undo ") + step.label, order, [&plan](const Images&) { return plan; });
    }

private:
    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }

    std::string directoryText(SlotRef at) const { return state_.presetDirectory[idx(at.effect)][idx(at.slot)]; }

    static NameBytes nameBytesOf(const std::string& text)
    {
        NameBytes bytes;
        bytes.fill(' ');
        const std::string latin1 = utf8ToLatin1(text);
        std::copy_n(latin1.begin(), std::min(latin1.size(), bytes.size()), bytes.begin());
        return bytes;
    }

    std::optional<uint8_t> heldSlotNumber(int effect) const
    {
        if (known_.depth({UnitPart::SlotNumber, effect}) != Depth::Confirmed)
            return std::nullopt;
        return static_cast<uint8_t>(parsedNumber(state_.presetSlotNumbers[idx(effect)]).value_or(0));
    }

    SlotOutcome runOnRecords(const std::string& label, const std::vector<SlotRef>& reads, const Build& build)
    {
        Images before;
        for (SlotRef at : reads)
            before.emplace(at, recorded(at));
        const Plan plan = build(before);
        std::map<int, uint8_t> numbersBefore;
        for (const auto& [effect, number] : plan.slotNumbers)
            numbersBefore[effect] = static_cast<uint8_t>(editor_.presetSlot(effect));
        SlotOutcome outcome;
        for (const auto& [at, image] : plan.slots) {
            if (recorded(at) != image)
                outcome.changed.push_back(at);
            keep(at, image);
        }
        for (const auto& [effect, number] : plan.slotNumbers)
            state_.presetSlotNumbers[idx(effect)] = std::to_string(number);
        finish(label, plan, before, numbersBefore);
        return outcome;
    }

    SlotOutcome runOnUnit(const std::string& label, const std::vector<SlotRef>& reads, const Build& build)
    {
        // Titled by what it does, so that its start and end say which operation ran.
        LongOperation operation(link_, editor_.host(), label, mostExchanges(reads), true);
        std::map<SlotRef, std::optional<Image>> now;   // what the unit holds; none when a cut left it unsure
        std::map<int, std::optional<uint8_t>> numbers; // likewise of the slot numbers
        Images before;
        std::map<int, uint8_t> numbersBefore;
        std::optional<Plan> plan;
        bool complete = false;
        bool cancelled = false;
        const bool found = runStartingOverAfterReconnect(
            link_,
            [&](const FailureWatch& watch) {
                for (SlotRef at : reads) {
                    if (!ensure(at, now[at], watch))
                        return;
                    before.try_emplace(at, *now[at]);
                }
                if (!plan)
                    plan = build(before);
                for (const auto& [at, target] : plan->slots)
                    if (!ensure(at, now[at], watch))
                        return;
                for (const auto& [effect, number] : plan->slotNumbers) {
                    auto& value = numbers[effect];
                    if (!value)
                        value = heldSlotNumber(effect);
                    if (!value) {
                        const auto settled = readUntilAgreed<uint8_t>([&]() -> std::optional<uint8_t> {
                            return watch.failed() ? std::nullopt : link_.tryReadByte(Addr::slotNumber(effect));
                        });
                        if (settled.outcome == Confirm::Unconfirmed)
                            problem_ = neverAgreed(effectName(effect) + " slot number");
                        if (settled.outcome != Confirm::Agreed)
                            return;
                        value = settled.value;
                    }
                    numbersBefore.try_emplace(effect, *value);
                }
                operation.expectMore(writesLeft(*plan, now, numbers) * 2);
                for (const auto& [at, target] : plan->slots) {
                    if (operation.cancelled()) {
                        cancelled = true;
                        return;
                    }
                    if (!writeSlot(at, now[at], target, watch))
                        return;
                }
                for (const auto& [effect, number] : plan->slotNumbers)
                    if (numbers[effect] != number && !put(Addr::slotNumber(effect), number, numbers[effect], watch)) {
                        known_.set({UnitPart::SlotNumber, effect}, Depth::Unread);
                        return;
                    }
                operation.complete();
                complete = true;
            },
            OtherUnit::Stop);

        SlotOutcome outcome;
        for (const auto& [at, image] : now) {
            // A slot that could not be read keeps its records; one a write left unsure was forgotten.
            if (image)
                keep(at, *image);
            if (touched(at, image, before))
                outcome.changed.push_back(at);
        }
        for (const auto& [effect, number] : numbers) {
            if (number)
                state_.presetSlotNumbers[idx(effect)] = std::to_string(*number);
            known_.set({UnitPart::SlotNumber, effect}, number ? Depth::Confirmed : Depth::Unread);
        }
        outcome.end = complete ? TransferEnd::Done : endOf(found, cancelled);
        if (plan && written_)
            finish(label, *plan, before, numbersBefore);
        if (!complete)
            outcome.message = cutText(label, outcome.end, plan, now, before);
        return outcome;
    }

    // What reading the slots the editor does not hold and writing all of them takes at most
    // when no reply needs asking again: each byte read twice, each written and read back, the
    // slot marked otherwise first, and the slot numbers of their effects read and written.
    int mostExchanges(const std::vector<SlotRef>& slots) const
    {
        std::set<int> effects;
        int exchanges = 0;
        for (SlotRef at : slots) {
            effects.insert(at.effect);
            exchanges += (held(at) ? 0 : kImageBytes * 2) + (kImageBytes + 1) * 2;
        }
        return exchanges + static_cast<int>(effects.size()) * 4;
    }

    static int writesLeft(const Plan& plan, const std::map<SlotRef, std::optional<Image>>& now,
                          const std::map<int, std::optional<uint8_t>>& numbers)
    {
        int writes = 0;
        for (const auto& [at, target] : plan.slots)
            for (int i = 0; i < kImageBytes; ++i)
                writes += imageByte(*now.at(at), i) != imageByte(target, i);
        for (const auto& [effect, number] : plan.slotNumbers)
            writes += numbers.at(effect) != number;
        return writes + static_cast<int>(plan.slots.size());
    }

    // Writes one byte and reads it back until one value leads; `held` follows what the unit
    // holds, and becomes unsure when the answer could not be had.
    bool put(uint16_t address, uint8_t value, std::optional<uint8_t>& held, const FailureWatch& watch)
    {
        written_ = true;
        held.reset();
        if (!link_.writeByte(address, value) || watch.failed())
            return false;
        const auto settled = readUntilAgreed<uint8_t>(
            [&]() -> std::optional<uint8_t> { return watch.failed() ? std::nullopt : link_.tryReadByte(address); },
            {value});
        if (settled.outcome == Confirm::Unconfirmed)
            problem_ = neverAgreed("the byte at " + std::to_string(address));
        if (settled.outcome != Confirm::Agreed)
            return false;
        held = settled.value;
        if (settled.value != value)
            problem_ = "the unit kept another value at " + std::to_string(address);
        return settled.value == value;
    }

    // A stored slot is marked otherwise before its name or data change, and marked again last.
    bool writeSlot(SlotRef at, std::optional<Image>& now, const Image& target, const FailureWatch& watch)
    {
        const auto writeByte = [&](int i, uint8_t value) {
            std::optional<uint8_t> held = imageByte(*now, i);
            const bool done = put(imageAddress(at, i), value, held, watch);
            if (held) {
                imageByte(*now, i) = *held;
            } else {
                // Read afresh after a reconnection, never taken from the records.
                now.reset();
                forget(at);
                unsure_.insert(at);
            }
            return done;
        };
        const bool contentChanges = now->name != target.name || now->data != target.data;
        if (contentChanges && now->stored() && !writeByte(kImageBytes - 1, Addr::SlotBeingWritten))
            return false;
        for (int i = 0; i < kImageBytes; ++i)
            if (imageByte(*now, i) != imageByte(target, i) && !writeByte(i, imageByte(target, i)))
                return false;
        return true;
    }

    // The step of the history, and what the rest of the editor shows of the slots.
    void finish(const std::string& label, const Plan& plan, const Images& before,
                const std::map<int, uint8_t>& numbersBefore)
    {
        if (!replaying_)
            record(label, plan, before, numbersBefore);
        // The device copy is the stored preset the effect's slot number points to.
        std::set<int> effects;
        for (const auto& [at, target] : plan.slots)
            effects.insert(at.effect);
        for (int e : effects) {
            const SlotRef pointed{e, editor_.presetSlot(e)};
            const auto image = held(pointed);
            if (image && image->stored())
                for (int c = 0; c < kDeviceColumns; ++c)
                    state_.deviceCopy.at(e, c) = image->data[idx(c)];
        }
        editor_.showPresetCaption(state_.currentEffect);
    }

public:
    void record(const std::string& label, const Plan& plan, const Images& before,
                const std::map<int, uint8_t>& numbersBefore)
    {
        HistoryStep step;
        step.kind = StepKind::Slots;
        step.label = label;
        for (const auto& [at, target] : plan.slots)
            for (int i = 0; i < kImageBytes; ++i)
                step.memory.push_back({imageAddress(at, i), imageByte(before.at(at), i), imageByte(target, i)});
        for (const auto& [effect, number] : plan.slotNumbers)
            step.memory.push_back({Addr::slotNumber(effect), numbersBefore.at(effect), number});
        editor_.history().record(std::move(step));
    }

private:
    bool ensure(SlotRef at, std::optional<Image>& image, const FailureWatch& watch)
    {
        if (!image)
            image = held(at);
        if (!image)
            image = read(at, watch);
        return image.has_value();
    }

    TransferEnd endOf(bool found, bool cancelled) const
    {
        if (!found)
            return state_.unitChanged ? TransferEnd::OtherUnit : TransferEnd::Lost;
        if (cancelled)
            return TransferEnd::Cancelled;
        return problem_.empty() ? TransferEnd::Lost : TransferEnd::Unconfirmed;
    }

    std::string endText(TransferEnd end) const
    {
        switch (end) {
        case TransferEnd::Cancelled:
            return "it was cancelled.";
        case TransferEnd::Unconfirmed:
            return problem_ + ".";
        case TransferEnd::OtherUnit:
            return std::string(kAnotherUnitText) + ".";
        default:
            return "the connection to the QRV5173 was lost.";
        }
    }

    // Whether the operation changed the slot, or may have.
    bool touched(SlotRef at, const std::optional<Image>& image, const Images& before) const
    {
        return image ? before.contains(at) && before.at(at) != *image : unsure_.contains(at);
    }

    std::string cutText(const std::string& label, TransferEnd end, const std::optional<Plan>& plan,
                        const std::map<SlotRef, std::optional<Image>>& now, const Images& before) const
    {
        std::string text = "\"" + label + "\" stopped: " + endText(end);
        if (!plan || !written_)
            return text + " Nothing was changed.";
        for (const auto& [at, target] : plan->slots) {
            const auto& image = now.at(at);
            if (!touched(at, image, before))
                continue;
            if (image && *image == target)
                text += " " + slotText(at) + " was written.";
            else if (!image || !image->stored())
                text += " " + slotText(at) + " now counts as empty; " + comingBack(before.at(at));
            else
                text += " " + slotText(at) + " holds part of what was written; " + comingBack(before.at(at));
        }
        return text + " The other slots are as they were.";
    }

    // How a slot a cut left otherwise gets back what it held.
    std::string comingBack(const Image& before) const
    {
        if (undo_ == UnitSlots::Undo::Offered)
            return "undo puts it back.";
        if (!before.stored())
            return "it was empty before.";
        const std::string name = trimmed(nameText(before.name));
        return "it held " + (name.empty() ? std::string("a preset without a name") : name) + " before.";
    }

    Editor& editor_;
    ProgramState& state_;
    DeviceLink& link_;
    UnitKnowledge& known_;
    std::string problem_;
    std::set<SlotRef> unsure_; // slots a write may have changed without a reply
    bool written_ = false;
    bool replaying_ = false;
    UnitSlots::Undo undo_;
};

Image cleared(Image image)
{
    image.directory = kEmptyDirectory;
    return image;
}

// The name an exported file gives back: its own name without the slot it came from.
std::string importedName(const std::string& stem, int effect)
{
    std::string name = stem;
    const std::string prefix = effectName(effect) + " ";
    if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() &&
        std::isdigit(static_cast<unsigned char>(name[prefix.size()])) &&
        (name.size() == prefix.size() + 1 || name[prefix.size() + 1] == ' '))
        name = name.substr(std::min(name.size(), prefix.size() + 2));
    return latin1ToUtf8(utf8ToLatin1(trimmed(name)).substr(0, kNameLength));
}

// An existing file is never replaced: the new one takes " (2)", " (3)"... before its extension.
std::filesystem::path freePath(const std::filesystem::path& folder, const std::string& fileName)
{
    const std::filesystem::path wanted = folder / fileName;
    std::filesystem::path path = wanted;
    for (int n = 2; std::filesystem::exists(path); ++n)
        path = folder / (wanted.stem().string() + " (" + std::to_string(n) + ")" + wanted.extension().string());
    return path;
}

SlotOutcome refused(std::string message)
{
    return SlotOutcome{TransferEnd::Done, true, std::move(message), {}};
}

std::optional<std::string> otherEffect(int from, int to)
{
    if (from == to)
        return std::nullopt;
    return "A " + effectName(from) + " preset cannot go into a " + effectName(to) +
           " slot: each effect has its own presets.";
}

// Where copied or moved presets go: the slots given, or from the one given on.
struct Targets {
    std::vector<SlotRef> slots;
    std::optional<std::string> refusal;
};

Targets transferTargets(const std::vector<SlotRef>& from, std::vector<SlotRef> to)
{
    if (to.size() == 1 && from.size() > 1)
        for (std::size_t i = 1; i < from.size(); ++i)
            to.push_back({to.front().effect, to.front().slot + static_cast<int>(i)});
    if (from.empty() || from.size() != to.size())
        return {{}, "Select as many slots to paste into as presets were copied: nothing was changed."};
    for (std::size_t i = 0; i < from.size(); ++i)
        if (auto refusal = otherEffect(from[i].effect, to[i].effect))
            return {{}, refusal};
    if (std::any_of(to.begin(), to.end(), [](SlotRef at) { return !validRef(at); }) ||
        std::set<SlotRef>(to.begin(), to.end()).size() != to.size())
        return {{}, "There are not enough slots from " + slotText(to.front()) +
                        " on for every preset: nothing was changed."};
    return {to, std::nullopt};
}

// The presets of the files, each named after its file, for slots of `effect`.
struct FilePresets {
    std::vector<Image> presets;
    std::optional<std::string> refusal;
};

FilePresets presetsOf(const std::vector<std::filesystem::path>& files, int effect)
{
    if (files.empty() || effect < 0 || effect >= kEffectCount)
        return {{}, "There is no preset file to import: nothing was changed."};
    FilePresets out;
    for (const auto& file : files) {
        const std::string shown = file.filename().string();
        const FileRead read = readExactFile(file, kPresetFileSize);
        if (read.outcome == FileRead::Outcome::NotFound)
            return {{}, shown + " was not found: nothing was changed."};
        if (read.outcome != FileRead::Outcome::Read)
            return {{}, shown + " is no preset file (" + read.problem + "): nothing was changed."};
        const int fileEffect = read.bytes[kDeviceColumns];
        if (fileEffect >= kEffectCount)
            return {{}, shown + " is no preset file of the QRV5173: nothing was changed."};
        if (fileEffect != effect)
            return {{}, shown + " holds a " + effectName(fileEffect) + " preset: it cannot go into a " +
                            effectName(effect) + " slot, as each effect has its own presets."};
        Image image;
        image.directory = Addr::SlotUsed;
        std::string name = importedName(file.stem().string(), effect);
        image.name = CentreName(name);
        std::copy_n(read.bytes.begin(), kDeviceColumns, image.data.begin());
        out.presets.push_back(image);
    }
    return out;
}

// The slots `count` presets of `effect` go into: from the one given on, or the first empty ones.
Targets importTargets(const ProgramState& state, std::size_t count, int effect, std::vector<SlotRef> to)
{
    if (to.empty()) {
        for (int s = 0; s < kSlotCount; ++s)
            if (!slotHoldsPreset(state, effect, s) && to.size() < count)
                to.push_back({effect, s});
        if (to.size() < count)
            return {{}, effectName(effect) + " has " + countText(to.size(), "empty slot") + " left: " +
                            presetsText(count) + (count == 1 ? " does" : " do") + " not fit. Nothing was changed."};
    }
    if (to.size() == 1)
        for (std::size_t i = 1; i < count; ++i)
            to.push_back({to.front().effect, to.front().slot + static_cast<int>(i)});
    if (to.size() != count || std::any_of(to.begin(), to.end(), [](SlotRef at) { return !validRef(at); }))
        return {{}, "There are not enough slots for every preset: nothing was changed."};
    for (SlotRef at : to)
        if (auto refusal = otherEffect(effect, at.effect))
            return {{}, refusal};
    return {to, std::nullopt};
}

} // namespace

UnitSlots::UnitSlots(Editor& editor, Undo undo) : editor_(editor), undo_(undo)
{
}

SlotOutcome UnitSlots::provide(const std::vector<SlotRef>& slots)
{
    const SlotWriter writer(editor_, undo_);
    if (editor_.state().DemoMode)
        return {};
    if (auto refusal = writer.refusal())
        return *refusal;
    std::set<int> effects;
    for (SlotRef at : slots)
        if (validRef(at))
            effects.insert(at.effect);
    std::vector<UnitItem> items;
    for (const int effect : effects) {
        const std::vector<UnitItem> more = presetItems(effect);
        items.insert(items.end(), more.begin(), more.end());
    }
    return editor_.provide(items) ? SlotOutcome{} : writer.unread();
}

std::optional<std::string> UnitSlots::refusal(const std::vector<SlotRef>& from, const std::vector<SlotRef>& to)
{
    return transferTargets(from, to).refusal;
}

std::optional<std::string> UnitSlots::refusal(const std::vector<std::filesystem::path>& files, int effect,
                                              const std::vector<SlotRef>& to) const
{
    const FilePresets read = presetsOf(files, effect);
    return read.refusal ? read.refusal : importTargets(editor_.state(), read.presets.size(), effect, to).refusal;
}

bool UnitSlots::stored(SlotRef at) const
{
    return slotHoldsPreset(editor_.state(), at.effect, at.slot);
}

std::string UnitSlots::name(SlotRef at) const
{
    return editor_.state().presetNames.at(static_cast<std::size_t>(at.effect)).at(static_cast<std::size_t>(at.slot));
}

int UnitSlots::lastUsed(int effect) const
{
    return editor_.presetSlot(effect);
}

std::optional<SlotBackup> UnitSlots::slot(SlotRef at)
{
    SlotOutcome outcome;
    const auto images = SlotWriter(editor_, undo_).images({at}, "Read " + slotText(at), outcome);
    if (!images)
        return std::nullopt;
    return images->at(at);
}

std::optional<SlotBackup> UnitSlots::held(SlotRef at) const
{
    return SlotWriter(editor_, undo_).held(at);
}

namespace {

Image storedImage(std::string name, const SlotBytes& data)
{
    return Image{Addr::SlotUsed, CentreName(name), data};
}

std::string storeLabel(SlotRef at, const std::string& name)
{
    const std::string shown = trimmed(name);
    return "Store " + (shown.empty() ? std::string("a preset") : shown) + " in " + slotText(at);
}

} // namespace

SlotOutcome UnitSlots::store(SlotRef at, const std::string& typed, const SlotBytes& data)
{
    if (!validRef(at))
        return refused("There is no such slot.");
    SlotOutcome outcome = SlotWriter(editor_, undo_).run(storeLabel(at, typed), {at}, [&](const Images&) {
        return Plan{{{at, storedImage(typed, data)}}, {{at.effect, static_cast<uint8_t>(at.slot)}}};
    });
    if (outcome.done())
        editor_.state().presetNames[static_cast<std::size_t>(at.effect)][static_cast<std::size_t>(at.slot)] = typed;
    return outcome;
}

void UnitSlots::recordStore(SlotRef at, const std::string& typed, const SlotBackup& before, int numberBefore)
{
    SlotBytes data{};
    for (int c = 0; c < kDeviceColumns; ++c)
        data[static_cast<std::size_t>(c)] = editor_.state().store.at(at.effect, c);
    const Plan plan{{{at, storedImage(typed, data)}}, {{at.effect, static_cast<uint8_t>(at.slot)}}};
    SlotWriter(editor_, undo_).record(storeLabel(at, typed), plan, {{at, before}},
                               {{at.effect, static_cast<uint8_t>(numberBefore)}});
}

SlotOutcome UnitSlots::rename(SlotRef at, const std::string& typed)
{
    if (!validRef(at))
        return refused("There is no such slot.");
    if (SlotOutcome read = provide({at}); !read.done())
        return read;
    if (!stored(at))
        return refused(slotText(at) + " is empty: there is no preset to rename.");
    std::string centred = typed;
    const NameBytes bytes = CentreName(centred);
    SlotOutcome outcome = SlotWriter(editor_, undo_).run("Rename " + slotText(at), {at}, [&](const Images& before) {
        Image image = before.at(at);
        image.name = bytes;
        return Plan{{{at, image}}, {}};
    });
    if (outcome.done())
        editor_.state().presetNames[static_cast<std::size_t>(at.effect)][static_cast<std::size_t>(at.slot)] = typed;
    return outcome;
}

SlotOutcome UnitSlots::clear(const std::vector<SlotRef>& slots)
{
    if (SlotOutcome read = provide(slots); !read.done())
        return read;
    std::vector<SlotRef> full;
    std::copy_if(slots.begin(), slots.end(), std::back_inserter(full), [this](SlotRef at) { return stored(at); });
    if (full.empty())
        return refused("The selected slots are empty already: nothing was changed.");
    const std::string label =
        full.size() == 1 ? "Clear " + slotText(full.front()) : "Clear " + presetsText(full.size());
    return SlotWriter(editor_, undo_).run(label, full, [&](const Images& before) {
        Plan plan;
        for (SlotRef at : full)
            plan.slots.emplace_back(at, cleared(before.at(at)));
        return plan;
    });
}

SlotOutcome UnitSlots::copy(const std::vector<SlotRef>& from, const std::vector<SlotRef>& to)
{
    return transfer(from, to, false);
}

SlotOutcome UnitSlots::move(const std::vector<SlotRef>& from, const std::vector<SlotRef>& to)
{
    return transfer(from, to, true);
}

SlotOutcome UnitSlots::transfer(const std::vector<SlotRef>& from, const std::vector<SlotRef>& places, bool moving)
{
    const Targets targets = transferTargets(from, places);
    if (targets.refusal)
        return refused(*targets.refusal);
    if (std::any_of(from.begin(), from.end(), [](SlotRef at) { return !validRef(at); }))
        return refused("There is no such slot.");
    if (SlotOutcome read = provide(from); !read.done())
        return read;
    const std::vector<SlotRef>& to = targets.slots;
    std::vector<SlotRef> reads = from;
    reads.insert(reads.end(), to.begin(), to.end());
    const std::string label = (moving ? "Move " : "Paste ") + presetsText(from.size());
    return SlotWriter(editor_, undo_).run(label, reads, [&](const Images& before) {
        Plan plan;
        for (std::size_t i = 0; i < from.size(); ++i) {
            const Image& source = before.at(from[i]);
            plan.slots.emplace_back(to[i], source.stored() ? source : cleared(before.at(to[i])));
            // The unit's slot number follows the preset it pointed to.
            if (moving && from[i].slot == lastUsed(from[i].effect))
                plan.slotNumbers[to[i].effect] = static_cast<uint8_t>(to[i].slot);
        }
        if (moving)
            for (SlotRef at : from)
                if (std::find(to.begin(), to.end(), at) == to.end())
                    plan.slots.emplace_back(at, cleared(before.at(at)));
        return plan;
    });
}

SlotOutcome UnitSlots::swap(SlotRef a, SlotRef b)
{
    if (auto refusal = otherEffect(a.effect, b.effect))
        return refused(*refusal);
    if (a == b || !validRef(a) || !validRef(b))
        return refused("Choose two slots of one effect to swap: nothing was changed.");
    if (SlotOutcome read = provide({a}); !read.done())
        return read;
    const std::string label = "Swap " + slotText(a) + " and " + std::to_string(b.slot + 1);
    return SlotWriter(editor_, undo_).run(label, {a, b}, [&](const Images& before) {
        Plan plan{{{a, before.at(b)}, {b, before.at(a)}}, {}};
        const int used = lastUsed(a.effect);
        if (used == a.slot || used == b.slot)
            plan.slotNumbers[a.effect] = static_cast<uint8_t>(used == a.slot ? b.slot : a.slot);
        return plan;
    });
}

SlotOutcome UnitSlots::importFiles(const std::vector<std::filesystem::path>& files, int effect,
                                   const std::vector<SlotRef>& to)
{
    const FilePresets read = presetsOf(files, effect);
    if (read.refusal)
        return refused(*read.refusal);
    if (SlotOutcome provided = provide({{effect, 0}}); !provided.done())
        return provided;
    const Targets targets = importTargets(editor_.state(), read.presets.size(), effect, to);
    if (targets.refusal)
        return refused(*targets.refusal);
    const std::string label = "Import " + presetsText(read.presets.size());
    return SlotWriter(editor_, undo_).run(label, targets.slots, [&](const Images&) {
        Plan plan;
        for (std::size_t i = 0; i < targets.slots.size(); ++i)
            plan.slots.emplace_back(targets.slots[i], read.presets[i]);
        return plan;
    });
}

UnitSlots::Exported UnitSlots::exportSlots(const std::vector<SlotRef>& slots, const std::filesystem::path& folder)
{
    if (SlotOutcome read = provide(slots); !read.done())
        return {read, {}};
    std::vector<SlotRef> full;
    std::copy_if(slots.begin(), slots.end(), std::back_inserter(full), [this](SlotRef at) { return stored(at); });
    if (full.empty())
        return {refused("The selected slots are empty: no file was written."), {}};
    Exported exported;
    const auto images = SlotWriter(editor_, undo_).images(full, "Export " + countText(full.size(), "preset"), exported.outcome);
    if (!images)
        return exported;
    for (SlotRef at : full) {
        const Image& image = images->at(at);
        std::vector<uint8_t> bytes(image.data.begin(), image.data.end());
        bytes.push_back(static_cast<uint8_t>(at.effect));
        const auto path = freePath(folder, exportName(at, nameText(image.name)));
        if (const auto problem = writeFileAtomically(path, bytes)) {
            exported.outcome.end = TransferEnd::Done;
            exported.outcome.refused = true;
            exported.outcome.message = path.filename().string() + " could not be written: " + *problem + ". " +
                std::to_string(exported.files.size()) + " of " + presetsText(full.size()) +
                (full.size() == 1 ? " was" : " were") + " exported.";
            return exported;
        }
        exported.files.push_back(path);
        exported.outcome.changed.push_back(at);
    }
    return exported;
}

SlotOutcome UnitSlots::replay(const HistoryStep& step, bool forward)
{
    return SlotWriter(editor_, undo_).replay(step, forward);
}

std::string UnitSlots::exportName(SlotRef at, const std::string& name)
{
    std::string text = slotText(at);
    const std::string shown = trimmed(name);
    if (!shown.empty())
        text += " " + shown;
    for (char& c : text)
        if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return text + ".fxp";
}

std::optional<SlotRef> parseSlotRef(const std::string& text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        return std::nullopt;
    const auto effect = parseEffect(text.substr(0, colon));
    const auto slot = parsedNumber(text.substr(colon + 1));
    if (!effect || !slot || *slot < 1 || *slot > kSlotCount)
        return std::nullopt;
    return SlotRef{*effect, *slot - 1};
}

std::optional<int> parseEffect(const std::string& text)
{
    if (const auto number = parsedNumber(text))
        return *number >= 0 && *number < kEffectCount ? number : std::nullopt;
    const auto key = nameKey(text);
    for (int e = 0; key && e < kEffectCount; ++e)
        if (nameKey(effectName(e)) == key)
            return e;
    return std::nullopt;
}

std::string countText(std::size_t count, const std::string& noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

} // namespace qrv
