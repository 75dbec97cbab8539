// Two presets side by side: the window's table, its screen-reader text, the filter, the
// edits it follows, Compare on the Unit, and the way in from Compare With….
#include "UiRig.hpp"

#include "ui/windows/SideBySideWindow.hpp"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QTest>

namespace qrv::test {
namespace {

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

TEST(UiSideBySide, CompareWithOpensASlotBesideTheEditsAndTwoEffectsAreRefused)
{
    SideBySideRig rig;
    rig.state.presetNames[kTapDelay][2] = "  SLAP  ";
    whileModal("CompareWithDialog", [](QWidget* dialog) {
        auto* sources = dialog->findChild<QListWidget*>(QStringLiteral("CompareSources"));
        ASSERT_TRUE(sources);
        EXPECT_EQ(sources->item(2)->text(), "Slot 3 of the unit: SLAP");
        sources->setCurrentRow(2);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("CompareSideBySide")), Qt::LeftButton);
    });
    rig.windows.editor().findChild<QAction*>(QStringLiteral("CompareWithAction"))->trigger();
    ASSERT_TRUE(rig.window());
    EXPECT_FALSE(rig.editor.comparing());
    const QAbstractItemModel* model = rig.in<QTableView>("SideBySideTable")->model();
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "TAP DELAY 3 SLAP");
    EXPECT_EQ(rig.cell(0, 2), QString::number(rig.device.peek(Addr::stored(kTapDelay, 2, 0)) * 5) + " ms");
    rig.window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(rig.window());

    PresetSide hall{"REVERB HALL 3 WIDE", 0, {}};
    ui::showSideBySide(&rig.windows.editor(), rig.windows.binder(), rig.editor, currentEdits(rig.state), hall);
    EXPECT_FALSE(rig.window());
    ASSERT_FALSE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.boxes.back().text, "Only two presets of one effect can be compared side by side: Your edits "
                                          "is for TAP DELAY, REVERB HALL 3 WIDE for REVERB HALL.");
}

} // namespace
} // namespace qrv::test
