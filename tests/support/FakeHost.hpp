#pragma once

#include "state/Host.hpp"

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qrv::test {

// Thrown by FakeHost::endProgram so a test can see the program end. Not a
// std::exception, so that no handler of the core can mistake it for an error.
struct ProgramEnded {};

// A scripted host: answers are queued in advance, every box is recorded, and an
// unexpected question fails the test.
class FakeHost : public Host {
public:
    struct Box {
        std::string text;
        std::string title;
        Icon icon;
        bool question;
        Button defaultButton;
        std::string detail = {};
    };

    void message(const std::string& text, const std::string& title, Icon icon) override;
    bool askYesNo(const std::string& text, const std::string& title, Icon icon, Button defaultButton) override;
    bool askYesNo(const std::string& text, const std::string& detail, const std::string& title, Icon icon,
                  Button defaultButton) override
    {
        const bool yes = askYesNo(text, title, icon, defaultButton);
        boxes.back().detail = detail;
        return yes;
    }
    std::optional<std::filesystem::path> openFile(const std::string& filter,
                                                  const std::filesystem::path& folder) override;
    std::optional<std::filesystem::path> saveFile(const std::string& filter,
                                                  const std::filesystem::path& folder) override;
    void setBusy(Window window, bool busy) override;
    void refresh(Window window) override { refreshes.push_back(window); }
    void sleep(int milliseconds) override { sleeps.push_back(milliseconds); }
    [[noreturn]] void endProgram() override;
    void setExitStatus(int status) override { exitStatus = status; }
    void log(const std::string& text) override { logs.push_back(text); }
    ScreenSize screenSize() override { return screen; }
    char decimalPoint() override { return decimal; }

    void answer(bool yes) { answers.push_back(yes); }
    void choosePath(std::optional<std::filesystem::path> path) { paths.push_back(std::move(path)); }
    bool busy(Window window) const { return busyCount[static_cast<int>(window)] > 0; }

    // Long operations: every announcement is kept; Cancel is pressed once `cancelAtStep`
    // steps of the running one are done.
    struct Progress {
        std::string title;
        int steps;
        bool cancellable;
        int done = 0;
        bool ended = false;
    };
    void beginProgress(const std::string& title, int steps, bool cancellable) override
    {
        // A Cancel belongs to the operation it stopped; one inside it shares it.
        if (progress.empty() || progress.back().ended)
            cancelled = false;
        progress.push_back({title, steps, cancellable});
    }
    void stepProgress(int done) override
    {
        progress.back().done = done;
        cancelled = cancelled || (cancelAtStep && done >= *cancelAtStep);
    }
    void resizeProgress(int steps) override { progress.back().steps = steps; }
    bool cancelRequested() override { return cancelled; }
    void endProgress() override { progress.back().ended = true; }
    std::vector<Progress> progress;
    std::optional<int> cancelAtStep;
    bool cancelled = false;

    std::vector<Box> boxes;
    std::deque<bool> answers;
    std::deque<std::optional<std::filesystem::path>> paths;
    struct Dialog {
        bool save;
        std::string filter;
        std::filesystem::path folder;
    };
    std::vector<Dialog> dialogs;
    std::vector<Window> refreshes;
    std::vector<std::string> logs;
    std::vector<int> sleeps;
    std::vector<std::pair<Window, bool>> busyChanges;
    int busyCount[5] = {};
    bool ended = false;
    int exitStatus = 0;
    ScreenSize screen{1024, 768};
    char decimal = '.';
};

} // namespace qrv::test
