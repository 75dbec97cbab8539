#pragma once

#include "editor/Editor.hpp"

namespace qrv {

// Gives the Tap Delay, Chorus and Flange pages their behaviour beyond the generic path.
void installPageBehaviours(Editor& editor);

// Tap Delay: the "Tap" button, the tick timer Timer1 and the lamp timer Timer2.
void tapClick(Editor& editor);
void tapTick(Editor& editor);
void lampTick(Editor& editor);

// The value the Tap Delay page shows for a column of a row once within its controls'
// ranges: in stereo the delay goes no further than 800 ms.
int tapDelayShown(std::span<const uint8_t> row, int column, int value);

inline constexpr Colour kLampBright{0, 192, 0};
inline constexpr Colour kLampDark{0, 128, 0};
inline constexpr double kTapCounterCap = 260;

// The changed-against-device marker Label8, checked by TimerCompare.
bool sameAsDevice(const ProgramState& state, int effect);
void compareTick(Editor& editor);
// Flags the current page's controls whose column differs from the device copy and lists
// them in the marker's tool tip; with `show` false every flag is cleared.
void markDifferences(Editor& editor, bool show);

} // namespace qrv
