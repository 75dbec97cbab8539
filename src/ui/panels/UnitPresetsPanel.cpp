#include "ui/panels/UnitPresetsPanel.hpp"

#include "ui/pages/Accessible.hpp"
#include "ui/pages/Binder.hpp"
#include "ui/panels/PresetLibraryPanel.hpp" // dockPanel, tellFromPanel
#include "ui/windows/MainWindow.hpp"
#include "ui/windows/SideBySideWindow.hpp"

#include "devmem/PresetDialogs.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragMoveEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <algorithm>

namespace qrv::ui {

namespace {

const char* const kTitle = "Unit Presets";

// Renaming in place: at most the eight characters a slot's name holds.
class NameDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setMaxLength(kNameLength);
            line->setAccessibleName(QStringLiteral("Preset name"));
        }
        return editor;
    }
};

// The tree that says why a drop is refused while the pointer is over the refusing place.
class SlotTree final : public PanelTree {
public:
    explicit SlotTree(std::function<void(const QMimeData*, const QModelIndex&)> refused)
        : refused_(std::move(refused))
    {
    }

protected:
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        PanelTree::dragMoveEvent(event);
        if (!event->isAccepted())
            refused_(event->mimeData(), indexAt(event->position().toPoint()));
    }

private:
    std::function<void(const QMimeData*, const QModelIndex&)> refused_;
};

QString presetsText(std::size_t count)
{
    return QString::fromStdString(countText(count, "preset"));
}

std::vector<SlotRef> wholeUnit()
{
    std::vector<SlotRef> all;
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s)
            all.push_back({e, s});
    return all;
}

} // namespace

UnitPresetsPanel::UnitPresetsPanel(Editor& editor, Binder& binder, std::function<std::filesystem::path()> presetFolder,
                                   QWidget* parent)
    : QDockWidget(QString::fromLatin1(kTitle), parent), editor_(editor), binder_(binder), slots_(editor),
      presetFolder_(std::move(presetFolder))
{
    setObjectName(QStringLiteral("UnitPresets"));
    UnitPresetsModel::Requests requests;
    requests.rename = [this](SlotRef at, const QString& name) {
        // Once the name's editor has closed: the focus then goes back to the slot, not to the
        // window's first button when the editor is gone.
        QMetaObject::invokeMethod(
            this,
            [this, at, name = name.toStdString()] {
                run(QStringLiteral("Renamed"), [at, name](UnitSlots& unit) { return unit.rename(at, name); });
            },
            Qt::QueuedConnection);
    };
    requests.places = [this](const std::vector<SlotRef>& from, const std::vector<SlotRef>& to, bool move) {
        // After the drag has ended, not inside it.
        QMetaObject::invokeMethod(
            this,
            [this, from, to, move] {
                run((move ? QStringLiteral("Moved ") : QStringLiteral("Copied ")) + presetsText(from.size()),
                    [from, to, move](UnitSlots& unit) { return move ? unit.move(from, to) : unit.copy(from, to); });
            },
            Qt::QueuedConnection);
    };
    requests.files = [this](const std::vector<std::filesystem::path>& files, int effect, const std::vector<SlotRef>& to) {
        QMetaObject::invokeMethod(
            this,
            [this, files, effect, to] {
                run(QStringLiteral("Imported ") + presetsText(files.size()),
                    [files, effect, to](UnitSlots& unit) { return unit.importFiles(files, effect, to); });
            },
            Qt::QueuedConnection);
    };
    model_ = new UnitPresetsModel(editor_, std::move(requests), this);
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSortRole(UnitPresetsModel::SortRole);
    sorted_->setSourceModel(model_);

    view_ = new SlotTree([this](const QMimeData* data, const QModelIndex& at) {
        showRefusal(model_->refusal(data, sorted_->mapToSource(at)));
    });
    view_->setObjectName(QStringLiteral("UnitPresetsView"));
    view_->setAccessibleName(QString::fromLatin1(kTitle));
    view_->setAccessibleDescription(QStringLiteral("The unit's stored presets, eight slots for each effect"));
    view_->setModel(sorted_);
    view_->setItemDelegateForColumn(0, new NameDelegate(view_));
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::EditKeyPressed);
    view_->setSortingEnabled(true);
    view_->sortByColumn(0, Qt::AscendingOrder);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setDragEnabled(true);
    view_->setAcceptDrops(true);
    view_->setDropIndicatorShown(true);
    view_->setDragDropMode(QAbstractItemView::DragDrop);
    view_->setDragDropOverwriteMode(true);
    view_->setDefaultDropAction(Qt::MoveAction);
    view_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view_->header()->setStretchLastSection(true);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    view_->expandAll();
    setWidget(view_);

    buildOperations();
    connect(view_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) { load(index); });
    connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(view_);
        for (QAction* action : std::as_const(operations_)) {
            if (action)
                menu.addAction(action);
            else
                menu.addSeparator();
        }
        menu.exec(view_->viewport()->mapToGlobal(at));
    });
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { updateOperations(); });
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { updateOperations(); });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] { updateOperations(); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] { updateOperations(); });
    // The menus take the keyboard while they are used: the control before them counts.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (qobject_cast<QMenuBar*>(now) || qobject_cast<QMenu*>(now))
            return;
        focused_ = now && isAncestorOf(now);
        updateOperations();
    });
    binder_.custom(this, [this]() -> QWidget* { return model_->refresh() ? view_ : nullptr; });
    updateOperations();
}

