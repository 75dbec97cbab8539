#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "devmem/PresetDialogs.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

struct LoadFromDevice : ::testing::Test {
    EditorRig rig;
    ReadDialog dialog{rig.editor};

    LoadFromDevice()
    {
        rig.emptyDirectory();
        rig.state.presetDirectory[0][7] = "85";
        rig.state.presetNames[0][7] = "BIG HALL";
        rig.state.presetDirectory[0][2] = "85";
        rig.state.presetNames[0][2] = "ROOMY   ";
        // Slot 7 of effect 0 on the device: values every control of the page can show.
        for (int c = 0; c < kDeviceColumns; ++c)
            rig.device.poke(Addr::stored(0, 7, c), static_cast<uint8_t>(c % 20 + 1));
        rig.select(0);
    }

    // Opens the dialog and loads the slot's preset, answering Yes.
    void loadSlot(int slot)
    {
        dialog.load();
        dialog.form.List1.index = slot;
        rig.host.answer(true);
        dialog.commandClick(1);
    }
};

TEST_F(LoadFromDevice, SlotSevenOfEffectZeroReadsItsBytesAndRecordsTheSlot)
{
    const ParameterTable start = rig.state.startConfig;
    loadSlot(7);

    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, "Overwrite current editing with the preset 8, are you sure ? ");
    EXPECT_EQ(rig.host.boxes[0].title, "Read Preset");
    EXPECT_EQ(rig.host.boxes[0].icon, Icon::None);

    std::vector<int> expectedReads;
    for (int a = 0x03E0; a <= 0x03FF; ++a)
        expectedReads.push_back(a);
    EXPECT_EQ(rig.memoryReads(), expectedReads);
    EXPECT_EQ(rig.memoryWrites(), (std::vector<std::pair<int, int>>{{0x0060, 7}}));
    EXPECT_EQ(rig.frames(Cmd::WriteByte).at(0),
              (std::vector<uint8_t>{0xF0, 0x9C, 0x11, 0x00, 0x60, 0x00, 0x07, 0x00, 0x00, 0xF7}));
    // Setting the list to the effect it shows runs no selection.
    EXPECT_TRUE(rig.frames(Cmd::SelectEffect).empty());

    for (int c = 0; c < kDeviceColumns; ++c) {
        EXPECT_EQ(rig.state.store.at(0, c), c % 20 + 1) << c;
        EXPECT_EQ(rig.state.deviceCopy.at(0, c), c % 20 + 1) << c;
    }
    EXPECT_TRUE(rig.state.startConfig == start);
    EXPECT_EQ(rig.state.presetSlotNumbers[0], "7");
    EXPECT_EQ(rig.form.Combo1.index, 0);
    EXPECT_EQ(rig.form.Label2.caption, "8 - BIG HALL");
    EXPECT_EQ(rig.form.Text18.at(0).text, "1 %"); // Decay, column 0
    // Every parameter of the page went to the device again.
    for (const PageParameter& p : catalogue::pageOfEffect(0).parameters)
        EXPECT_EQ(rig.device.peek(Addr::live(0, p.column)), p.column % 20 + 1) << p.label;
    EXPECT_FALSE(dialog.form.open);
    EXPECT_FALSE(dialog.form.ProgressBar1.visible);
    EXPECT_FALSE(rig.host.busy(Window::Read));
    EXPECT_FALSE(rig.host.busy(Window::Editor));
}

TEST_F(LoadFromDevice, LostDeviceDuringTheReadsChangesNothing)
{
    const ParameterTable store = rig.state.store;
    rig.unplugAfter(5, false);
    loadSlot(7);
    EXPECT_EQ(rig.searches, 1);
    EXPECT_TRUE(rig.state.store == store);
    EXPECT_EQ(rig.state.presetSlotNumbers[0], "0");
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[1].title, "Read Preset");
    EXPECT_NE(rig.host.boxes[1].text.find("connection"), std::string::npos);
    EXPECT_TRUE(dialog.form.open);
    EXPECT_FALSE(dialog.form.ProgressBar1.visible);
}

