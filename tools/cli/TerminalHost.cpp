#include "TerminalHost.hpp"

#include "Signals.hpp"

#include "link/PortSearch.hpp"
#include "state/CodePage.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace qrv::cli {

namespace {

bool interactive()
{
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace

void TerminalHost::message(const std::string& text, const std::string& title, Icon)
{
    finishProgress();
    // The editor's demo-mode notice speaks of buttons a terminal does not have.
    if (text == kPortNotFoundText) {
        std::fprintf(stderr, "qrv5173-cli: the QRV5173 stopped answering and was not found again on any port\n");
        return;
    }
    if (title.empty())
        std::fprintf(stderr, "qrv5173-cli: %s\n", trimmed(text).c_str());
    else
        std::fprintf(stderr, "qrv5173-cli: %s: %s\n", trimmed(title).c_str(), trimmed(text).c_str());
}

bool TerminalHost::askYesNo(const std::string& text, const std::string& title, Icon icon, Button)
{
    message(text + " (answered No)", title, icon);
    return false;
}

void TerminalHost::refresh(Window window)
{
    if (window != Window::Splash || splash_ == nullptr || !splash_->Label1.visible)
        return;
    const std::string caption = trimmed(splash_->Label1.caption);
    if (caption != lastCaption_) {
        finishProgress();
        std::fprintf(stderr, "%s\n", caption.c_str());
        lastCaption_ = caption;
    }
}

void TerminalHost::beginProgress(const std::string& title, int steps, bool cancellable)
{
    if (depth_++ > 0)
        return;
    cancellable_ = cancellable;
    title_ = title;
    steps_ = steps;
    lastShown_ = -10;
    lastDone_ = 0;
    timeLeft_ = TimeLeft();
}

void TerminalHost::resizeProgress(int steps)
{
    // A restore's read-back announces only its own exchanges: they come on top of the
    // writes already done.
    steps_ = steps < lastDone_ ? lastDone_ + steps : steps;
}

bool TerminalHost::cancelRequested()
{
    return stopSignal() != 0;
}

void TerminalHost::stepProgress(int done)
{
    if (depth_ > 0 && !cancellable_ && stopSignal() != 0) {
        finishProgress();
        throw Stopped{stopSignal()};
    }
    if (depth_ != 1 || steps_ <= 0)
        return;
    lastDone_ = done;
    // Exchanges started over after a reconnection may count past the plan.
    const int shown = std::min(done, steps_);
    const int percent = shown * 100 / steps_;
    if (interactive()) {
        const std::string left = timeLeftText(timeLeft_.seconds(shown, steps_));
        std::fprintf(stderr, "\r\033[K%s %d/%d %s", title_.c_str(), shown, steps_, left.c_str());
        lineOpen_ = true;
    } else if (percent / 10 != lastShown_ / 10) {
        std::fprintf(stderr, "%s %d%%\n", title_.c_str(), percent);
    }
    lastShown_ = percent;
    std::fflush(stderr);
}

void TerminalHost::endProgress()
{
    if (depth_ > 0 && --depth_ == 0)
        finishProgress();
}

void TerminalHost::finishProgress()
{
    if (lineOpen_)
        std::fputc('\n', stderr);
    lineOpen_ = false;
}

void TerminalHost::sleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void reportNoUnitFound(int portsTried, const std::string& advice)
{
    std::fprintf(stderr, "qrv5173-cli: no QRV5173 answered on any of the %d ports tried%s\n", portsTried,
                 portsTried == 0 ? " (give one with --port PATH)" : "");
    if (!advice.empty())
        std::fprintf(stderr, "qrv5173-cli: %s\n", advice.c_str());
}

void TerminalHost::log(const std::string& text)
{
    finishProgress();
    std::fprintf(stderr, "qrv5173-cli: note: %s\n", text.c_str());
}

void TerminalHost::endProgram()
{
    finishProgress();
    throw ProgramEnd{};
}

} // namespace qrv::cli
