#include "EditorRig.hpp"

#include "TempFolder.hpp"

#include "effects/Pages.hpp"
#include "storage/PresetFiles.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace qrv::test {
namespace {

using Writes = std::vector<std::pair<int, int>>;

void tick(EditorRig& rig, CheckBox FrmMain::*box, int page, int index, int value)
{
    (rig.form.*box).value = value;
    rig.host.answer(true);
    rig.editor.checkClick(page, index);
}

void move(EditorRig& rig, int page, int index, int value)
{
    const PageInfo& info = *catalogue::pageByElement(page);
    rig.editor.setControl(info, *catalogue::parameter(info, index), value);
    rig.editor.sliderEvent(page, index);
    rig.editor.sliderReleased();
}

Row unitRow(const EditorRig& rig)
{
    Row row{};
    for (int c = 0; c < kDeviceColumns; ++c)
        row[static_cast<std::size_t>(c)] = rig.live(rig.state.currentEffect, c);
    return row;
}

Row storeRow(const EditorRig& rig)
{
    Row row{};
    const auto r = rig.state.store.row(rig.state.currentEffect);
    std::copy(r.begin(), r.end(), row.begin());
    return row;
}

const char* const kBanner = "Comparing: stored version \u2014 press Compare to return to your edits";

// On every kind of page: Compare sends the stored values of the differing columns, only
// those, and shows them; Compare again sends the edits back. Store and history stay.
TEST(Compare, SendsOnlyTheDifferingColumnsAndBack)
{
    using Text = std::function<std::string(EditorRig&)>;
    struct Case {
        const char* name;
        int effect;
        std::function<void(EditorRig&)> edit;
        Writes stored; // the device copy where it differs, in the order Compare sends it
        Writes edited; // in the order Compare back sends it
        Text shown;
        std::string shownStored, shownEdited;
    };
    const Case cases[] = {
        {"slider", 7, [](EditorRig& rig) { move(rig, 7, 0, 90); }, {{0, 33}}, {{0, 90}},
         [](EditorRig& rig) { return rig.form.Text5.at(0).text; }, "33 %", "90 %"},
        {"list", 6,
         [](EditorRig& rig) {
             rig.form.Combo4.at(10).index = 4;
             rig.editor.frequencyListClick(10);
         },
         {{8, 12}}, {{8, 4}}, [](EditorRig& rig) { return std::to_string(rig.form.Combo4.at(10).index); }, "12", "4"},
        {"check box", 11, [](EditorRig& rig) { tick(rig, &FrmMain::Check2, 11, kNoIndex, 1); }, {{0, 0}}, {{0, 1}},
         [](EditorRig& rig) { return std::to_string(rig.form.Check2.value); }, "0", "1"},
        // The stored preset links the rates yet holds another right rate: only that is sent.
        {"linked rates", 8,
         [](EditorRig& rig) {
             tick(rig, &FrmMain::Check6, 8, 6, 1);
             move(rig, 8, 0, 40);
         },
         {{2, 30}}, {{2, 40}}, [](EditorRig& rig) { return rig.form.Text6.at(1).text; }, "30 %", "40 %"},
        // Stereo first, or the stored 500 ms would not fit; back, mono first for 1000 ms.
        {"Tap Delay stereo", 6,
         [](EditorRig& rig) {
             tick(rig, &FrmMain::Check3, 6, 3, 1);
             move(rig, 6, 0, 200);
         },
         {{14, 0}, {0, 100}}, {{14, 1}, {0, 200}}, [](EditorRig& rig) { return rig.form.Text4.at(0).text; }, "500 ms",
         "1000 ms"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditorRig rig;
        rig.select(c.effect);
        c.edit(rig);
        const Row edits = storeRow(rig);
        Row stored = edits;
        for (const auto& [column, value] : c.stored)
            stored[static_cast<std::size_t>(column)] = static_cast<uint8_t>(value);
        rig.state.deviceCopy.setRow(c.effect, stored);
        const Row unitEdited = unitRow(rig);
        Row unitStored = unitEdited;
        for (const auto& [column, value] : c.stored)
            unitStored[static_cast<std::size_t>(column)] = static_cast<uint8_t>(value);
        const auto steps = rig.editor.history().size();

        rig.port.clearLog();
        rig.editor.compareClick();
        EXPECT_EQ(rig.parameterWrites(), c.stored);
        EXPECT_EQ(unitRow(rig), unitStored);
        EXPECT_EQ(c.shown(rig), c.shownStored);
        EXPECT_EQ(rig.form.compareBanner, kBanner);
        EXPECT_EQ(storeRow(rig), edits);

        rig.port.clearLog();
        rig.editor.compareClick();
        EXPECT_EQ(rig.parameterWrites(), c.edited);
        EXPECT_EQ(unitRow(rig), unitEdited);
        EXPECT_EQ(c.shown(rig), c.shownEdited);
        EXPECT_EQ(rig.form.compareBanner, "");
        EXPECT_EQ(storeRow(rig), edits);
        EXPECT_EQ(rig.editor.history().size(), steps);
        EXPECT_FALSE(rig.editor.history().canRedo());
    }
}

TEST(Compare, AnEditUndoOrSelectionFirstReturnsToTheEditsAndDemoModeSendsNothing)
{
    EditorRig rig;
    rig.select(7);
    const uint8_t start = rig.stored(0);
    move(rig, 7, 0, 90);
    rig.state.deviceCopy.setRow(7, rig.state.store.row(7));
    rig.state.deviceCopy.at(7, 0) = 33;
    rig.editor.compareClick();
    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.undo());
    EXPECT_EQ(rig.parameterWrites(), (Writes{{0, 90}, {0, start}}));
    EXPECT_FALSE(rig.editor.comparing());

    rig.editor.compareClick();
    ASSERT_TRUE(rig.editor.comparing());
    rig.select(6);
    EXPECT_EQ(rig.live(7, 0), start);
    EXPECT_FALSE(rig.editor.comparing());

    rig.select(7);
    rig.state.DemoMode = true;
    rig.state.deviceCopy.setRow(7, rig.state.store.row(7));
    rig.state.deviceCopy.at(7, 0) = 33;
    rig.editor.compareClick();
    EXPECT_EQ(rig.form.Text5.at(0).text, "33 %");
    rig.editor.compareClick();
    EXPECT_EQ(rig.form.Text5.at(0).text, std::to_string(start) + " %");
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(Compare, WithAPresetFileOrASlotOfTheUnitNamingItInTheBanner)
{
    EditorRig rig;
    TempFolder dir;
    rig.select(7);
    const uint8_t edited = rig.stored(0);
    Row record = storeRow(rig);
    record[0] = static_cast<uint8_t>(edited ^ 1);
    record[kRowSize - 1] = 7;
    const auto file = dir.path / "warm.fxp";
    writeBytes(file, {record.begin(), record.end()});
    rig.port.clearLog();
    ASSERT_TRUE(CompareWithPresetFile(rig.editor, file));
    EXPECT_EQ(rig.form.compareBanner, "Comparing: warm.fxp \u2014 press Compare to return to your edits");
    EXPECT_EQ(rig.parameterWrites(), (Writes{{0, edited ^ 1}}));

    record[kRowSize - 1] = 6;
    writeBytes(file, {record.begin(), record.end()});
    EXPECT_FALSE(CompareWithPresetFile(rig.editor, file));
    EXPECT_EQ(rig.host.boxes.back().text, "This preset is for TAP DELAY: select that effect to compare with it.");
    EXPECT_FALSE(rig.editor.comparing());
    EXPECT_EQ(rig.live(7, 0), edited);

    rig.state.presetNames[7][2] = "  WIDE  ";
    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.compareWithSlot(2));
    EXPECT_EQ(rig.form.compareBanner, "Comparing: slot 3 \"WIDE\" \u2014 press Compare to return to your edits");
    for (const auto& [column, value] : rig.parameterWrites())
        EXPECT_EQ(value, rig.device.peek(Addr::stored(7, 2, column))) << column;
    // That slot links the rates yet holds two: the page shows both as they are.
    EXPECT_EQ(rig.form.Text5.at(2).text, std::to_string(rig.device.peek(Addr::stored(7, 2, 5))) + " %");
    EXPECT_EQ(rig.parameterWrites().size(), rig.editor.differingColumns([&] {
        std::array<uint8_t, kDeviceColumns> slot{};
        for (int c = 0; c < kDeviceColumns; ++c)
            slot[static_cast<std::size_t>(c)] = rig.device.peek(Addr::stored(7, 2, c));
        return slot;
    }()).size());
}

// A reset moves the control as the hand would: linked rates go together, one step.
TEST(Reset, ToTheStoredOrStartValueIsOneStepSendingWhatTheHandWould)
{
    EditorRig rig;
    rig.select(8);
    tick(rig, &FrmMain::Check6, 8, 6, 1);
    move(rig, 8, 0, 40);
    rig.clock.advance(5);
    rig.state.deviceCopy.at(8, 1) = 70;
    const auto steps = rig.editor.history().size();
    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.resetColumn(1, ResetTo::Stored));
    EXPECT_EQ(rig.parameterWrites(), (Writes{{1, 70}, {2, 70}}));
    EXPECT_EQ(rig.form.Text6.at(1).text, "70 %");
    EXPECT_EQ(rig.editor.history().size(), steps + 1);
    EXPECT_FALSE(rig.editor.resetColumn(1, ResetTo::Stored));

