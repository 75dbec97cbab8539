#include "EditorRig.hpp"
#include "TempFolder.hpp"

#include "devmem/PresetDialogs.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

std::string bytesText(const std::array<uint8_t, kNameLength>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

TEST(CentreName, PadsToEightWithTheOddBlankInFrontCountingCharactersAndSendsLatin1)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", "        "},         {"A", "    A   "},          {"AB", "   AB   "},     {"ABC", "   ABC  "},
        {"ABCD", "  ABCD  "},     {"ABCDE", "  ABCDE "},      {"ABCDEF", " ABCDEF "}, {"ABCDEFG", " ABCDEFG"},
        {"ABCDEFGH", "ABCDEFGH"}, {"ABCDEFGHIJ", "ABCDEFGH"},
    };
    for (const auto& [name, bytes] : cases) {
        std::string text = name;
        EXPECT_EQ(bytesText(CentreName(text)), bytes) << '"' << name << '"';
        EXPECT_EQ(text, std::string(name).size() < 8 ? std::string(bytes) : std::string(name));
    }
    std::string name = "\xC3\x89t\xC3\xA9"; // "Été": three characters, five bytes
    const auto bytes = CentreName(name);
    EXPECT_EQ(name, "   \xC3\x89t\xC3\xA9  ");
    EXPECT_EQ(bytes, (std::array<uint8_t, 8>{' ', ' ', ' ', 0xC9, 't', 0xE9, ' ', ' '}));

    std::string euro = "5\xE2\x82\xAC"; // no Latin-1 byte for the euro sign
    EXPECT_EQ(bytesText(CentreName(euro)), "   5?   ");
}

struct StoreToDevice : ::testing::Test {
    EditorRig rig;
    StoreDialog dialog{rig.editor};

    StoreToDevice()
    {
        rig.emptyDirectory();
        rig.state.presetDirectory[2][5] = "85";
        rig.state.presetNames[2][5] = " PLATE  ";
        rig.select(2);
    }

    void store(const std::string& name, int slot)
    {
        dialog.load();
        dialog.form.Text1.text = name;
        dialog.form.Combo1.index = slot;
        rig.host.answer(true);
        dialog.commandClick(1);
    }
};

TEST_F(StoreToDevice, FourLetterNameIntoSlotZeroOfEffectTwoWritesInOrder)
{
    rig.form.Slider12.at(0).position = 100 - 33;
    rig.editor.sliderEvent(0, 0);
    rig.port.clearLog();
    store("ABCD", 0);

    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, "               Are you sure ? ");
    EXPECT_EQ(rig.host.boxes[0].title, "Save preset to device");
    EXPECT_EQ(rig.host.boxes[0].icon, Icon::None);

    std::vector<std::pair<int, int>> expected;
    const std::string centred = "  ABCD  ";
    for (int k = 0; k < 8; ++k)
        expected.emplace_back(0x1480 + k, static_cast<uint8_t>(centred[static_cast<std::size_t>(k)]));
    for (int c = 0; c < 32; ++c)
        expected.emplace_back(0x0500 + c, rig.state.store.at(2, c));
    expected.emplace_back(0x1810, 0x55);
    expected.emplace_back(0x0062, 0);
    EXPECT_EQ(rig.memoryWrites(), expected);
    EXPECT_EQ(rig.port.sent().size(), expected.size()); // nothing but the writes
    EXPECT_EQ(rig.device.peek(0x0500), 33);

    EXPECT_EQ(rig.state.presetNames[2][0], "ABCD");
    EXPECT_EQ(rig.state.presetDirectory[2][0], "85");
    EXPECT_EQ(rig.state.presetSlotNumbers[2], "0");
    for (int c = 0; c < 32; ++c) {
        EXPECT_EQ(rig.state.deviceCopy.at(2, c), rig.state.store.at(2, c));
        EXPECT_EQ(rig.state.startConfig.at(2, c), rig.state.store.at(2, c));
    }
    EXPECT_EQ(rig.form.Label2.caption, "1 - ABCD");
    EXPECT_FALSE(dialog.form.open);
    EXPECT_FALSE(dialog.form.ProgressBar1.visible);
    EXPECT_EQ(dialog.form.ProgressBar1.max, 44);
}

TEST_F(StoreToDevice, AnEmptySlotsNameLeftAsShownIsStoredAsShown)
{
    dialog.load();
    dialog.form.List1.index = 6;
    dialog.listDoubleClick();
    rig.host.answer(true);
    dialog.commandClick(1);
    std::string sent;
    for (int k = 0; k < 8; ++k)
        sent += static_cast<char>(rig.device.peek(Addr::name(2, 6, k)));
    EXPECT_EQ(sent, " Empty  ");
}