void UnitPresetsPanel::setChoosers(std::function<std::optional<std::filesystem::path>()> exportFolder,
                                   std::function<std::vector<std::filesystem::path>()> importFiles)
{
    exportFolder_ = std::move(exportFolder);
    importFiles_ = std::move(importFiles);
}

QAction* UnitPresetsPanel::addOperation(const QString& text, const QString& name, const QKeySequence& key,
                                        const QString& tip, std::function<void()> run)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QStringLiteral("UnitPresets_") + name);
    action->setShortcut(key);
    // Only inside the panel: the pages' text boxes keep their own Ctrl+C, Ctrl+V and Delete.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    action->setStatusTip(tip);
    connect(action, &QAction::triggered, this, std::move(run));
    view_->addAction(action);
    operations_ << action;
    return action;
}

void UnitPresetsPanel::buildOperations()
{
    load_ = addOperation(QStringLiteral("Loa&d Into Editor"), QStringLiteral("Load"), {},
                         QStringLiteral("Load the slot's preset into the editor (Enter or double click)"),
                         [this] { load(view_->currentIndex()); });
    rename_ = addOperation(QStringLiteral("Re&name"), QStringLiteral("Rename"), QKeySequence(Qt::Key_F2),
                           QStringLiteral("Rename the slot's preset on the unit"), [this] {
                               const QModelIndex current = view_->currentIndex();
                               view_->edit(current.siblingAtColumn(0));
                           });
    operations_ << nullptr;
    copy_ = addOperation(QStringLiteral("C&opy Presets"), QStringLiteral("Copy"), QKeySequence::Copy,
                         QStringLiteral("Copy the selected presets, to paste into other slots of their effect"),
                         [this] { copyToClipboard(false); });
    cut_ = addOperation(QStringLiteral("Cu&t Presets"), QStringLiteral("Cut"), QKeySequence::Cut,
                        QStringLiteral("Move the selected presets: paste them into other slots of their effect"),
                        [this] { copyToClipboard(true); });
    paste_ = addOperation(QStringLiteral("&Paste Presets"), QStringLiteral("Paste"), QKeySequence::Paste,
                          QStringLiteral("Put the copied presets into this slot and those after it"),
                          [this] { paste(); });
    swap_ = addOperation(QStringLiteral("&Swap Two Presets"), QStringLiteral("Swap"), QKeySequence(Qt::CTRL | Qt::Key_T),
                         QStringLiteral("Exchange the two selected presets"), [this] {
                             const std::vector<SlotRef> two = selectedSlots();
                             run(QStringLiteral("Swapped"), [two](UnitSlots& unit) { return unit.swap(two[0], two[1]); });
                         });
    clear_ = addOperation(QStringLiteral("C&lear Slots"), QStringLiteral("Clear"), QKeySequence::Delete,
                          QStringLiteral("Empty the selected slots"), [this] {
                              const std::vector<SlotRef> stored = storedSelected();
                              run(QStringLiteral("Cleared ") + presetsText(stored.size()),
                                  [stored](UnitSlots& unit) { return unit.clear(stored); });
                          });
    compare_ = addOperation(QString::fromLatin1(kCompareSideBySideText), QStringLiteral("Compare"), compareSideBySideKey(),
                            QStringLiteral("See two slots of one effect, or a slot and your edits, in one table"),
                            [this] {
                                const std::vector<SlotRef> chosen = selectedSlots();
                                enter([this, chosen] { compareSlots(window(), binder_, editor_, slots_, chosen); });
                            });
    compareFile_ = addOperation(QStringLiteral("Compare With &File…"), QStringLiteral("CompareFile"), {},
                                QStringLiteral("See the slot beside a preset file of its effect, in one table"),
                                [this] {
                                    const std::vector<SlotRef> chosen = selectedSlots();
                                    enter([this, chosen] {
                                        compareSlotWithFile(window(), binder_, editor_, slots_, chosen, presetFolder_());
                                    });
                                });
    operations_ << nullptr;
    export_ = addOperation(QStringLiteral("&Export Presets…"), QStringLiteral("Export"), QKeySequence(Qt::CTRL | Qt::Key_E),
                           QStringLiteral("Save the selected slots, or whole effects, as preset files in a folder"),
                           [this] { exportSlots(false); });
    exportAll_ = addOperation(QStringLiteral("Export W&hole Unit…"), QStringLiteral("ExportAll"), {},
                              QStringLiteral("Save every stored preset of the unit as a preset file in a folder"),
                              [this] { exportSlots(true); });
    import_ = addOperation(QStringLiteral("&Import Presets…"), QStringLiteral("Import"), QKeySequence(Qt::CTRL | Qt::Key_I),
                           QStringLiteral("Put preset files into this slot and those after it, or into the "
                                          "effect's first empty slots"),
                           [this] { importFiles(); });
}

