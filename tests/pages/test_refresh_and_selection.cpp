#include "EditorRig.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Writes = std::vector<std::pair<int, int>>;

std::vector<int> columnsOf(const Writes& writes)
{
    std::vector<int> columns;
    for (const auto& w : writes)
        columns.push_back(w.first);
    return columns;
}

TEST(Refresh, ReverbSendsSlidersThenBandsThenListsWithTheStoredValues)
{
    EditorRig rig;
    rig.select(2);
    rig.editor.RefreshPageAndSend();
    const Writes writes = rig.parameterWrites();
    EXPECT_EQ(columnsOf(writes),
              (std::vector<int>{0, 1, 2, 9, 10, 11, 12, 13, 21, 6, 7, 8, 15, 16, 17, 18, 19, 20, 3, 4, 5, 14}));
    for (const auto& [column, value] : writes)
        EXPECT_EQ(value, rig.state.store.at(2, column)) << "column " << column;
}

TEST(Refresh, TremoloSendsSixFrames)
{
    EditorRig rig;
    rig.select(10);
    rig.editor.RefreshPageAndSend();
    EXPECT_EQ(columnsOf(rig.parameterWrites()), (std::vector<int>{0, 3, 4, 5, 1, 2}));
}

TEST(Refresh, SilentRefreshSetsControlsAsTheInverseOfTheirValueRulesAndSendsNothing)
{
    EditorRig rig;
    rig.select(12);
    rig.state.store.at(12, 0) = 42;
    rig.editor.RefreshPage();
    EXPECT_EQ(rig.form.Text10.at(0).text, "42 %");
    EXPECT_EQ(rig.form.Slider8.at(0).position, 58);

    rig.select(15);
    rig.state.store.at(15, 0) = 36;
    rig.state.store.at(15, 1) = 100;
    rig.state.store.at(15, 2) = 30;
    rig.state.store.at(15, 3) = 17;
    rig.state.store.at(15, 4) = 19;
    rig.editor.RefreshPage();
    EXPECT_EQ(rig.form.Slider10.at(0).position, 36);
    EXPECT_EQ(rig.form.Slider10.at(1).position, 0);
    EXPECT_EQ(rig.form.Text16.at(27).text, "0");
    EXPECT_EQ(rig.form.Combo4.at(27).items.at(rig.form.Combo4.at(27).index), "1000 Hz");
    EXPECT_EQ(rig.form.Combo3.at(27).items.at(rig.form.Combo3.at(27).index), "1.00 Oct");
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_TRUE(rig.state.LinkUp);
}

TEST(Refresh, DamagedValuesAreClampedToTheControlsAndStoredSo)
{
    EditorRig rig;
    rig.select(6);
    auto& row = rig.state.store;
    row.at(6, 0) = 255; // Delay, slider 0..254
    row.at(6, 1) = 200; // Feedback, 0..100
    row.at(6, 14) = 9;  // Mono box
    row.at(6, 4) = 99;  // band 9 gain, 0..60
    row.at(6, 5) = 77;  // band 9 frequency, 0..30
    row.at(6, 6) = 250; // band 9 width, 0..59
    row.at(6, 2) = 31;  // list 10, 0..30
    rig.editor.RefreshPageAndSend();
    EXPECT_EQ(row.at(6, 0), 254);
    EXPECT_EQ(row.at(6, 1), 100);
    EXPECT_EQ(row.at(6, 14), 1);
    EXPECT_EQ(row.at(6, 4), 60);
    EXPECT_EQ(row.at(6, 5), 30);
    EXPECT_EQ(row.at(6, 6), 59);
    EXPECT_EQ(row.at(6, 2), 30);
    EXPECT_EQ(rig.form.Text4.at(0).text, "1270 ms");
    for (int c = 0; c < 15; ++c)
        EXPECT_EQ(rig.live(6, c), row.at(6, c)) << "column " << c;
}

