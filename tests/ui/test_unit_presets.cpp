// The Unit Presets panel: the unit's slots, and what keys, menus and drops do to them.
#include "UiRig.hpp"

#include "TempFolder.hpp"

#include "devmem/PresetDialogs.hpp"
#include "state/CodePage.hpp"
#include "state/UnitKnowledge.hpp"
#include "storage/FileCodec.hpp"
#include "ui/pages/Accessible.hpp"
#include "ui/panels/UnitPresetsPanel.hpp"
#include "ui/windows/SideBySideWindow.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QUrl>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;

// The editor after start-up with every name and directory byte read, the panel open and
// the keyboard in it; the current effect has two stored slots and an empty one at least.
struct PanelRig : StartedRig {
    ui::UnitPresetsPanel* panel = nullptr;
    QTreeView* view = nullptr;
    QSortFilterProxyModel* sorted = nullptr;
    std::vector<SlotRef> stored; // of the current effect
    std::vector<SlotRef> empty;

    PanelRig()
    {
        showEditor();
        for (int e = 0; e < kEffectCount; ++e)
            EXPECT_TRUE(editor.provide(presetItems(e)));
        port.clearLog();
        find<QAction>("Menu_UnitPresets")->trigger();
        panel = find<ui::UnitPresetsPanel>("UnitPresets");
        view = panel->view();
        sorted = qobject_cast<QSortFilterProxyModel*>(view->model());
        for (int s = 0; s < kSlotCount; ++s)
            (holds({state.currentEffect, s}) ? stored : empty).push_back({state.currentEffect, s});
        if (stored.size() < 2 || empty.empty())
            throw std::runtime_error("the unit's current effect lacks two stored slots and an empty one");
        activate(&windows.main());
        EXPECT_TRUE(QTest::qWaitFor([this] { return view->hasFocus(); }, kDeadlineMs));
    }

