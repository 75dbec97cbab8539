#include "UnitCheck.hpp"

namespace qrv {

namespace {

// Whether the unit's byte agrees with what the editor saw there before (or never saw).
bool agrees(const UnitMirror& before, uint16_t address, uint8_t now)
{
    const auto seen = before.byte(address);
    return !seen || *seen == now;
}

bool sameUnit(DeviceLink& link, const UnitMirror& before)
{
    // A unit the editor never read (it started in demo mode) cannot be the one it holds.
    if (!before.byte(Addr::CurrentEffect))
        return false;
    const auto effect = link.tryReadByte(Addr::CurrentEffect);
    if (!effect || !agrees(before, Addr::CurrentEffect, *effect) || *effect >= kEffectCount)
        return false;
    const ProgramState& state = link.state();
    if (!link.SendCommand(Cmd::ReadSwitch))
        return false;
    if (before.effectSwitch() && *before.effectSwitch() != state.replyBuffer[6])
        return false;

    link.ArmPort(32);
    const bool block = link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, *effect);
    link.ArmPort(10);
    if (!block)
        return false;
    for (int c = 0; c < kDeviceColumns; ++c)
        if (!agrees(before, Addr::live(*effect, c), state.replyBuffer[static_cast<std::size_t>(c)]))
            return false;

    bool named[kSlotCount] = {};
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto directory = link.tryReadByte(Addr::directory(*effect, slot));
        if (!directory || !agrees(before, Addr::directory(*effect, slot), *directory))
            return false;
        // Only names the editor read can tell; the others cost wire time for nothing.
        named[slot] = *directory == Addr::SlotUsed && before.byte(Addr::name(*effect, slot, 0));
    }
    link.ArmPort(8);
    bool same = true;
    for (int slot = 0; slot < kSlotCount && same; ++slot) {
        if (!named[slot])
            continue;
        same = link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, *effect, static_cast<uint8_t>(slot));
        for (int k = 0; k < Addr::NameLength && same; ++k)
            same = agrees(before, Addr::name(*effect, slot, k), state.replyBuffer[static_cast<std::size_t>(k)]);
    }
    link.ArmPort(10);
    return same;
}

} // namespace

UnitMatch checkUnit(DeviceLink& link)
{
    const UnitMirror before = link.mirror();
    if (sameUnit(link, before))
        return UnitMatch::Same;
    // Nothing learnt of the old unit holds for this one.
    link.forgetUnit();
    return UnitMatch::Different;
}

} // namespace qrv
