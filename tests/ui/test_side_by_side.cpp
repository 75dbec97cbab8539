// Two presets side by side: the window's table, its screen-reader text, the filter, the
// edits it follows, Compare on the Unit, and the ways in from Compare With… and the Library.
#include "UiRig.hpp"

#include "TempFolder.hpp"

#include "devmem/PresetDialogs.hpp"
#include "editor/Catalogue.hpp"
#include "state/CodePage.hpp"
#include "storage/FileCodec.hpp"
#include "ui/panels/PresetLibraryPanel.hpp"
#include "ui/windows/SideBySideWindow.hpp"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <QTreeView>

namespace qrv::test {
namespace {

namespace fs = std::filesystem;
constexpr int kTapDelay = 6;
constexpr int kFeedback = 1, kOutLevel = 13; // Tap Delay columns, rows 1 and 2 of its page

struct SideBySideRig : UiRig {
    SideBySideRig()
    {
        showEditor();
        choose(find<QComboBox>("Combo1"), kTapDelay);
        port.clearLog();
    }
    QWidget* window() { return windows.editor().findChild<QWidget*>(QStringLiteral("SideBySideWindow")); }
    template <class T> T* in(const char* name) { return window()->findChild<T*>(QString::fromLatin1(name)); }
    QString cell(int row, int column)
    {
        const QAbstractItemModel* model = in<QTableView>("SideBySideTable")->model();
        return model->data(model->index(row, column)).toString();
    }
};

TEST(UiSideBySide, TheTableFollowsTheEditsAndCompareOnTheUnitPlaysTheOtherSide)
{
    SideBySideRig rig;
    const PresetSide edits = currentEdits(rig.state);
    PresetSide file{"slap.fxp", kTapDelay, edits.bytes};
    file.bytes[kFeedback] = static_cast<uint8_t>(edits.bytes[kFeedback] == 40 ? 41 : 40);
    ui::showSideBySide(&rig.windows.editor(), rig.windows.binder(), rig.editor, edits, file);
    ASSERT_TRUE(rig.window() && rig.window()->isVisible());
    EXPECT_FALSE(rig.window()->isModal());

    auto* table = rig.in<QTableView>("SideBySideTable");
    const QAbstractItemModel* model = table->model();
    ASSERT_EQ(model->rowCount(), 15);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Your edits");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "slap.fxp");
    EXPECT_EQ(rig.cell(kFeedback, 0), "Feedback");
    EXPECT_EQ(rig.cell(kFeedback, 2), QString::number(file.bytes[kFeedback]) + " %");
    EXPECT_EQ(rig.cell(kFeedback, 3), "differs");
    EXPECT_EQ(rig.in<QLabel>("DifferingSummary")->text(), "1 parameter differs");
    // What a screen reader reads of the cells: the mark is a word both ways.
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(table);
    ASSERT_TRUE(access && access->tableInterface());
    EXPECT_EQ(access->tableInterface()->cellAt(kFeedback, 3)->text(QAccessible::Name), "differs");
    EXPECT_EQ(access->tableInterface()->cellAt(0, 3)->text(QAccessible::Name), "same");
    EXPECT_EQ(access->tableInterface()->cellAt(0, 0)->text(QAccessible::Name), "Delay");

    rig.in<QCheckBox>("OnlyDiffering")->setChecked(true);
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(rig.cell(0, 0), "Feedback");

    // An edit on the page shows in the window at once.
    rig.find<QSlider>("Slider2_2")->setValue(rig.find<QSlider>("Slider2_2")->value() == 10 ? 11 : 10);
    EXPECT_EQ(rig.in<QLabel>("DifferingSummary")->text(), "2 parameters differ");
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(rig.cell(1, 0), "Out Level");
    EXPECT_EQ(rig.cell(1, 1), QString::number(rig.stored(kOutLevel)) + " %");

    // Compare on the Unit: the unit plays the file where it differs, and again back to the edits.
    const uint8_t editedFeedback = rig.stored(kFeedback);
    auto* compare = rig.in<QPushButton>("CompareOnUnitButton");
    ASSERT_TRUE(compare->isEnabled());
    QTest::mouseClick(compare, Qt::LeftButton);
    EXPECT_TRUE(rig.editor.comparing());
    EXPECT_TRUE(compare->isChecked());
    EXPECT_EQ(rig.form.compareSource, "slap.fxp");
    EXPECT_EQ(rig.live(kTapDelay, kFeedback), file.bytes[kFeedback]);
    EXPECT_EQ(rig.live(kTapDelay, kOutLevel), file.bytes[kOutLevel]);
    EXPECT_EQ(rig.in<QLabel>("DifferingSummary")->text(), "2 parameters differ"); // the edits are kept
    QTest::mouseClick(compare, Qt::LeftButton);
    EXPECT_FALSE(rig.editor.comparing());
    EXPECT_FALSE(compare->isChecked());
    EXPECT_EQ(rig.live(kTapDelay, kFeedback), editedFeedback);

    // Elsewhere in the editor the button waits for the effect to come back.
    choose(rig.find<QComboBox>("Combo1"), kTapDelay + 1);
    EXPECT_FALSE(compare->isEnabled());
    EXPECT_EQ(rig.in<QLabel>("DifferingSummary")->text(), "2 parameters differ");
}

TEST(UiSideBySide, CompareWithOpensASlotBesideTheEdits)
{
    SideBySideRig rig;
    const int slot = 2;
    ASSERT_TRUE(rig.editor.provide(presetItems(kTapDelay)));
    // A slot the unit holds, named as the editor has read it.
    rig.device.poke(Addr::directory(kTapDelay, slot), Addr::SlotUsed);
    for (int k = 0; k < Addr::NameLength; ++k)
        rig.device.poke(Addr::name(kTapDelay, slot, k), static_cast<uint8_t>("  SLAP  "[k]));
    rig.state.presetDirectory[kTapDelay][slot] = std::to_string(Addr::SlotUsed);
    rig.state.presetNames[kTapDelay][slot] = "  SLAP  ";
    whileModal("CompareWithDialog", [slot](QWidget* dialog) {
        auto* sources = dialog->findChild<QListWidget*>(QStringLiteral("CompareSources"));
        ASSERT_TRUE(sources);
        EXPECT_EQ(sources->item(slot)->text(), QStringLiteral("Slot %1 of the unit: SLAP").arg(slot + 1));
        sources->setCurrentRow(slot);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("CompareSideBySide")), Qt::LeftButton);
    });
    rig.windows.editor().findChild<QAction*>(QStringLiteral("CompareWithAction"))->trigger();
    ASSERT_TRUE(rig.window());
    EXPECT_FALSE(rig.editor.comparing());
    EXPECT_EQ(rig.window()->windowTitle(), QStringLiteral("Side by Side: Your edits and TAP DELAY %1 SLAP").arg(slot + 1));
    EXPECT_EQ(rig.cell(0, 2), QString::number(rig.device.peek(Addr::stored(kTapDelay, slot, 0)) * 5) + " ms");
}

