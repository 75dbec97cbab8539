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
class IdleUnitWatch;
class Program;
}

namespace qrv::ui {

class AppWindows;
class Binder;
class QtHost;

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

// Keeps this editor's recovery file in the folder: after start-up the user is told of
// what a run that did not end by Exit left there, then the file follows every change.
// Another editor running at the same time keeps a file of its own. While the file (or
// its lock) cannot be written, the status bar says so and every tick tries again.
void keepRecoveryFile(AppWindows& windows, Program& program, const std::filesystem::path& folder);

// Every ending but a confirmed Exit keeps the newest edits for the next start: the
// host's own endings, and SIGTERM, SIGHUP and SIGINT, which reach the event loop through
// a pipe and end the editor with status 128 + the signal. `alsoBeforeEnd` runs after the
// file is written (closing the port).
void keepEditsAtEveryEnd(QtHost& host, Program& program, std::function<void()> alsoBeforeEnd = {});

// Looks at the unit whenever the user has let the editor be for a while (no key, click or
// wheel, no button held, no modal window): a unit power-cycled or changed behind a port that
// stayed up is read again, as after a reconnection. Through the binder's gate, never inside
// a run of the core. The watch lives as long as the application.
IdleUnitWatch& watchUnitWhileIdle(AppWindows& windows, Program& program);

} // namespace qrv::ui
