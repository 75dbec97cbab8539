#pragma once

#include "editor/Editor.hpp"

#include <functional>

namespace qrv {

inline constexpr int kPanelButtons = 10;
// "Reload All Effect": hidden when the editor window loads, never shown again.
inline constexpr int kReloadAllButton = 6;
// "  ReConnect": the device search.
inline constexpr int kFindDeviceButton = 9;

// The panel actions that belong to other layers; the application wires them.
// An action left empty does nothing.
struct PanelActions {
    std::function<void()> confirmExit;     // 0: confirm, send the exit notice, end
    std::function<void()> showReadDialog;  // 7: FrmRead, modal
    std::function<void()> showStoreDialog; // 8: FrmStore, modal
    std::function<void()> findDevice;      // 9: the device search; the flags tell its outcome
};

// Fills Command2 0 to 9 with captions, tool tips and positions; button 6 stays hidden.
void setupCommandPanel(FrmMain& form);

// The click handler of Command2: dispatches on the button index. Others do nothing.
void commandPanelClick(Editor& editor, const PanelActions& actions, int index);

} // namespace qrv