    QModelIndex at(SlotRef slot, int column = 0) const
    {
        return sorted->mapFromSource(panel->model()->indexOf(slot, column));
    }
    QModelIndex effectRow(int effect) const { return sorted->mapFromSource(panel->model()->index(effect, 0)); }
    QString text(SlotRef slot, int role = Qt::DisplayRole) const { return at(slot).data(role).toString(); }
    // The state column, as a screen reader reads it after the name.
    QString marks(SlotRef slot) const { return at(slot).siblingAtColumn(1).data(Qt::AccessibleTextRole).toString(); }
    // Makes the slots the selection, the first one current, as clicks would.
    void pick(const std::vector<SlotRef>& places)
    {
        view->selectionModel()->clear();
        for (const SlotRef& slot : places)
            view->selectionModel()->select(at(slot), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view->selectionModel()->setCurrentIndex(at(places.front()), QItemSelectionModel::NoUpdate);
    }
    void key(QKeyCombination combination) { QTest::keyClick(view, combination.key(), combination.keyboardModifiers()); }

    bool holds(SlotRef slot) const { return device.peek(Addr::directory(slot.effect, slot.slot)) == Addr::SlotUsed; }
    // Name and data of the slot as the unit holds them.
    std::vector<uint8_t> contents(SlotRef slot) const
    {
        std::vector<uint8_t> bytes;
        for (int k = 0; k < Addr::NameLength; ++k)
            bytes.push_back(device.peek(Addr::name(slot.effect, slot.slot, k)));
        for (int c = 0; c < kDeviceColumns; ++c)
            bytes.push_back(device.peek(Addr::stored(slot.effect, slot.slot, c)));
        return bytes;
    }
    std::vector<uint8_t> memory() const { return {device.memory().begin(), device.memory().end()}; }
    // Undo through the Edit menu's action, which takes the unit back to `before`.
    void undoTo(const std::vector<uint8_t>& before, const std::string& what)
    {
        QAction* undo = windows.editor().undoAction();
        EXPECT_TRUE(undo->isEnabled()) << what;
        undo->trigger();
        EXPECT_TRUE(QTest::qWaitFor([&] { return memory() == before; }, kDeadlineMs)) << what << " is not undone";
        view->setFocus();
    }
};

QString nameOnUnit(const PanelRig& rig, SlotRef slot)
{
    QByteArray name;
    for (int k = 0; k < Addr::NameLength; ++k)
        name += static_cast<char>(rig.device.peek(Addr::name(slot.effect, slot.slot, k)));
    return QString::fromLatin1(name).trimmed();
}

TEST(UiUnitPresets, OpensWithoutAnExchangeMarksTheSlotsAndFollowsStoreAndLoadKeepingSelectionAndFocus)
{
    PanelRig rig;
    ASSERT_TRUE(rig.panel->isVisible());
    EXPECT_TRUE(rig.windows.main().viewMenu()->actions().contains(rig.find<QAction>("Menu_UnitPresets")));
    QApplication::processEvents();
    EXPECT_TRUE(rig.port.sent().empty()) << "opening the panel exchanged frames";

    // Every slot as the load and store dialogs name it; the marks are words, not colour alone.
    const int current = rig.state.currentEffect;
    for (int e = 0; e < kEffectCount; ++e) {
        ASSERT_EQ(rig.sorted->rowCount(rig.effectRow(e)), kSlotCount);
        for (int s = 0; s < kSlotCount; ++s) {
            const QString name = rig.holds({e, s}) ? nameOnUnit(rig, {e, s}) : QStringLiteral("empty");
            EXPECT_EQ(rig.text({e, s}), QStringLiteral("%1 – %2").arg(s + 1).arg(name));
            const bool used = rig.device.peek(Addr::slotNumber(e)) == s;
            EXPECT_EQ(rig.marks({e, s}).contains(QStringLiteral("last used")), used);
            EXPECT_EQ(rig.marks({e, s}).contains(QStringLiteral("in the editor")), used && e == current);
        }
    }

    // What the editor has not read yet says so, rather than "empty".
    const SlotRef unread{(current + 2) % kEffectCount, 7};
    rig.state.known.set({UnitPart::Directory, unread.effect, unread.slot}, UnitKnowledge::Depth::Unread);
    rig.windows.binder().sync();
    EXPECT_EQ(rig.text(unread), QStringLiteral("8 – not read yet"));
    ASSERT_TRUE(rig.editor.provide(presetItems(unread.effect)));
    rig.windows.binder().sync();
    EXPECT_NE(rig.text(unread), QStringLiteral("8 – not read yet"));

    // A store through the dialog: only the rows that changed are told, and the user's place stays.
    const std::vector<SlotRef>& empty = rig.empty;
    const std::vector<SlotRef>& stored = rig.stored;
    const int usedBefore = rig.editor.presetSlot(current);
    rig.pick({stored[1]});
    QSignalSpy changes(rig.panel->model(), &QAbstractItemModel::dataChanged);
    rig.windows.binder().handle([&] {
        StoreDialog dialog(rig.editor);
        dialog.load();
        dialog.form.Combo1.index = empty[0].slot;
        dialog.form.Text1.text = "ORCA";
        rig.host.answer(true);
        dialog.commandClick(1);
    });
    EXPECT_EQ(rig.text(empty[0]), QStringLiteral("%1 – ORCA").arg(empty[0].slot + 1));
    // A screen reader reads the row: the name, then the state, each once.
    EXPECT_EQ(rig.text(empty[0], Qt::AccessibleTextRole), rig.text(empty[0]));
    EXPECT_EQ(rig.marks(empty[0]), QStringLiteral("stored, last used, in the editor"));
    EXPECT_EQ(changes.size(), usedBefore == empty[0].slot ? 1 : 2);
    EXPECT_EQ(rig.view->selectionModel()->selectedRows(), QModelIndexList{rig.at(stored[1])});
    EXPECT_TRUE(rig.view->hasFocus());

    // Enter on another effect's slot selects that effect and loads the slot, after the question.
    const int other = (current + 1) % kEffectCount;
    SlotRef otherStored{other, 0};
    while (!rig.holds(otherStored))
        ++otherStored.slot;
    rig.view->setCurrentIndex(rig.at(otherStored));
    rig.host.answer(true);
    rig.key(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.state.currentEffect == other; }, kDeadlineMs));
    EXPECT_TRUE(rig.host.boxes.back().question);
    for (int c = 0; c < kDeviceColumns; ++c)
        EXPECT_EQ(rig.state.store.at(other, c), rig.device.peek(Addr::stored(other, otherStored.slot, c))) << c;
    EXPECT_TRUE(rig.marks(otherStored).endsWith(QStringLiteral("in the editor")));
    EXPECT_FALSE(rig.marks(empty[0]).contains(QStringLiteral("in the editor")));
    EXPECT_TRUE(rig.view->hasFocus());
}

