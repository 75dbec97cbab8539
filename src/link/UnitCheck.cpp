#include "UnitCheck.hpp"

namespace qrv {

namespace {

// Whether the unit's byte agrees with what the editor saw there before (or never saw).
bool agrees(const UnitMirror& before, uint16_t address, uint8_t now)
{
    const auto seen = before.byte(address);
    return !seen || *seen == now;
}

struct LiveLook {
    uint8_t effect;
    bool same;
};

// The unit's current effect, switch and that effect's live row against what was seen; nothing
// when the unit left one unanswered or plays no effect there is.
std::optional<LiveLook> lookAtLiveValues(DeviceLink& link, const UnitMirror& before)
{
    const auto effect = link.tryReadByte(Addr::CurrentEffect);
    if (!effect || *effect >= kEffectCount)
        return std::nullopt;
    bool same = agrees(before, Addr::CurrentEffect, *effect);
    const ProgramState& state = link.state();
    if (!link.SendCommand(Cmd::ReadSwitch))
        return std::nullopt;
    same = same && (!before.effectSwitch() || *before.effectSwitch() == state.replyBuffer[6]);

    link.ArmPort(32);
    const bool block = link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, *effect);
    link.ArmPort(10);
    if (!block)
        return std::nullopt;
    for (int c = 0; c < kDeviceColumns && same; ++c)
        same = agrees(before, Addr::live(*effect, c), state.replyBuffer[static_cast<std::size_t>(c)]);
    return LiveLook{*effect, same};
}

// The effect's directory and the names read before; nothing when the unit left one unanswered.
std::optional<bool> presetsAsSeen(DeviceLink& link, const UnitMirror& before, uint8_t effect)
{
    bool same = true;
    bool named[kSlotCount] = {};
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto directory = link.tryReadByte(Addr::directory(effect, slot));
        if (!directory)
            return std::nullopt;
        same = same && agrees(before, Addr::directory(effect, slot), *directory);
        // Only names the editor read can tell; the others cost wire time for nothing.
        named[slot] = *directory == Addr::SlotUsed && before.byte(Addr::name(effect, slot, 0));
    }
    const ProgramState& state = link.state();
    link.ArmPort(8);
    bool answered = true;
    for (int slot = 0; slot < kSlotCount && same && answered; ++slot) {
        if (!named[slot])
            continue;
        answered = link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, effect, static_cast<uint8_t>(slot));
        for (int k = 0; k < Addr::NameLength && answered && same; ++k)
            same = agrees(before, Addr::name(effect, slot, k), state.replyBuffer[static_cast<std::size_t>(k)]);
    }
    link.ArmPort(10);
    if (!answered)
        return std::nullopt;
    return same;
}

// Runs before the presets are looked at; the whole check has no use for it.
using LiveDiffers = std::function<void()>;

UnitDifference compareUnit(DeviceLink& link, const LiveDiffers* onlyWhenLiveDiffers)
{
    const UnitMirror before = link.mirror();
    // A unit the editor never read (it started in demo mode) cannot be the one it holds.
    const UnitDifference unknown{true, true};
    if (!before.byte(Addr::CurrentEffect))
        return unknown;
    const auto live = lookAtLiveValues(link, before);
    if (!live)
        return unknown;
    if (onlyWhenLiveDiffers) {
        if (live->same)
            return {};
        (*onlyWhenLiveDiffers)();
    }
    const auto presetsSame = presetsAsSeen(link, before, live->effect);
    if (!presetsSame)
        return unknown;
    return {!live->same, !*presetsSame};
}

UnitDifference checked(DeviceLink& link, const LiveDiffers* onlyWhenLiveDiffers)
{
    const UnitDifference difference = compareUnit(link, onlyWhenLiveDiffers);
    // Nothing learnt of the old unit holds for this one.
    if (difference.any())
        link.forgetUnit();
    return difference;
}

} // namespace

const char* unitDifferenceText(const UnitDifference& difference)
{
    if (!difference.presetsChanged)
        return kOtherLiveValuesText;
    return difference.liveChanged ? kOtherPresetsAndLiveText : kOtherUnitText;
}

UnitDifference checkUnit(DeviceLink& link)
{
    return checked(link, nullptr);
}

UnitDifference recheckUnit(DeviceLink& link, const std::function<void()>& liveDiffers)
{
    return checked(link, &liveDiffers);
}

std::optional<bool> presetsAsSeen(DeviceLink& link, uint8_t effect)
{
    const UnitMirror before = link.mirror();
    return presetsAsSeen(link, before, effect);
}

} // namespace qrv
