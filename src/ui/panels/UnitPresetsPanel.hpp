#pragma once

#include "ui/panels/UnitPresetsModel.hpp"

#include <QDockWidget>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QSortFilterProxyModel;
class QTreeView;

namespace qrv::ui {

class Binder;
class MainWindow;

// "Unit Presets": the unit's stored presets, every effect with its eight slots, and what a
// librarian does with them (load, rename, copy, cut and paste, swap, compare, clear, export, import;
// dragging moves, Ctrl-dragging copies, preset files dropped go in). Every operation goes
// through the binder to the core, which reads what it lacks and writes safely; the outcome
// goes to the status bar, a failure into a box with the core's words.
class UnitPresetsPanel final : public QDockWidget {
    Q_OBJECT
public:
    // presetFolder: where the file dialogs start.
    UnitPresetsPanel(Editor& editor, Binder& binder, std::function<std::filesystem::path()> presetFolder,
                     QWidget* parent = nullptr);

    QTreeView* view() const { return view_; }
    UnitPresetsModel* model() const { return model_; }
    // The operations, in menu order (null entries stand for separators).
    const QList<QAction*>& operations() const { return operations_; }

    // The folder an export writes to and the files an import reads; file dialogs unless set.
    void setChoosers(std::function<std::optional<std::filesystem::path>()> exportFolder,
                     std::function<std::vector<std::filesystem::path>()> importFiles);

    // The selected slots, an effect standing for its eight, in the unit's order.
    std::vector<SlotRef> selectedSlots() const;

private:
    QAction* addOperation(const QString& text, const QString& name, const QKeySequence& key,
                          const QString& tip, std::function<void()> run);
    void buildOperations();
    void updateOperations();
    std::optional<SlotRef> currentSlot() const;
    std::vector<SlotRef> storedSelected() const;
    // Runs the core operation through the binder and tells how it ended; `done` is said
    // when the core has nothing to add.
    void run(const QString& done, std::function<SlotOutcome(UnitSlots&)> operation);
    // Into the core through the binder; while the core runs what the user asked before, the
    // status bar and the screen reader say that nothing was done.
    void enter(const std::function<void()>& handler);
    void load(const QModelIndex& index);
    void copyToClipboard(bool cut);
    void paste();
    void exportSlots(bool all);
    void importFiles();
    void showRefusal(const QString& why);

    Editor& editor_;
    Binder& binder_;
    UnitSlots slots_;
    std::function<std::filesystem::path()> presetFolder_;
    std::function<std::optional<std::filesystem::path>()> exportFolder_;
    std::function<std::vector<std::filesystem::path>()> importFiles_;
    UnitPresetsModel* model_;
    QSortFilterProxyModel* sorted_;
    QTreeView* view_;
    QList<QAction*> operations_;
    QAction* load_ = nullptr;
    QAction* rename_ = nullptr;
    QAction* copy_ = nullptr;
    QAction* cut_ = nullptr;
    QAction* paste_ = nullptr;
    QAction* swap_ = nullptr;
    QAction* compare_ = nullptr;
    QAction* compareFile_ = nullptr;
    QAction* clear_ = nullptr;
    QAction* export_ = nullptr;
    QAction* exportAll_ = nullptr;
    QAction* import_ = nullptr;
    std::vector<SlotRef> cutSlots_; // cut and not yet pasted: a paste of these moves them
    bool focused_ = false;           // the panel had the keyboard last (menus aside)
};

// Docks the panel, hidden, with "Unit Presets" (Ctrl+U) in the View menu and its operations
// at the end of the Edit menu.
void addUnitPresets(MainWindow* main, QMenu* viewMenu, QMenu* editMenu, UnitPresetsPanel* panel);

} // namespace qrv::ui