TEST(UiUnitPresets, KeysRenameCutCopyPasteSwapAndClearOnTheUnitAndUndoPutsEachBack)
{
    PanelRig rig;
    const std::vector<SlotRef>& stored = rig.stored;
    const std::vector<SlotRef>& empty = rig.empty;
    const SlotRef a = stored[0];
    const SlotRef b = stored[1];
    const SlotRef c = empty[0];
    const std::vector<uint8_t> before = rig.memory();
    const std::vector<uint8_t> aHeld = rig.contents(a);
    const std::vector<uint8_t> bHeld = rig.contents(b);

    // F2 renames in place; the editor takes eight characters, and the unit holds É as its byte.
    rig.pick({a});
    rig.key(Qt::Key_F2);
    auto* box = rig.view->findChild<QLineEdit*>();
    ASSERT_TRUE(box);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("CAFÉ NOIR"));
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return nameOnUnit(rig, a) == QStringLiteral("CAFÉ NOI"); }, kDeadlineMs))
        << nameOnUnit(rig, a).toStdString();
    EXPECT_EQ(rig.text(a), QStringLiteral("%1 – CAFÉ NOI").arg(a.slot + 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == rig.view; }, kDeadlineMs))
        << "the focus is on " << QApplication::focusWidget()->objectName().toStdString();
    EXPECT_FALSE(rig.windows.main().statusText().isEmpty());
    rig.undoTo(before, "rename");

    rig.pick({a});
    rig.key(Qt::CTRL | Qt::Key_C);
    rig.pick({c});
    rig.key(Qt::CTRL | Qt::Key_V);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.holds(c) && rig.contents(c) == aHeld; }, kDeadlineMs));
    EXPECT_TRUE(rig.holds(a));
    rig.undoTo(before, "paste");

    rig.pick({a});
    rig.key(Qt::CTRL | Qt::Key_X);
    rig.pick({c});
    rig.key(Qt::CTRL | Qt::Key_V);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.holds(c) && !rig.holds(a); }, kDeadlineMs));
    EXPECT_EQ(rig.contents(c), aHeld);
    rig.undoTo(before, "cut and paste");

    rig.pick({a, b});
    rig.key(Qt::CTRL | Qt::Key_T);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.contents(a) == bHeld && rig.contents(b) == aHeld; }, kDeadlineMs));
    rig.undoTo(before, "swap");

    rig.pick({a, b});
    rig.key(Qt::Key_Delete);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.holds(a) && !rig.holds(b); }, kDeadlineMs));
    EXPECT_EQ(rig.text(b), QStringLiteral("%1 – empty").arg(b.slot + 1));
    rig.undoTo(before, "clear");
    EXPECT_EQ(rig.text(b), QStringLiteral("%1 – %2").arg(b.slot + 1).arg(nameOnUnit(rig, b)));

    // A key pressed while the core runs another action is refused aloud, not lost in silence.
    std::vector<QString> heard;
    ui::observeAnnouncements([&heard](QWidget*, const QString& said) { heard.push_back(said); });
    rig.pick({a});
    rig.windows.binder().handle([&] { rig.key(Qt::Key_Delete); });
    ui::observeAnnouncements({});
    const QString busy = QStringLiteral("Busy with the unit: try again when the current action has finished");
    EXPECT_EQ(rig.windows.main().statusBar()->currentMessage(), busy);
    EXPECT_EQ(heard, std::vector<QString>{busy});
    EXPECT_EQ(rig.memory(), before);

    // Outside the panel the same keys are the pages' own: nothing is pasted from there.
    rig.pick({c});
    auto* effects = rig.find<QComboBox>("Combo1");
    effects->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return effects->hasFocus(); }, kDeadlineMs));
    QTest::keyClick(effects, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(effects, Qt::Key_Delete);
    QApplication::processEvents();
    EXPECT_EQ(rig.memory(), before);
    EXPECT_FALSE(rig.find<QAction>("UnitPresets_Paste")->isEnabled());
}

