#pragma once

#include "DeviceLink.hpp"

#include <functional>

namespace qrv {

inline constexpr const char* kOtherUnitText =
    "The QRV5173 on the port holds other presets than the one the editor read";
inline constexpr const char* kOtherLiveValuesText =
    "The QRV5173 on the port holds other live values than the editor read; its stored presets are as they were";
inline constexpr const char* kOtherPresetsAndLiveText =
    "The QRV5173 on the port holds other presets and other live values than the one the editor read";
// Said by whatever would use the first unit's presets while the other is unread.
inline constexpr const char* kOtherUnitUnreadText =
    "The QRV5173 on the port holds other presets than the one the editor read. Press ReConnect to read it first.";

// The box that tells what the check found changed.
const char* unitDifferenceText(const UnitDifference& difference);

// After a reconnection: reads a few telling bytes of the unit on the line (its current effect,
// the switch, that effect's live row, directory and stored names: at most 19 exchanges) and
// compares them with what the exchanges before showed. A unit that does not answer them all,
// or that the editor never read, counts as changed in both. Whatever differs, nothing learnt
// of the old unit is kept.
UnitDifference checkUnit(DeviceLink& link);

// The check between the user's actions: its live part first (current effect, switch, that
// effect's live row: three exchanges), the presets only when the live part differs, after
// `liveDiffers` has run.
UnitDifference recheckUnit(DeviceLink& link, const std::function<void()>& liveDiffers);

// Whether the unit still holds the effect's directory and the names the editor read (unread
// ones cannot tell); nothing when the unit left a read unanswered.
std::optional<bool> presetsAsSeen(DeviceLink& link, uint8_t effect);

} // namespace qrv