std::optional<SlotRef> UnitPresetsPanel::currentSlot() const
{
    return UnitPresetsModel::slotAt(sorted_->mapToSource(view_->currentIndex()));
}

std::vector<SlotRef> UnitPresetsPanel::selectedSlots() const
{
    std::vector<SlotRef> places;
    for (const QModelIndex& row : view_->selectionModel()->selectedRows()) {
        const QModelIndex index = sorted_->mapToSource(row);
        if (const std::optional<SlotRef> at = UnitPresetsModel::slotAt(index))
            places.push_back(*at);
        else
            for (int s = 0; s < kSlotCount; ++s)
                places.push_back({index.row(), s});
    }
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    return places;
}

std::vector<SlotRef> UnitPresetsPanel::storedSelected() const
{
    std::vector<SlotRef> stored = selectedSlots();
    std::erase_if(stored, [this](SlotRef at) { return !slots_.stored(at); });
    return stored;
}

void UnitPresetsPanel::updateOperations()
{
    const std::vector<SlotRef> selected = selectedSlots();
    const std::size_t stored = storedSelected().size();
    const std::optional<SlotRef> current = currentSlot();
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    const bool held = clipboard && (clipboard->hasFormat(QString::fromLatin1(kSlotsMimeType)) || clipboard->hasUrls());
    const bool currentStored = current && slots_.stored(*current);
    load_->setEnabled(focused_ && currentStored);
    rename_->setEnabled(focused_ && currentStored);
    copy_->setEnabled(focused_ && stored > 0);
    cut_->setEnabled(focused_ && stored > 0);
    paste_->setEnabled(focused_ && held && view_->currentIndex().isValid());
    swap_->setEnabled(focused_ && selected.size() == 2 && selected[0].effect == selected[1].effect);
    compare_->setEnabled(focused_ && !selected.empty()); // a choice it cannot compare is told why
    compareFile_->setEnabled(focused_ && !selected.empty());
    clear_->setEnabled(focused_ && stored > 0);
    export_->setEnabled(focused_ && !selected.empty());
    exportAll_->setEnabled(focused_);
    import_->setEnabled(focused_ && view_->currentIndex().isValid());
}

void UnitPresetsPanel::run(const QString& done, std::function<SlotOutcome(UnitSlots&)> operation)
{
    // Kept by value: while background work holds the core, the handler runs later.
    enter([this, done, operation = std::move(operation)] {
            const std::size_t steps = editor_.history().size();
            const SlotOutcome outcome = operation(slots_);
            ProgramState& state = editor_.state();
            // A change says what its undo step says.
            const HistoryStep* step = editor_.history().nextUndo();
            const bool recorded = editor_.history().size() != steps && step && !step->label.empty();
            state.lastOutcome = !outcome.message.empty() ? outcome.message
                : recorded                             ? step->label + " – done"
                                                       : done.toStdString();
            if (!outcome.done())
                editor_.host().message(state.lastOutcome, kTitle,
                                       outcome.refused ? Icon::Exclamation : Icon::Critical);
    });
}

void UnitPresetsPanel::enter(const std::function<void()>& handler)
{
    if (!binder_.handle(handler, view_))
        showRefusal(QStringLiteral("Busy with the unit: try again when the current action has finished"));
}

void UnitPresetsPanel::load(const QModelIndex& index)
{
    const std::optional<SlotRef> at = UnitPresetsModel::slotAt(sorted_->mapToSource(index));
    if (!at)
        return;
    enter([this, at] {
            // Another effect's slot: that effect is selected first, as the effect list does it.
            if (editor_.state().currentEffect != at->effect) {
                editor_.form().Combo1.index = at->effect;
                editor_.effectListClick();
                if (editor_.state().currentEffect != at->effect)
                    return;
            }
            ReadDialog dialog(editor_);
            dialog.load();
            if (!dialog.form.open)
                return;
            dialog.form.List1.index = at->slot;
            dialog.listDoubleClick();
    });
}