TEST_F(StoreToDevice, OpensOnTheSlotLastUsedWithItsNameWhereNoCancelOrNoUnitStoresAndRecordsNothing)
{
    rig.state.presetSlotNumbers[2] = "5";
    const auto directory = rig.state.presetDirectory;
    const auto names = rig.state.presetNames;
    const ParameterTable copy = rig.state.deviceCopy, start = rig.state.startConfig;
    const auto untouched = [&] {
        EXPECT_TRUE(rig.port.sent().empty());
        EXPECT_EQ(rig.state.presetDirectory, directory);
        EXPECT_EQ(rig.state.presetNames, names);
        EXPECT_EQ(rig.state.presetSlotNumbers[2], "5");
        EXPECT_TRUE(rig.state.deviceCopy == copy);
        EXPECT_TRUE(rig.state.startConfig == start);
        EXPECT_TRUE(dialog.form.open);
    };
    dialog.load();
    EXPECT_EQ(dialog.form.Combo1.items, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(dialog.form.Command1.at(0).caption, "Cancel");
    EXPECT_EQ(dialog.form.Command1.at(1).caption, "Store");
    EXPECT_EQ(dialog.form.Label2.at(0).caption, "Select position");
    EXPECT_EQ(dialog.form.Label2.at(1).caption, "Edit Name");
    EXPECT_EQ(dialog.form.List1.index, 5);
    EXPECT_EQ(dialog.form.Text1.text, " PLATE  ");
    EXPECT_EQ(dialog.form.Combo1.index, 5);
    dialog.form.Text1.text = "NOPE";
    rig.host.answer(false);
    dialog.commandClick(1);
    untouched();

    rig.state.DemoMode = true;
    rig.state.store.at(2, 4) = 71;
    dialog.form.Text1.text = "DEMO";
    dialog.form.Combo1.index = 6;
    dialog.commandClick(1); // no question is asked
    EXPECT_FALSE(dialog.Memorize_eep());
    ASSERT_EQ(rig.host.boxes.size(), 3u);
    EXPECT_NE(rig.host.boxes[1].text.find("not connected"), std::string::npos);
    EXPECT_EQ(rig.host.boxes[1].title, "Save preset to device");
    untouched();
    dialog.commandClick(0);
    EXPECT_FALSE(dialog.form.open);
    EXPECT_TRUE(rig.port.sent().empty());
}

TEST_F(StoreToDevice, StoreOverAStoredPresetUnmarksItFirstSoACutLeavesNoMixedSlot)
{
    // Slot 5 of effect 2 holds PLATE on the device too. A whole store: unmark, then as ever.
    rig.device.poke(Addr::directory(2, 5), Addr::SlotUsed);
    store("NEW", 5);
    const auto writes = rig.memoryWrites();
    ASSERT_EQ(writes.size(), 1u + 42u);
    EXPECT_EQ(writes[0], (std::pair<int, int>{Addr::directory(2, 5), 0}));
    EXPECT_EQ(writes[1].first, Addr::name(2, 5, 0));
    EXPECT_EQ(writes[41], (std::pair<int, int>{Addr::directory(2, 5), Addr::SlotUsed}));
    EXPECT_EQ(writes[42], (std::pair<int, int>{Addr::slotNumber(2), 5}));
    EXPECT_EQ(rig.state.presetDirectory[2][5], "85");

    // Cut after the unmark, the name and 5 values: mixed, but not marked stored, and told.
    rig.state.store.at(2, 0) = static_cast<uint8_t>(rig.state.store.at(2, 0) + 1);
    rig.unplugAfter(1 + 8 + 5 + 1, false);
    dialog.load();
    dialog.form.Text1.text = "CUT";
    dialog.form.Combo1.index = 5;
    rig.host.answer(true);
    dialog.commandClick(1);
    EXPECT_NE(rig.device.peek(Addr::directory(2, 5)), Addr::SlotUsed);
    EXPECT_EQ(rig.state.presetDirectory[2][5], "0");
    EXPECT_EQ(rig.state.presetNames[2][5], " Empty  ");
    ASSERT_EQ(rig.host.boxes.size(), 3u);
    EXPECT_NE(rig.host.boxes[2].text.find("Preset 6 "), std::string::npos) << rig.host.boxes[2].text;
    EXPECT_TRUE(dialog.form.open);
}

TEST_F(StoreToDevice, LostDeviceKeepsTheRecordsOfTheSlotAsTheyWere)
{
    const ParameterTable copy = rig.state.deviceCopy, start = rig.state.startConfig;
    rig.state.store.at(2, 0) = static_cast<uint8_t>(rig.state.store.at(2, 0) + 1);
    rig.unplugAfter(12, false);
    store("GONE", 1);
    EXPECT_EQ(rig.searches, 1);
    EXPECT_EQ(rig.state.presetNames[2][1], " Empty  ");
    EXPECT_EQ(rig.state.presetDirectory[2][1], "0");
    EXPECT_EQ(rig.state.presetSlotNumbers[2], "0");
    EXPECT_TRUE(rig.state.deviceCopy == copy);
    EXPECT_TRUE(rig.state.startConfig == start);
    ASSERT_EQ(rig.host.boxes.size(), 2u);
    EXPECT_EQ(rig.host.boxes[1].title, "Save preset to device");
    EXPECT_NE(rig.host.boxes[1].text.find("again"), std::string::npos);
    EXPECT_TRUE(dialog.form.open);
}

TEST_F(StoreToDevice, DeviceBackAfterAFailureWritesTheWholeSlotAgainALongNameCutToEightBytes)
{
    rig.unplugAfter(12, true);
    store("BACKLONGER", 1);
    const auto writes = rig.memoryWrites();
    ASSERT_EQ(writes.size(), 12u + 42u);
    EXPECT_EQ(writes[12].first, 0x1488); // the first name byte of slot 1
    EXPECT_EQ(writes.back(), (std::pair<int, int>{0x0062, 1}));
    std::string name;
    for (int k = 0; k < 8; ++k)
        name += static_cast<char>(rig.device.peek(Addr::name(2, 1, k)));
    EXPECT_EQ(name, "BACKLONG");
    EXPECT_EQ(rig.state.presetNames[2][1], "BACKLONGER");
    EXPECT_EQ(rig.form.Label2.caption, "2 - BACKLONGER");
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(rig.device.peek(Addr::stored(2, 1, c)), rig.state.store.at(2, c)) << c;
    EXPECT_EQ(rig.device.peek(Addr::directory(2, 1)), 0x55);
    EXPECT_FALSE(dialog.form.open);
}

} // namespace
} // namespace qrv::test