TEST(Filters, ChoosingABandFrequencyRewritesTheBandAndSendsOnlyThatPart)
{
    EditorRig rig;
    rig.select(6);
    rig.form.Slider15.at(10).position = 20;
    rig.form.Combo3.at(10).index = 5;
    rig.form.Combo4.at(10).index = 4;
    rig.editor.frequencyListClick(10);
    EXPECT_EQ(rig.stored(7), 40);
    EXPECT_EQ(rig.stored(8), 4);
    EXPECT_EQ(rig.stored(9), 5);
    ASSERT_EQ(rig.frames(Cmd::SetParameter).size(), 1u);
    EXPECT_EQ(rig.frames(Cmd::SetParameter)[0], (Bytes{0xF0, 0x9C, 0x20, 0x08, 0, 0, 0, 0, 0x04, 0xF7}));
}

TEST(Filters, GainSliderShowsHalfDecibelsInTheHostsSeparator)
{
    EditorRig rig;
    rig.select(0);
    rig.host.decimal = ',';
    rig.form.Slider15.at(0).position = 30;
    rig.editor.gainSliderEvent(0);
    EXPECT_EQ(rig.form.Text16.at(0).text, "0");
    EXPECT_EQ(rig.stored(6), 30);
    rig.form.Slider15.at(0).position = 31;
    rig.editor.gainSliderEvent(0);
    EXPECT_EQ(rig.form.Text16.at(0).text, "-0,5");
    EXPECT_EQ(rig.stored(6), 29);
}

TEST(Filters, PassFilterListStoresItsIndex)
{
    EditorRig rig;
    rig.select(13);
    rig.form.Combo2.at(28).index = 17;
    rig.editor.passFilterClick(28);
    EXPECT_EQ(rig.stored(3), 17);
    EXPECT_EQ(rig.frames(Cmd::SetParameter).back(), (Bytes{0xF0, 0x9C, 0x20, 0x03, 0, 0, 0, 0, 0x11, 0xF7}));
}