TEST(UiUnitPresets, DropsMoveOrCopyWithinAnEffectImportFilesAndAnotherEffectIsRefusedWithTheReason)
{
    PanelRig rig;
    TempFolder files;
    const std::vector<SlotRef>& stored = rig.stored;
    const std::vector<SlotRef>& empty = rig.empty;
    const SlotRef a = stored[0];
    const SlotRef c = empty[0];
    const int current = rig.state.currentEffect;
    const int other = (current + 1) % kEffectCount;
    const std::vector<uint8_t> before = rig.memory();
    const std::vector<uint8_t> aHeld = rig.contents(a);
    const auto drop = [&](QMimeData* data, Qt::DropAction action, const QModelIndex& target) {
        std::unique_ptr<QMimeData> owned(data);
        EXPECT_TRUE(rig.sorted->canDropMimeData(data, action, -1, -1, target));
        EXPECT_TRUE(rig.sorted->dropMimeData(data, action, -1, -1, target));
    };

    drop(rig.sorted->mimeData({rig.at(a)}), Qt::MoveAction, rig.at(c));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.holds(c) && !rig.holds(a); }, kDeadlineMs));
    EXPECT_EQ(rig.contents(c), aHeld);
    rig.undoTo(before, "move by drag");

    drop(rig.sorted->mimeData({rig.at(a)}), Qt::CopyAction, rig.at(c));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.holds(c) && rig.holds(a); }, kDeadlineMs));
    EXPECT_EQ(rig.contents(c), aHeld);
    rig.undoTo(before, "copy by drag");

    // Preset files dropped onto the effect go into its first empty slots.
    Row row{};
    for (int column = 0; column < kDeviceColumns; ++column)
        row[static_cast<std::size_t>(column)] = rig.device.peek(Addr::stored(a.effect, a.slot, column));
    const fs::path mine = files.path / "MINE.fxp";
    const fs::path foreign = files.path / "FOREIGN.fxp";
    const Row mineRecord = encodePreset(row, current);
    const Row foreignRecord = encodePreset(row, other);
    writeBytes(mine, {mineRecord.begin(), mineRecord.end()});
    writeBytes(foreign, {foreignRecord.begin(), foreignRecord.end()});
    auto* fileDrop = new QMimeData;
    fileDrop->setUrls({QUrl::fromLocalFile(QString::fromStdString(mine.string()))});
    drop(fileDrop, Qt::CopyAction, rig.effectRow(current));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.holds(c); }, kDeadlineMs));
    for (int column = 0; column < kDeviceColumns; ++column)
        EXPECT_EQ(rig.device.peek(Addr::stored(c.effect, c.slot, column)), row[static_cast<std::size_t>(column)]);
    rig.undoTo(before, "import by drop");

    // Files copied (the Library's Ctrl+C) go in with Ctrl+V, the keyboard's drop; another
    // effect's file is refused, said, and sends nothing.
    const auto copyFile = [](const fs::path& file) {
        auto* copied = new QMimeData;
        copied->setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
        QGuiApplication::clipboard()->setMimeData(copied);
    };
    copyFile(foreign);
    rig.pick({c});
    rig.port.clearLog();
    rig.key(Qt::CTRL | Qt::Key_V);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return rig.windows.main().statusBar()->currentMessage().contains(QString::fromLatin1(catalogue::effect(other).listText));
    }, kDeadlineMs)) << rig.windows.main().statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(rig.port.sent().empty());
    copyFile(mine);
    rig.key(Qt::CTRL | Qt::Key_V);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.holds(c); }, kDeadlineMs));
    rig.undoTo(before, "import by paste");

    // Ctrl+I puts the chosen files into the slot; Ctrl+E writes the selected slots as files.
    const fs::path out = files.path / "out";
    fs::create_directories(out);
    rig.panel->setChoosers([out] { return std::optional<fs::path>(out); }, [mine] { return std::vector<fs::path>{mine}; });
    rig.pick({c});
    rig.key(Qt::CTRL | Qt::Key_I);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.holds(c); }, kDeadlineMs));
    rig.undoTo(before, "import by key");
    rig.pick({a, c});
    rig.key(Qt::CTRL | Qt::Key_E);
    const fs::path exported = out / UnitSlots::exportName(a, nameOnUnit(rig, a).toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(exported); }, kDeadlineMs)) << exported;
    std::vector<uint8_t> expected(row.begin(), row.begin() + kDeviceColumns);
    expected.push_back(static_cast<uint8_t>(current));
    EXPECT_EQ(readBytes(exported), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1) << "an empty slot gave a file";

    // Another effect's slots refuse a slot or a file, and say why; nothing is sent.
    rig.port.clearLog();
    const QModelIndex otherSlot = rig.at({other, 0});
    std::unique_ptr<QMimeData> slotDrag(rig.sorted->mimeData({rig.at(a)}));
    QMimeData foreignDrop;
    foreignDrop.setUrls({QUrl::fromLocalFile(QString::fromStdString(foreign.string()))});
    for (const QMimeData* refused : {static_cast<const QMimeData*>(slotDrag.get()), static_cast<const QMimeData*>(&foreignDrop)}) {
        const QModelIndex target = refused == &foreignDrop ? rig.at(c) : otherSlot;
        EXPECT_FALSE(rig.sorted->canDropMimeData(refused, Qt::MoveAction, -1, -1, target));
        EXPECT_FALSE(rig.sorted->dropMimeData(refused, Qt::MoveAction, -1, -1, target));
        const QString why = rig.panel->model()->refusal(refused, rig.sorted->mapToSource(target));
        const auto name = [](int effect) { return QString::fromLatin1(catalogue::effect(effect).listText); };
        EXPECT_TRUE(why.contains(name(current)) && why.contains(name(other))) << why.toStdString();
    }
    // Pasting there asks the core, which refuses in a box with its own words.
    rig.pick({a});
    rig.key(Qt::CTRL | Qt::Key_C);
    rig.pick({{other, 0}});
    const std::size_t boxes = rig.host.boxes.size();
    rig.key(Qt::CTRL | Qt::Key_V);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.host.boxes.size() > boxes; }, kDeadlineMs));
    EXPECT_FALSE(rig.host.boxes.back().text.empty());
    QApplication::processEvents();
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(rig.memory(), before);
}

