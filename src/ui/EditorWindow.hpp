#pragma once

#include "editor/Editor.hpp"

#include <QWidget>

#include <functional>

class QAction;
class QStackedWidget;

namespace qrv::ui {

class Binder;

// The editor window FrmMain: the command panel, the effect list and switch, the preset
// caption and the thirteen effect pages, with exactly the front page shown.
class EditorWindow final : public QWidget {
    Q_OBJECT
public:
    EditorWindow(Editor& editor, Binder& binder, QWidget* parent = nullptr);

    // What a click on command panel button i does.
    void setCommandHandler(std::function<void(int)> handler) { commandHandler_ = std::move(handler); }
    // What the reopen button "ReConnect" does.
    void setReopenHandler(std::function<void()> handler) { reopenHandler_ = std::move(handler); }
    // Decides the window's own close requests: false cancels them.
    void setCloseRequest(std::function<bool()> request) { closeRequest_ = std::move(request); }
    QStackedWidget* pages() const { return pages_; }
    // Undo and Redo of the editor's history, for a menu to show.
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildCommandPanel();
    QWidget* buildHeader();

    Editor& editor_;
    Binder& binder_;
    QStackedWidget* pages_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    std::function<void(int)> commandHandler_;
    std::function<void()> reopenHandler_;
    std::function<bool()> closeRequest_;
};

} // namespace qrv::ui
