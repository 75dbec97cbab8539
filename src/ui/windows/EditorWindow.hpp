#pragma once

#include "editor/Editor.hpp"

#include <QWidget>

#include <functional>
#include <map>

class QAction;
class QStackedWidget;

namespace qrv::ui {

class Binder;

// The editor window FrmMain: the command panel, the effect list and switch, the preset
// caption and the thirteen effect pages, with exactly the front page shown.
class EditorWindow final : public QWidget {
    Q_OBJECT
public:
    // Building a page takes several milliseconds; at start-up they are built one per
    // event-loop turn so that the splash window stays live.
    enum class PageBuilding { AllNow, OnRequest };

    EditorWindow(Editor& editor, Binder& binder, PageBuilding pageBuilding = PageBuilding::AllNow,
                 QWidget* parent = nullptr);

    // Builds the next page not yet built; true while pages remain.
    bool buildNextPage();
    void buildRemainingPages();

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
    // Compare With Stored and Compare With…, for the Edit menu.
    QAction* compareAction() const { return compareAction_; }
    QAction* compareWithAction() const { return compareWithAction_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildCommandPanel();
    QWidget* buildHeader();

    Editor& editor_;
    Binder& binder_;
    QStackedWidget* pages_ = nullptr;
    std::map<int, QWidget*> pageByElement_;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QAction* compareAction_ = nullptr;
    QAction* compareWithAction_ = nullptr;
    std::function<void(int)> commandHandler_;
    std::function<void()> reopenHandler_;
    std::function<bool()> closeRequest_;
};

} // namespace qrv::ui
