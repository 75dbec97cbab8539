#pragma once

#include "devmem/SplashForm.hpp"
#include "state/Host.hpp"
#include "state/TimeLeft.hpp"

namespace qrv::cli {

// Thrown by TerminalHost::endProgram; the command turns it into exit status 1.
struct ProgramEnd {};
// Thrown after an exchange of an operation that has no Cancel of its own once a stop
// signal came; the command reports it and ends with status 1.
struct Stopped {
    int signal;
};

// Says that no port answered, with what the user can do about a port that would not open.
void reportNoUnitFound(int portsTried, const std::string& advice);

// The Host of a terminal tool: boxes go to standard error, every question is answered
// No, the splash window's status and the progress of long operations are printed to
// standard error.
class TerminalHost final : public Host {
public:
    void message(const std::string& text, const std::string& title, Icon icon) override;
    bool askYesNo(const std::string& text, const std::string& title, Icon icon, Button defaultButton) override;
    std::optional<std::filesystem::path> openFile(const std::string&, const std::filesystem::path&) override
    {
        return {};
    }
    std::optional<std::filesystem::path> saveFile(const std::string&, const std::filesystem::path&) override
    {
        return {};
    }
    void setBusy(Window, bool) override {}
    void refresh(Window window) override;
    void sleep(int milliseconds) override;
    [[noreturn]] void endProgram() override;
    void log(const std::string& text) override;
    ScreenSize screenSize() override { return {1024, 768}; }
    char decimalPoint() override { return '.'; }
    // Long operations: one updated line on a terminal, a line per tenth otherwise.
    void beginProgress(const std::string& title, int steps, bool cancellable) override;
    void stepProgress(int done) override;
    void resizeProgress(int steps) override;
    void endProgress() override;
    // A stop signal is the terminal's Cancel.
    bool cancelRequested() override;

    // The splash model whose status and progress are shown on refresh(Window::Splash).
    void showSplash(const FrmSplash* splash) { splash_ = splash; }
    // Ends a progress line that is still open.
    void finishProgress();

private:
    const FrmSplash* splash_ = nullptr;
    std::string title_;
    int steps_ = 0;
    int depth_ = 0; // an operation inside another one prints nothing of its own
    bool cancellable_ = false;
    TimeLeft timeLeft_;
    std::string lastCaption_;
    int lastShown_ = -10; // no step printed yet
    int lastDone_ = 0;
    bool lineOpen_ = false;
};

} // namespace qrv::cli