// The side by side table as the window shows it, row by row: label, value A, value B, mark.
QStringList shownTable(QWidget* window)
{
    QStringList rows;
    const QAbstractItemModel* model = window->findChild<QTableView*>(QStringLiteral("SideBySideTable"))->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        rows << cells.join(u'|');
    }
    return rows;
}

QStringList expectedTable(const SideBySide& compared)
{
    QStringList rows;
    for (const SideBySideRow& r : compared.rows)
        rows << QString::fromStdString(r.label + '|' + r.first + '|' + r.second + '|' + (r.differs ? "differs" : ""));
    return rows;
}

TEST(UiUnitPresets, ComparesTwoSlotsOrASlotWithTheEditsOrAFileAndSaysWhyNotOtherwise)
{
    PanelRig rig;
    const std::vector<SlotRef>& stored = rig.stored;
    const std::vector<SlotRef>& empty = rig.empty;
    const int current = rig.state.currentEffect;
    EXPECT_TRUE(rig.windows.main().editMenu()->actions().contains(rig.find<QAction>("UnitPresets_Compare")));
    const auto opened = [&rig] {
        QWidget* window = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (window = rig.windows.main().findChild<QWidget*>(
                                                      QStringLiteral("SideBySideWindow"))) != nullptr; },
                                    kDeadlineMs));
        return window;
    };
    const auto closeAll = [&rig] {
        for (QWidget* window : rig.windows.main().findChildren<QWidget*>(QStringLiteral("SideBySideWindow")))
            window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    const auto fromUnit = [&rig](SlotRef at) {
        PresetSide side{slotCaption(rig.state, at.effect, at.slot), at.effect, {}};
        for (int c = 0; c < kDeviceColumns; ++c)
            side.bytes[static_cast<std::size_t>(c)] = rig.device.peek(Addr::stored(at.effect, at.slot, c));
        return side;
    };

    // Two slots of one effect, as the unit holds them, the first one's caption first.
    rig.pick({stored[0], stored[1]});
    rig.key(Qt::CTRL | Qt::Key_B);
    QWidget* window = opened();
    ASSERT_TRUE(window);
    EXPECT_EQ(shownTable(window),
              expectedTable(compareSideBySide(rig.state.tables, fromUnit(stored[0]), fromUnit(stored[1]), '.')));
    closeAll();

    // One slot: beside the edits, which differ from it in one value.
    for (int c = 0; c < kDeviceColumns; ++c)
        rig.state.store.at(current, c) = rig.device.peek(Addr::stored(current, stored[1].slot, c));
    const int column = catalogue::pageOfEffect(current).parameters.front().column;
    rig.state.store.at(current, column) ^= 1;
    rig.pick({stored[1]});
    rig.find<QAction>("UnitPresets_Compare")->trigger();
    window = opened();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle().toStdString(),
              "Side by Side: Your edits and " + slotCaption(rig.state, current, stored[1].slot));
    EXPECT_EQ(shownTable(window),
              expectedTable(compareSideBySide(rig.state.tables, currentEdits(rig.state), fromUnit(stored[1]), '.')));
    EXPECT_EQ(window->findChild<QLabel*>(QStringLiteral("DifferingSummary"))->text(), "1 parameter differs");
    closeAll();

    // One slot beside a preset file of its effect; a file of another effect is refused.
    TempFolder files;
    Row mine{};
    std::copy_n(rig.state.store.row(current).begin(), kRowSize, mine.begin());
    mine[static_cast<std::size_t>(column)] ^= 2; // neither the slot nor the edits
    const auto presetFile = [&](const char* name, int effect) {
        const Row record = encodePreset(mine, effect);
        writeBytes(files.path / name, {record.begin(), record.end()});
        rig.host.choosePath(files.path / name);
        rig.pick({stored[0]});
        rig.find<QAction>("UnitPresets_CompareFile")->trigger();
    };
    presetFile("MINE.fxp", current);
    window = opened();
    ASSERT_TRUE(window);
    PresetSide file{"MINE.fxp", current, {}};
    std::copy_n(mine.begin(), kDeviceColumns, file.bytes.begin());
    EXPECT_EQ(shownTable(window), expectedTable(compareSideBySide(rig.state.tables, fromUnit(stored[0]), file, '.')));
    closeAll();
    const std::size_t boxes = rig.host.boxes.size();
    presetFile("OTHER.fxp", (current + 1) % kEffectCount);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.host.boxes.size() > boxes; }, kDeadlineMs));
    EXPECT_EQ(rig.host.boxes.back().text.rfind("Only two presets of one effect can be compared side by side: ", 0), 0u);
    EXPECT_FALSE(rig.windows.main().findChild<QWidget*>(QStringLiteral("SideBySideWindow")));

    // What cannot be compared is said plainly, and nothing is read for it.
    const auto refusal = [&rig](const std::vector<SlotRef>& chosen) {
        rig.pick(chosen);
        const std::size_t boxes = rig.host.boxes.size();
        rig.key(Qt::CTRL | Qt::Key_B);
        EXPECT_TRUE(QTest::qWaitFor([&] { return rig.host.boxes.size() > boxes; }, kDeadlineMs));
        EXPECT_FALSE(rig.windows.main().findChild<QWidget*>(QStringLiteral("SideBySideWindow")));
        return rig.host.boxes.empty() ? std::string() : rig.host.boxes.back().text;
    };
    const int other = (current + 1) % kEffectCount;
    SlotRef elsewhere{other, 0};
    while (!rig.holds(elsewhere))
        ++elsewhere.slot;
    // Not yet read by the editor: a read would show in the frames sent.
    rig.state.known.set({UnitPart::Directory, other, elsewhere.slot}, UnitKnowledge::Depth::Unread);
    const std::string twoEffects = "Only two presets of one effect can be compared side by side: ";
    const std::string otherSide =
        ", " + slotCaption(rig.state, other, elsewhere.slot) + " for " + trimmed(catalogue::effect(other).listText) + ".";
    const std::string effectName = trimmed(catalogue::effect(current).listText);
    rig.port.clearLog();
    EXPECT_EQ(refusal({stored[0], elsewhere}),
              twoEffects + slotCaption(rig.state, current, stored[0].slot) + " is for " + effectName + otherSide);
    EXPECT_EQ(refusal({elsewhere}), twoEffects + "Your edits is for " + effectName + otherSide);
    const std::string emptyText = slotPlace(current, empty[0].slot) + " is empty: there is no preset to compare.";
    EXPECT_EQ(refusal({empty[0]}), emptyText);
    EXPECT_EQ(refusal({stored[0], stored[1], empty[0]}),
              "Choose one preset to see beside your edits, or two presets of one effect to see side by side.");
    EXPECT_TRUE(rig.port.sent().empty());
    // An empty slot the editor has not read yet is found empty once read.
    rig.state.known.set({UnitPart::Directory, current, empty[0].slot}, UnitKnowledge::Depth::Unread);
    EXPECT_EQ(refusal({empty[0]}), emptyText);
    EXPECT_FALSE(rig.port.sent().empty());

    // Demo mode compares the editor's own copy and sends nothing.
    rig.state.DemoMode = true;
    rig.port.clearLog();
    rig.pick({stored[0], stored[1]});
    rig.key(Qt::CTRL | Qt::Key_B);
    window = opened();
    ASSERT_TRUE(window);
    EXPECT_EQ(shownTable(window),
              expectedTable(compareSideBySide(rig.state.tables, fromUnit(stored[0]), fromUnit(stored[1]), '.')));
    EXPECT_TRUE(rig.port.sent().empty());
}

} // namespace
} // namespace qrv::test
