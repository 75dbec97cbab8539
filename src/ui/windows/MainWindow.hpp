#pragma once

#include "state/ProgramState.hpp"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QSettings;
class QTimer;

namespace qrv::ui {

class EditorWindow;

// What the status bar tells of the link: connecting at start-up, connected on a port, demo
// mode, lost.
QString linkStatusText(const ProgramState& state, const std::string& portName, bool startingUp);
inline constexpr const char* kUnitMayDifferText = "Unit may differ from the editor";

// The main window MDIFrmMain: the editor fills it, with the menus above and the status
// bar below.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(EditorWindow* editor, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Decides every close request: false cancels it.
    void setCloseRequest(std::function<bool()> request) { closeRequest_ = std::move(request); }
    EditorWindow* editor() const { return editor_; }
    // Sizes the window around the editor, or as it was left last time, wholly on the
    // screen's free area.
    void fitToEditor();
    // Where the window's place, size and panels are kept between runs; none: not kept.
    void setLayoutMemory(std::unique_ptr<QSettings> memory);
    // Moves and, if it must, shrinks the window so that all of it lies on the screen's free
    // area; `centre` puts it in the middle.
    void keepOnScreen(bool centre);
    // What the menu bar, status bar and docks take of the window, as its layout has them now.
    QSize aroundEditor() const;
    // The window size that shows an editor of that size whole, scroll bars not needed.
    QSize sizeForEditor(QSize editorSize) const;

    QMenu* fileMenu() const { return file_; }
    QMenu* editMenu() const { return edit_; }
    QMenu* viewMenu() const { return view_; }
    QMenu* deviceMenu() const { return device_; }
    QMenu* helpMenu() const { return help_; }

    // The title for the editor's caption ("QRV5173 - [QRV5173 Edit]").
    void showEditorCaption(const QString& caption);
    // The status bar: the link, whether the unit may differ, and the last action's outcome.
    void showStatus(const QString& link, bool unitMayDiffer, const QString& outcome);
    // What the window is busy with ("Back Up Device: started"), beside the outcome; screen
    // readers hear it at once.
    void showActivity(const QString& text);
    // The status bar's Connect, shown while a unit found on a port is offered.
    QPushButton* connectButton() const { return connect_; }
    void showConnectOffer(bool shown);
    // The status bar's texts as one line, as it reads left to right.
    QString statusText() const;

    // The keyboard's way round the window: Shift+F10 opens the focused control's menu, F6
    // and Shift+F6 move between the page and the open panels, and the Edit menu's resets
    // act on the control that had the focus.
    void addKeyboardNavigation();
    // Moves the focus into the page or a panel, where it was last there.
    static void focusInto(QWidget* area);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Kept a moment after the last move or resize, and when a panel shows or hides.
    void rememberLayout();
    void moveFocusBetweenAreas(int direction);

    std::unique_ptr<QSettings> memory_;
    QTimer* remember_ = nullptr;
    bool placed_ = false;
    EditorWindow* editor_;
    QScrollArea* area_;
    QMenu* file_;
    QMenu* edit_;
    QMenu* view_;
    QMenu* device_;
    QMenu* help_;
    QLabel* outcome_;
    QLabel* activity_;
    QLabel* differ_;
    QLabel* link_;
    QPushButton* connect_;
    QPointer<QWidget> lastFocus_;
    std::function<bool()> closeRequest_;
};

} // namespace qrv::ui
