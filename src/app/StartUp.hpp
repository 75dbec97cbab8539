#pragma once

#include "Program.hpp"
#include "storage/CommandPanel.hpp"

#include <filesystem>
#include <functional>

namespace qrv {

inline constexpr const char* kMinimumDisplayText = "Minimum display resolution is 800x600";
inline constexpr const char* kWarningTitle = "Warning";
inline constexpr const char* kDemoQuestionText = "                 Do you want to continue in demo mode?";
// Beneath the question: what a newcomer checks before trying ReConnect.
inline constexpr const char* kNotFoundChecks =
    "No QRV5173 answered. Check that its USB cable is plugged in and the unit is switched on, that your "
    "user is in the dialout group (log in again after adding it), and that no other program holds the port.";
inline constexpr int kMinimumScreenWidth = 800;
inline constexpr int kMinimumScreenHeight = 600;

// How the program comes up. The window layer calls, in this order:
//
//   splashLoad(program)            when the splash window is created, before it is shown
//   splashResize(program.splash)   on every resize of the splash window
//   splashTimer(program, show)     when the splash Timer1 fires (after 2000 ms); it runs
//                                  mainWindowLoad and editorWindowLoad itself and calls
//                                  show(Window::Main), then show(Window::Editor) after each
//                                  load; afterwards program.splash.loaded is false and the
//                                  splash window is to be closed.
//
// Every procedure blocks until its exchanges are done; the host's refresh(Window::Splash)
// is the moment to repaint the splash window (status label and progress bar).

// Hides the status label, warns about a small screen, takes the working directory as
// the program folder and starts the splash timer with 2000 ms.
void splashLoad(Program& program);
// Keeps the splash window at 11265 x 6360 twips.
void splashResize(FrmSplash& splash);
using ShowWindow = std::function<void(Window)>;
void splashTimer(Program& program, const ShowWindow& show);

// The start-up proper: connects (or asks for demo mode), writes init.cfg and dumps the
// device memory, then hides the change marker and, when the Tap Delay page is shown, starts
// the editor's Timer1 with 1000 ms.
void mainWindowLoad(Program& program);
// Hides the command panel button "Reload All Effect".
void editorWindowLoad(FrmMain& form);

// The start-up connection with the demo question: true when connected; false after Yes
// (demo mode still to be entered); No ends the program.
bool startUpConnection(Program& program);
// Keeps where the unit answered (a name that survives replugging, where there is one) for the
// next start-up, which tries that port first.
void rememberPort(Program& program);
// The demo-mode settings: effect 0, switch off, every slot empty, nothing sent.
void enterDemoMode(Program& program);
// Writes the port number as two little-endian bytes over the start of
// folder/init.cfg, keeping any longer tail; creates the file when missing. False when it
// could not be written.
bool writeInitCfg(const std::filesystem::path& folder, int16_t portNumber);

} // namespace qrv