TEST(Filters, BandGuardStopsStoreAndSend)
{
    EditorRig rig;
    rig.select(0);
    const uint8_t before = rig.stored(16);
    rig.state.bandGuard = true;
    rig.form.Combo4.at(1).index = (before + 1) % 31;
    rig.editor.frequencyListClick(1);
    EXPECT_EQ(rig.stored(16), before);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(Filters, GainSliderErrorShowsIncorrectValue)
{
    EditorRig rig;
    rig.select(0);
    rig.form.Combo3.at(2).index = -1;
    rig.editor.gainSliderEvent(2);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, "  Incorrect value");
    EXPECT_EQ(rig.host.boxes[0].title, "Warning");
    EXPECT_EQ(rig.host.boxes[0].icon, Icon::None);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(Selection, ChorusSelectsOnTheDeviceAndReadsItsStoredPreset)
{
    EditorRig rig;
    rig.port.clearLog();
    rig.form.Combo1.index = 7;
    rig.editor.effectListClick();
    const auto& sent = rig.port.sent();
    ASSERT_EQ(sent.size(), 33u);
    EXPECT_EQ(sent[0].bytes, (Bytes{0xF0, 0x9C, 0x1F, 0, 0, 0, 0, 0, 0x07, 0xF7}));
    EXPECT_EQ(sent[0].readLength, 32u);
    const int slot = rig.editor.presetSlot(7);
    for (int c = 0; c < 32; ++c) {
        const uint16_t address = Addr::stored(7, slot, c);
        EXPECT_EQ(sent[1 + c].bytes,
                  (Bytes{0xF0, 0x9C, 0x10, uint8_t(address >> 8), uint8_t(address & 0xFF), 0, 0, 0, 0, 0xF7}));
        EXPECT_EQ(sent[1 + c].readLength, 10u);
        EXPECT_EQ(rig.state.deviceCopy.at(7, c), rig.device.peek(address));
    }
    EXPECT_TRUE(rig.frames(Cmd::SetParameter).empty());
    EXPECT_EQ(rig.device.currentEffect(), 7);
    EXPECT_EQ(rig.form.frontPage, 7);
    EXPECT_TRUE(rig.state.LinkUp);
    EXPECT_EQ(rig.host.sleeps, (std::vector<int>{80}));
    for (int c = 0; c < 32; ++c) {
        EXPECT_EQ(rig.state.store.at(7, c), rig.live(7, c));
        EXPECT_EQ(rig.state.startConfig.at(7, c), rig.live(7, c));
    }
    EXPECT_FALSE(rig.host.busy(Window::Editor));
    EXPECT_FALSE(rig.host.busy(Window::Main));
}

TEST(Selection, SwitchLabelsAndPresetCaption)
{
    EditorRig rig;
    rig.state.presetSlotNumbers[11] = "2";
    rig.state.presetNames[11][2] = "LESLIE 1";
    rig.select(11);
    EXPECT_EQ(rig.form.Label3.caption, "STOP");
    EXPECT_EQ(rig.form.Label4.caption, "GO");
    EXPECT_EQ(rig.form.Label2.caption, "3 - LESLIE 1");
    rig.select(3);
    EXPECT_EQ(rig.form.Label3.caption, "OFF");
    EXPECT_EQ(rig.form.Label4.caption, "ON");
    EXPECT_EQ(rig.form.frontPage, 0);
}

TEST(Selection, ListClickUnderTheSelectionLockDoesNothing)
{
    EditorRig rig;
    rig.state.selectionLock = true;
    rig.form.Combo1.index = 9;
    rig.editor.effectListClick();
    EXPECT_EQ(rig.state.currentEffect, 0);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST(Selection, DemoModeSendsNothingAndStillShowsThePage)
{
    EditorRig rig;
    rig.state.DemoMode = true;
    rig.state.store.at(9, 0) = 33;
    rig.select(9);
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_EQ(rig.form.Text7.at(0).text, "33 %");
    EXPECT_EQ(rig.form.frontPage, 9);
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(rig.state.deviceCopy.at(9, c), 0);
}

TEST(Selection, AnUnplugWaitsForTheUnitAndNeverEndsTheProgram)
{
    // The port does not open again: the editor waits for the unit without a box; the page
    // still shows, with the editor's values and no stale bytes.
    EditorRig rig;
    rig.state.store.at(5, 0) = 3;
    const ParameterTable copy = rig.state.deviceCopy;
    rig.state.replyBuffer[6] = 0x66;
    rig.port.setOpenable([](const std::string&) { return false; });
    rig.form.Combo1.index = 5;
    rig.editor.effectListClick();
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_TRUE(rig.state.awaitingUnit);
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_EQ(rig.state.currentEffect, 5);
    EXPECT_EQ(rig.state.store.at(5, 0), 3);
    EXPECT_TRUE(rig.state.deviceCopy == copy);
    EXPECT_EQ(rig.form.frontPage, catalogue::effect(5).pageElement);

    // Unplugged in the middle of the stored-preset reads, back at once: the selection
    // starts over and takes the device's values whole.
    EditorRig back;
    back.device.poke(Addr::stored(6, 0, 31), 0x21);
    back.unplugAfter(1 + 10, true);
    back.form.Combo1.index = 6;
    back.editor.effectListClick();
    EXPECT_EQ(back.searches, 1);
    EXPECT_TRUE(back.host.boxes.empty());
    EXPECT_EQ(back.state.deviceCopy.at(6, 31), 0x21);
    EXPECT_EQ(back.frames(Cmd::ReadByte).size(), 10u + 32u);

    // An edit whose send found the port gone reaches the unit once it is found again.
    back.unplugAfter(1, true);
    back.editor.storeAndSend(3, 49);
    EXPECT_EQ(back.searches, 2);
    EXPECT_EQ(back.live(6, 3), 49);
}

TEST(EffectSwitch, SendsTheBoxState)
{
    EditorRig rig;
    rig.form.Check1.value = 1;
    rig.editor.effectSwitchClick();
    EXPECT_EQ(rig.state.effectSwitchState, 1);
    EXPECT_EQ(rig.device.effectSwitch(), 1);
    rig.form.Check1.value = 0;
    rig.editor.effectSwitchClick();
    EXPECT_EQ(rig.state.effectSwitchState, 0);
    EXPECT_EQ(
        rig.frames(Cmd::SetSwitch),
        (std::vector<Bytes>{{0xF0, 0x9C, 0x2F, 0, 0, 0, 0, 0, 1, 0xF7}, {0xF0, 0x9C, 0x2F, 0, 0, 0, 0, 0, 0, 0xF7}}));
    EXPECT_EQ(rig.device.effectSwitch(), 0);
}

} // namespace
} // namespace qrv::test
