#pragma once

#include "editor/Controls.hpp"
#include "editor/Editor.hpp"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class QAction;
class QLockFile;
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

// The recovery file of this editor among those running at once, held by a lock file
// while it lives; a lock left by a killed editor is taken over. No lock: every place is
// held by a running editor.
struct RecoveryClaim {
    std::unique_ptr<QLockFile> lock;
    std::string fileName;
};
RecoveryClaim claimRecoveryFile(const std::filesystem::path& folder);

// Keeps this editor's recovery file in the folder: after start-up the user is offered
// what a run that did not end by Exit left there, then the file follows every change.
// Another editor running at the same time keeps a file of its own.
void keepRecoveryFile(AppWindows& windows, Program& program, const std::filesystem::path& folder);

} // namespace qrv::ui
