#include "TerminalHost.hpp"

#include "link/PortSearch.hpp"

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace qrv::cli {

namespace {

// The boxes pad their texts with blanks for the window; a terminal line needs none.
std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

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
    const ProgressBar& bar = splash_->ProgressBar1;
    if (!bar.visible || bar.max <= 0) {
        if (caption != lastCaption_) {
            finishProgress();
            std::fprintf(stderr, "%s\n", caption.c_str());
            lastCaption_ = caption;
        }
        return;
    }
    lastCaption_ = caption;
    const int percent = bar.value * 100 / bar.max;
    if (interactive()) {
        std::fprintf(stderr, "\r%s %d/%d", caption.c_str(), bar.value, bar.max);
        lineOpen_ = true;
    } else if (percent / 10 != lastShown_ / 10) {
        std::fprintf(stderr, "%s %d%%\n", caption.c_str(), percent);
    }
    lastShown_ = percent;
    std::fflush(stderr);
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

void TerminalHost::endProgram()
{
    finishProgress();
    throw ProgramEnd{};
}

} // namespace qrv::cli
