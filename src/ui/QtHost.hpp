#pragma once

#include "ui/windows/ProgressWindow.hpp"

#include "state/Host.hpp"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace qrv::ui {

inline constexpr const char* kApplicationName = "QRV5173";

// "text (*.fxp)|*.fxp|..." pairs as the core gives them, in Qt's ";;" form.
QString qtFileFilter(const std::string& filter);
// The title a box shows: the application's name for the default title.
QString boxTitle(const std::string& title);
QMessageBox::Icon boxIcon(Icon icon);

// A box as message() and askYesNo() show it; built separately so it can be examined.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                                            Icon icon);
std::unique_ptr<QMessageBox> makeQuestionBox(QWidget* parent, const std::string& text, const std::string& title,
                                             Icon icon, Button defaultButton);

// The platform for the core: message boxes, file dialogs, busy pointers and repaints
// of the windows attached to it.
class QtHost final : public Host {
public:
    // A window of the program, with the function that copies its model into its widgets
    // and paints what changed.
    void attach(Window window, QWidget* widget, std::function<void()> showNow = {});
    void detach(Window window);
    QWidget* widget(Window window) const;
    // Runs just before the program ends (closing the port, for one).
    void setBeforeEnd(std::function<void()> beforeEnd) { beforeEnd_ = std::move(beforeEnd); }

    void message(const std::string& text, const std::string& title, Icon icon) override;
    bool askYesNo(const std::string& text, const std::string& title, Icon icon, Button defaultButton) override;
    bool askYesNo(const std::string& text, const std::string& detail, const std::string& title, Icon icon,
                  Button defaultButton) override;
    std::optional<std::filesystem::path> openFile(const std::string& filter,
                                                  const std::filesystem::path& folder) override;
    std::optional<std::filesystem::path> saveFile(const std::string& filter,
                                                  const std::filesystem::path& folder) override;
    void setBusy(Window window, bool busy) override;
    void refresh(Window window) override;
    void sleep(int milliseconds) override;
    void beginProgress(const std::string& title, int steps, bool cancellable) override;
    void stepProgress(int done) override;
    void resizeProgress(int steps) override;
    bool cancelRequested() override;
    void endProgress() override;
    ProgressWindow* progressWindow() const { return progress_; }
    [[noreturn]] void endProgram() override;
    void setExitStatus(int status) override { exitStatus_ = status; }
    void log(const std::string& text) override;
    ScreenSize screenSize() override;
    char decimalPoint() override;

private:
    struct Attached {
        QPointer<QWidget> widget;
        std::function<void()> showNow;
    };
    // The window a box or dialog belongs to: the modal one open, else the main window.
    QWidget* dialogParent() const;
    void showNow(Window window);

    // Screen readers hear the main window busy while the core works with the unit.
    void markBusy(bool busy);
    // The start and end of a long operation, in the main window's status bar.
    void showActivity(const QString& text);

    std::array<Attached, 5> windows_;
    // The splash window's progress moves with every exchange of the dump.
    PaintPace splashPace_{[this] { showNow(Window::Splash); }};
    int busyDepth_ = 0;
    QString progressTitle_;
    std::function<void()> beforeEnd_;
    QPointer<ProgressWindow> progress_;
    int progressDepth_ = 0; // an operation inside another one shows no window of its own
    int exitStatus_ = 0;
};

} // namespace qrv::ui
