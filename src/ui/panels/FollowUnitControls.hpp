#pragma once

namespace qrv {
class IdleUnitWatch;
class Program;
} // namespace qrv

namespace qrv::ui {

class AppWindows;

inline constexpr const char* kFollowUnitKey = "followUnit";

// Device → Follow the Unit (on unless the user turned it off, remembered): while the user rests,
// the page shows what is selected and turned on the unit itself. The looks run as background
// work through the binder, never while a window waits for the user or a button is held; the
// idle watch's look of the unit is one of them.
void followTheUnit(AppWindows& windows, Program& program, IdleUnitWatch& watch);

} // namespace qrv::ui
