#pragma once

#include "editor/Controls.hpp"
#include "editor/Editor.hpp"

#include <filesystem>
#include <functional>
#include <utility>

class QAction;
class QLineEdit;
class QWidget;

namespace qrv {
class Program;
}

namespace qrv::ui {

class AppWindows;
class Binder;

// A value box the user can type into: Enter puts the text into the control and runs
// onEnter; Escape, or leaving the box, shows the control's text again. While the user
// types, the model does not overwrite the box.
void bindValueBox(Binder& binder, QLineEdit* box, TextBox& control, const FrmMain& form, std::function<void()> onEnter);

// Frames the widget in amber while the form lists it (by its object name) as differing
// from the unit's stored preset.
void markWhenDiffers(Binder& binder, QWidget* widget, const FrmMain& form);

// Undo (Ctrl+Z) and Redo (Ctrl+Shift+Z, Ctrl+Y) of the editor's history as actions of
// the window, enabled while there is something to undo or redo.
std::pair<QAction*, QAction*> addUndoRedo(QWidget* window, Binder& binder, Editor& editor);

// Keeps the recovery file in the folder: after start-up the user is offered what a run
// that did not end by Exit left there, then the file follows every change.
void keepRecoveryFile(AppWindows& windows, Program& program, const std::filesystem::path& folder);

} // namespace qrv::ui
