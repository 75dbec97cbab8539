#pragma once

namespace qrv {
class Program;
}

namespace qrv::ui {

class AppWindows;

// Reads what the start-up left of the unit, and confirms every piece, one exchange at a time
// whenever the core is free and the user is not waiting for it. The status bar shows how far
// it is and the time left.
void readRestInBackground(AppWindows& windows, Program& program);

} // namespace qrv::ui