TEST(UiSideBySide, LibraryFilesGoBesideTheEditsOrEachOtherAndTwoEffectsAreRefused)
{
    StartedRig rig;
    const int effect = rig.state.currentEffect;
    const int other = (effect + 1) % kEffectCount;
    const fs::path presets = rig.folder.path / "Preset";
    fs::create_directories(presets);
    const auto write = [&](const char* name, int of, uint8_t first) {
        Row row{};
        std::copy_n(rig.state.store.row(effect).begin(), kDeviceColumns, row.begin());
        row[0] = first;
        const Row record = encodePreset(row, of);
        writeBytes(presets / name, {record.begin(), record.end()});
    };
    const uint8_t edited = rig.state.store.at(effect, 0);
    write("same.fxp", effect, edited);
    write("first.fxp", effect, static_cast<uint8_t>(edited ^ 1));
    write("other.fxp", other, edited);
    auto* panel = rig.windows.main().findChild<ui::PresetLibraryPanel*>("PresetLibrary");
    activate(&rig.windows.main());
    rig.windows.main().findChild<QAction*>("Menu_PresetLibrary")->trigger();
    auto* list = rig.find<QTreeView>("LibraryList");
    QSignalSpy rescans(panel, &ui::PresetLibraryPanel::rescanned);
    while (panel->listedFiles() < 3)
        ASSERT_TRUE(rescans.wait(kDeadlineMs));
    const auto choose = [list](std::initializer_list<const char*> names) {
        list->selectionModel()->clear();
        for (const char* name : names) {
            const QModelIndexList found = list->model()->match(list->model()->index(0, 0), Qt::DisplayRole,
                                                               QString::fromLatin1(name), 1,
                                                               Qt::MatchExactly | Qt::MatchRecursive);
            ASSERT_EQ(found.size(), 1) << name;
            list->selectionModel()->select(found.front(), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        list->setFocus();
        QTest::keyClick(list, Qt::Key_B, Qt::ControlModifier);
    };
    const auto shown = [&rig] { return rig.windows.main().findChild<QWidget*>(QStringLiteral("SideBySideWindow")); };
    // What the window opened for the chosen files says: its title and how many differ.
    const auto compared = [&](std::initializer_list<const char*> names) {
        choose(names);
        QWidget* window = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (window = shown()) != nullptr; }, kDeadlineMs));
        if (!window)
            return QString();
        const QString seen = window->windowTitle() + QStringLiteral(" / ") +
            window->findChild<QLabel*>(QStringLiteral("DifferingSummary"))->text();
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return seen;
    };

    // One file beside the edits, two beside each other in name order.
    EXPECT_EQ(compared({"first.fxp"}), "Side by Side: Your edits and first.fxp / 1 parameter differs");
    EXPECT_EQ(compared({"same.fxp", "first.fxp"}), "Side by Side: first.fxp and same.fxp / 1 parameter differs");

    // Files of two effects are refused, naming both.
    const std::size_t boxes = rig.host.boxes.size();
    choose({"first.fxp", "other.fxp"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.host.boxes.size() > boxes; }, kDeadlineMs));
    EXPECT_EQ(rig.host.boxes.back().text,
              "Only two presets of one effect can be compared side by side: first.fxp is for " +
                  trimmed(catalogue::effect(effect).listText) + ", other.fxp for " +
                  trimmed(catalogue::effect(other).listText) + ".");
    EXPECT_FALSE(shown());
}

} // namespace
} // namespace qrv::test
