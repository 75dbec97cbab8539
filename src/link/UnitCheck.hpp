#pragma once

#include "DeviceLink.hpp"

namespace qrv {

inline constexpr const char* kOtherUnitText =
    "The QRV5173 on the port holds other presets than the one the editor read";
// Said by whatever would use the first unit's presets while the other is unread.
inline constexpr const char* kOtherUnitUnreadText =
    "The QRV5173 on the port holds other presets than the one the editor read. Press ReConnect to read it first.";

enum class UnitMatch { Same, Different };

// After a reconnection: reads a few telling bytes of the unit on the line (its current effect,
// the switch, that effect's live row, directory and stored names: at most 19 exchanges) and
// compares them with what the exchanges before showed. A unit that differs, or that does not
// answer them all, is not the one the editor read.
UnitMatch checkUnit(DeviceLink& link);

} // namespace qrv
