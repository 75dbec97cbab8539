#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qrv {

enum class Icon { None, Exclamation, Critical, Information };
enum class Button { Yes, No };
enum class Window { Splash, Main, Editor, Read, Store };

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Exit status of an ending forced by a failure ("Time out", the usb problem box).
inline constexpr int kFailureExitStatus = 1;

// Title used for boxes that carry the application's default title.
inline constexpr const char* kDefaultTitle = "";

// What the core needs from the platform. The Qt layer implements it; tests script it.
class Host {
public:
    virtual ~Host() = default;

    virtual void message(const std::string& text, const std::string& title, Icon icon) = 0;
    virtual bool askYesNo(const std::string& text, const std::string& title, Icon icon, Button defaultButton) = 0;
    // The same question with a line of our own beneath the system's words, which stay as
    // they are; a host that cannot show the line asks the plain question.
    virtual bool askYesNo(const std::string& text, const std::string& detail, const std::string& title, Icon icon,
                          Button defaultButton)
    {
        (void)detail;
        return askYesNo(text, title, icon, defaultButton);
    }
    virtual std::optional<std::filesystem::path> openFile(const std::string& filter,
                                                          const std::filesystem::path& folder) = 0;
    // `folder` may end in a file name to offer.
    virtual std::optional<std::filesystem::path> saveFile(const std::string& filter,
                                                          const std::filesystem::path& folder) = 0;
    virtual void setBusy(Window window, bool busy) = 0;
    // Shows pending control changes of the window now.
    virtual void refresh(Window window) = 0;
    virtual void sleep(int milliseconds) = 0;
    [[noreturn]] virtual void endProgram() = 0;
    // The exit status endProgram gives the system; a failure sets a non-zero one first.
    virtual void setExitStatus(int /*status*/) {}
    // A note for whoever looks into what happened on the line (a reply the unit gave twice
    // although no control can hold it); never a box.
    virtual void log(const std::string& /*text*/) {}
    // A long operation announces its exchanges; the platform shows progress with the
    // time left and, when cancellable, a Cancel that the operation reads between exchanges.
    virtual void beginProgress(const std::string& /*title*/, int /*steps*/, bool /*cancellable*/) {}
    virtual void stepProgress(int /*done*/) {}
    virtual void resizeProgress(int /*steps*/) {}
    virtual bool cancelRequested() { return false; }
    virtual void endProgress() {}
    virtual ScreenSize screenSize() = 0;
    virtual char decimalPoint() = 0;
};

} // namespace qrv
