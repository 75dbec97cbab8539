#pragma once

#include "ui/pages/Binder.hpp"
#include "ui/windows/SplashWindow.hpp"

#include "app/Program.hpp"
#include "storage/CommandPanel.hpp"

#include <QPointer>
#include <QSettings>

#include <functional>
#include <memory>

namespace qrv {
class PortWatch;
}

namespace qrv::ui {

class EditorWindow;
class MainWindow;
class PresetLibraryPanel;
class UnitPresetsPanel;
class QtHost;

// The program's windows over one Program, wired to its procedures: the splash window
// that brings the program up, the main window with the editor, and the preset dialogs.
// The About box's text, with the version.
QString aboutText();

// The editor's remembered settings (the window layout, the exchange order), one file per user.
QSettings& settings();
inline constexpr const char* kExactOrderKey = "exactOrder";

class AppWindows {
public:
    // qtHost: the host the windows are attached to for busy pointers and repaints; null
    // when the program runs on another host (tests). The main and editor windows are
    // built on first use, or while the splash window waits.
    AppWindows(Program& program, QtHost* qtHost);
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    // Loads and shows the splash window; its timer runs the start-up and shows the rest.
    void start();

    Binder& binder() { return binder_; }
    EditorWindow& editor();
    MainWindow& main();
    SplashWindow* splash() { return splash_; }

    // The command panel's actions that need windows or the link.
    PanelActions panelActions();
    void showReadDialog();
    void showStoreDialog();
    // Shows the main window or the editor window, as start-up asks.
    void show(Window window);
    // Where the main window keeps its place, size and panels between runs; set before start().
    void setLayoutMemory(std::unique_ptr<QSettings> memory) { layoutMemory_ = std::move(memory); }
    // The ports' watch behind the status bar's Connect and the Device menu's "Connect
    // Automatically", kept in `settings`; set before start().
    void setPortWatch(PortWatch* watch, std::unique_ptr<QSettings> settings)
    {
        portWatch_ = watch;
        watchSettings_ = std::move(settings);
    }
    // Runs once the editor window has been shown at the end of start-up.
    void setOnEditorShown(std::function<void()> callback) { onEditorShown_ = std::move(callback); }

private:
    void build();
    // The windows without their pages.
    void buildShell();
    // The shell, then one page per event-loop turn, until all are built.
    void buildInTurns();
    // The command panel's actions in the menus, and Help.
    void buildMenus();
    // The Preset Library panel, hidden, with its entry in the File menu.
    void buildLibrary();
    // The Unit Presets panel, hidden, in the View menu, its operations in the Edit menu.
    void buildUnitPresets();
    // Connect in the status bar and "Connect Automatically" in the Device menu.
    void buildPortWatch();
    void attach(Window window, QWidget* widget);
    void detach(Window window);

    Program& program_;
    QtHost* qtHost_;
    Binder binder_;
    std::unique_ptr<MainWindow> main_;
    EditorWindow* editor_ = nullptr; // owned by the main window
    QPointer<SplashWindow> splash_;
    std::function<void()> onEditorShown_;

    PresetLibraryPanel* library_ = nullptr; // owned by the main window
    UnitPresetsPanel* unitPresets_ = nullptr; // owned by the main window
    std::unique_ptr<QSettings> layoutMemory_;
    PortWatch* portWatch_ = nullptr;
    std::unique_ptr<QSettings> watchSettings_;
};

} // namespace qrv::ui