void UnitPresetsPanel::copyToClipboard(bool cut)
{
    const std::vector<SlotRef> stored = storedSelected();
    if (stored.empty())
        return;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kSlotsMimeType), encodeSlots(stored));
    QGuiApplication::clipboard()->setMimeData(data);
    cutSlots_ = cut ? stored : std::vector<SlotRef>{};
    const QString text = (cut ? QStringLiteral("Cut ") : QStringLiteral("Copied ")) + presetsText(stored.size()) +
        (stored.size() == 1 ? QStringLiteral(": paste it into a slot of the same effect")
                            : QStringLiteral(": paste them into a slot of the same effect"));
    tellFromPanel(view_, text);
}

void UnitPresetsPanel::paste()
{
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    if (clipboard && !clipboard->hasFormat(QString::fromLatin1(kSlotsMimeType)) && clipboard->hasUrls()) {
        // Files copied in the Library or a file manager: the keyboard's way of dropping them.
        const QModelIndex target = sorted_->mapToSource(view_->currentIndex());
        const QString why = model_->refusal(clipboard, target);
        if (!why.isEmpty())
            showRefusal(why);
        else
            model_->dropMimeData(clipboard, Qt::CopyAction, -1, -1, target);
        return;
    }
    const std::optional<SlotRef> target = currentSlot();
    if (!clipboard || !target)
        return;
    const std::vector<SlotRef> from = decodeSlots(clipboard->data(QString::fromLatin1(kSlotsMimeType)));
    if (from.empty())
        return;
    // The core takes the slots after the target for the rest, and refuses when they run out.
    const std::vector<SlotRef> to{*target};
    const bool move = !cutSlots_.empty() && cutSlots_ == from;
    if (move)
        cutSlots_.clear();
    run((move ? QStringLiteral("Moved ") : QStringLiteral("Pasted ")) + presetsText(from.size()),
        [from, to, move](UnitSlots& unit) { return move ? unit.move(from, to) : unit.copy(from, to); });
}

void UnitPresetsPanel::exportSlots(bool all)
{
    const std::vector<SlotRef> places = all ? wholeUnit() : selectedSlots();
    std::optional<std::filesystem::path> folder;
    if (exportFolder_) {
        folder = exportFolder_();
    } else {
        const QString chosen = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Export Presets To Folder"), QString::fromStdString(presetFolder_().string()));
        if (!chosen.isEmpty())
            folder = std::filesystem::path(chosen.toStdString());
    }
    if (!folder)
        return;
    run(QStringLiteral("Exported"), [places, folder = *folder](UnitSlots& unit) {
        UnitSlots::Exported exported = unit.exportSlots(places, folder);
        if (exported.outcome.done() && exported.outcome.message.empty())
            exported.outcome.message = "Exported " + presetsText(exported.files.size()).toStdString() + " to " +
                folder.string();
        return exported.outcome;
    });
}

void UnitPresetsPanel::importFiles()
{
    const QModelIndex current = sorted_->mapToSource(view_->currentIndex());
    if (!current.isValid())
        return;
    std::vector<std::filesystem::path> files;
    if (importFiles_) {
        files = importFiles_();
    } else {
        for (const QString& file :
             QFileDialog::getOpenFileNames(this, QStringLiteral("Import Preset Files"),
                                           QString::fromStdString(presetFolder_().string()),
                                           QStringLiteral("Preset files (*.fxp)")))
            files.emplace_back(file.toStdString());
    }
    if (files.empty())
        return;
    const int effect = UnitPresetsModel::effectAt(current);
    const std::optional<SlotRef> at = UnitPresetsModel::slotAt(current);
    const std::vector<SlotRef> to = at ? slotsFrom(*at, files.size()) : std::vector<SlotRef>{};
    run(QStringLiteral("Imported ") + presetsText(files.size()),
        [files, effect, to](UnitSlots& unit) { return unit.importFiles(files, effect, to); });
}

void UnitPresetsPanel::showRefusal(const QString& why)
{
    if (!why.isEmpty())
        tellFromPanel(view_, why);
}

void addUnitPresets(MainWindow* main, QMenu* viewMenu, QMenu* editMenu, UnitPresetsPanel* panel)
{
    QAction* toggle = panel->toggleViewAction();
    toggle->setText(QStringLiteral("&Unit Presets"));
    toggle->setObjectName(QStringLiteral("Menu_UnitPresets"));
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    toggle->setStatusTip(QStringLiteral("Show every stored preset of the unit, to load, rename, copy, move, "
                                        "swap, clear, export and import them"));
    dockPanel(main, viewMenu, nullptr, panel);
    editMenu->addSeparator();
    for (QAction* action : panel->operations()) {
        if (action)
            editMenu->addAction(action);
        else
            editMenu->addSeparator();
    }
}

} // namespace qrv::ui