TEST_F(LoadFromDevice, DeviceBackAfterAFailureReadsTheSlotAgainFromTheStart)
{
    dialog.load();
    dialog.form.List1.index = 7;
    rig.host.answer(true);
    rig.unplugAfter(5, true);
    dialog.listDoubleClick(); // loads as the button does
    EXPECT_EQ(rig.searches, 1);
    const auto reads = rig.memoryReads();
    ASSERT_EQ(reads.size(), 5u + 32u);
    EXPECT_EQ(reads[5], 0x03E0);
    EXPECT_EQ(reads.back(), 0x03FF);
    for (int c = 0; c < kDeviceColumns; ++c)
        EXPECT_EQ(rig.state.store.at(0, c), c % 20 + 1) << c;
    EXPECT_FALSE(dialog.form.open);
}

TEST_F(LoadFromDevice, OpensOnTheSlotLastUsedWhereNoAnEmptySlotOrNoUnitReadsAndChangesNothing)
{
    rig.state.presetSlotNumbers[0] = "2";
    const ParameterTable store = rig.state.store, copy = rig.state.deviceCopy;
    const auto untouched = [&] {
        EXPECT_TRUE(rig.port.sent().empty());
        EXPECT_TRUE(rig.state.store == store);
        EXPECT_TRUE(rig.state.deviceCopy == copy);
        EXPECT_EQ(rig.state.presetSlotNumbers[0], "2");
        EXPECT_TRUE(dialog.form.open);
    };
    dialog.load();
    EXPECT_EQ(dialog.form.Command1.at(0).caption, "Cancel");
    EXPECT_EQ(dialog.form.Command1.at(1).caption, "Load");
    EXPECT_EQ(dialog.form.Label1.caption, "01 02 03 04 05 06 07 08");
    ASSERT_EQ(dialog.form.List1.items.size(), 8u);
    EXPECT_EQ(dialog.form.List1.items[2], "ROOMY   ");
    EXPECT_EQ(dialog.form.List1.items[7], "BIG HALL");
    EXPECT_EQ(dialog.form.List1.index, 2);
    EXPECT_FALSE(dialog.form.ProgressBar1.visible);
    EXPECT_EQ(dialog.form.ProgressBar1.value, 0);
    rig.host.answer(false);
    dialog.commandClick(1);
    EXPECT_EQ(rig.host.boxes.at(0).text, "Overwrite current editing with the preset 3, are you sure ? ");
    untouched();

    dialog.form.List1.index = 4;
    dialog.commandClick(1);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[1].text, "Preset empty");
    EXPECT_EQ(rig.host.boxes[1].title, "Read Preset");
    EXPECT_EQ(rig.host.boxes[1].icon, Icon::Critical);
    EXPECT_FALSE(rig.host.boxes[1].question);
    untouched();

    // After the search turned to demo mode the directory still shows the dump's stored
    // slots, but nothing can be sent; no question is asked either.
    const uint8_t reply = rig.state.replyBuffer[6];
    rig.state.replyBuffer[6] = 0x66;
    rig.state.DemoMode = true;
    dialog.form.List1.index = 7;
    dialog.commandClick(1);
    ASSERT_EQ(rig.host.boxes.size(), 3u);
    EXPECT_NE(rig.host.boxes[2].text.find("not connected"), std::string::npos);
    EXPECT_EQ(rig.host.boxes[2].title, "Read Preset");
    EXPECT_FALSE(dialog.LoadPresetFromDevice(7));
    untouched();

    // A start in demo mode records every slot empty.
    rig.state.replyBuffer[6] = reply;
    rig.state.presetDirectory[0][7] = "0";
    dialog.commandClick(1);
    EXPECT_EQ(rig.host.boxes.back().text, "Preset empty");
    untouched();
    dialog.commandClick(0);
    EXPECT_FALSE(dialog.form.open);
    EXPECT_TRUE(rig.port.sent().empty());
}

} // namespace
} // namespace qrv::test