    const uint8_t start = rig.state.startConfig.at(8, 3);
    move(rig, 8, 2, start == 5 ? 6 : 5);
    rig.port.clearLog();
    ASSERT_TRUE(rig.editor.resetColumn(3, ResetTo::Start));
    EXPECT_EQ(rig.parameterWrites(), (Writes{{3, start}}));
    rig.editor.undo();
    rig.editor.undo();
    rig.port.clearLog();
    rig.editor.undo();
    EXPECT_EQ(rig.parameterWrites(), (Writes{{1, 40}, {2, 40}}));
}

// The marker's tip tells a difference that a page rule made rather than the user.
TEST(ChangedMarker, TipSaysWhichRuleMadeTheDifference)
{
    EditorRig rig;
    rig.select(8);
    tick(rig, &FrmMain::Check6, 8, 6, 1);
    move(rig, 8, 0, 40);
    rig.state.deviceCopy.setRow(8, rig.state.store.row(8));
    rig.state.deviceCopy.at(8, 2) = 30;
    markDifferences(rig.editor, true);
    EXPECT_EQ(rig.form.markerToolTip,
              "Differs from the preset stored in the unit:\nRate right: 40 % (stored: 30 %) \u2014 linked rates follow "
              "Rate left");

    rig.select(6);
    tick(rig, &FrmMain::Check3, 6, 3, 0);
    rig.state.deviceCopy.setRow(6, rig.state.store.row(6));
    rig.state.deviceCopy.at(6, 0) = 200;
    move(rig, 6, 0, 250);
    markDifferences(rig.editor, true);
    EXPECT_NE(rig.form.markerToolTip.find("(stored: 1000 ms) \u2014 stereo allows at most 800 ms"), std::string::npos)
        << rig.form.markerToolTip;
}

} // namespace
} // namespace qrv::test
