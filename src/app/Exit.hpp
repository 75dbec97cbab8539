#pragma once

#include "Program.hpp"

#include <functional>

namespace qrv {

inline constexpr const char* kExitQuestionText = "               Are you sure ? ";
inline constexpr const char* kExitTitle = "Exit";

// Asks whether to leave (No is the default). Yes runs `leaving` (the unsaved edits are
// let go), tells the device with the exit notice and ends the program; No returns false
// and the program goes on.
bool ConfirmExit(DeviceLink& link, Host& host, const std::function<void()>& leaving = {});

// Close requests of the windows: true lets the window close.
bool mainWindowCloseRequest(Program& program);
// The editor window lives as long as the main window: its own close is always refused.
bool editorWindowCloseRequest();

} // namespace qrv
