#pragma once

#include <QMainWindow>

#include <functional>

class QMdiArea;
class QMdiSubWindow;

namespace qrv::ui {

class EditorWindow;

// The main window MDIFrmMain, holding the editor window.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(EditorWindow* editor, QWidget* parent = nullptr);

    // Decides every close request: false cancels it.
    void setCloseRequest(std::function<bool()> request) { closeRequest_ = std::move(request); }
    QMdiSubWindow* editorFrame() const { return editorFrame_; }
    // Sizes the window around the editor, within the screen.
    void fitToEditor();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QMdiArea* area_;
    QMdiSubWindow* editorFrame_;
    std::function<bool()> closeRequest_;
};

} // namespace qrv::ui
