#include "ExpectedDump.hpp"
#include "StartUpRig.hpp"

#include "app/StartUp.hpp"
#include "devmem/MemoryDump.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace qrv::test {
namespace {

void expectExchanges(const StartUpRig& rig, const std::vector<Expected>& expected)
{
    const auto sent = rig.exchanges();
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ(sent[i].bytes, expected[i].bytes) << "exchange " << i;
        ASSERT_EQ(sent[i].readLength, expected[i].readLength) << "exchange " << i;
    }
}

void setName(DeviceModel& device, int effect, int slot, const Bytes& name)
{
    for (int k = 0; k < 8; ++k)
        device.poke(Addr::name(effect, slot, k), name.at(static_cast<std::size_t>(k)));
}

struct DumpRig : StartUpRig {
    TemporaryWorkingDirectory cwd;

    DumpRig() { deviceOnPortSeven(); }
    void run()
    {
        splashLoad(program);
        splashTimer(program, {});
    }
};

TEST(MemoryDump, ExchangesComeInTheirOrderAndDeviceEffectNineOpensThePhaserWithTheDeviceValues)
{
    DumpRig rig;
    rig.device.poke(Addr::CurrentEffect, 9);
    rig.run();
    expectExchanges(rig, expectedDump(rig.device));
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.sleeps, (std::vector<int>{80, 80}));
    const ProgramState& s = rig.state;
    EXPECT_EQ(s.currentEffect, 9);
    EXPECT_EQ(rig.form.Combo1.index, 9);
    EXPECT_EQ(rig.form.frontPage, 9);
    EXPECT_TRUE(rig.form.Frame5.at(9).visible);
    for (int e = 0; e < 16; ++e) {
        for (int c = 0; c < 32; ++c) {
            const uint8_t expected = e == 9 || c < kLiveCounts[e] ? rig.device.peek(Addr::live(e, c)) : 0;
            EXPECT_EQ(s.store.at(e, c), expected) << "effect " << e << " column " << c;
        }
    }
    EXPECT_EQ(s.startConfig, s.store);
    const int slot = rig.device.peek(Addr::slotNumber(9));
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(s.deviceCopy.at(9, c), rig.device.peek(Addr::stored(9, slot, c)));
}

TEST(MemoryDump, NamesAreReadForStoredSlotsOnlyAndConvertedFromLatin1)
{
    DumpRig rig;
    for (int e = 0; e < 16; ++e)
        for (int s = 0; s < 8; ++s)
            rig.device.poke(Addr::directory(e, s), Addr::SlotBeingWritten); // only 0x55 marks a stored preset
    rig.device.poke(Addr::directory(3, 5), 0x55);
    rig.device.poke(Addr::directory(0, 2), 0x55);
    setName(rig.device, 3, 5, {'C', 'a', 'f', 0xE9, ' ', 'N', 'o', '1'});
    setName(rig.device, 0, 2, {'H', 'a', 'l', 'l', ' ', ' ', ' ', ' '});
    rig.device.poke(Addr::slotNumber(0), 2);
    rig.run();
    const ProgramState& s = rig.state;
    EXPECT_EQ(s.presetNames[3][5], "Caf\xC3\xA9 No1");
    EXPECT_EQ(s.presetNames[0][2], "Hall    ");
    EXPECT_EQ(s.presetNames[3][4], " Empty  ");
    EXPECT_EQ(s.presetNames[15][7], " Empty  ");
    EXPECT_EQ(s.presetDirectory[3][5], "85");
    EXPECT_EQ(s.presetDirectory[3][4], "0");
    EXPECT_EQ(s.presetSlotNumbers[0], "2");
    EXPECT_EQ(rig.form.Label2.caption, "3 - Hall    ");
    EXPECT_EQ(rig.framesWith(0x24), 2u);
    expectExchanges(rig, expectedDump(rig.device));
}

TEST(MemoryDump, SplashProgressEndsAtItsMaximum)
{
    DumpRig rig;
    rig.run();
    const ProgressBar& bar = rig.program.splash.ProgressBar1;
    int stored = 0;
    for (int e = 0; e < 16; ++e)
        for (int s = 0; s < 8; ++s)
            stored += rig.device.peek(Addr::directory(e, s)) == 0x55 ? 1 : 0;
    ASSERT_GT(stored, 0);
    EXPECT_TRUE(bar.visible);
    EXPECT_EQ(bar.max, 2 + 128 + 16 + 32 + 305 + 1 + stored + 32);
    EXPECT_EQ(bar.value, bar.max);
    EXPECT_EQ(static_cast<int>(rig.exchanges().size()), bar.max);
    // Each exchange repainted the splash so the bar moves while the window is blocked.
    const auto splashPaints = std::count(rig.host.refreshes.begin(), rig.host.refreshes.end(), Window::Splash);
    EXPECT_GE(splashPaints, bar.max);
}

TEST(MemoryDump, SwitchStateShowsOnCheck1)
{
    for (const uint8_t on : {1, 0}) {
        DumpRig rig;
        rig.device.receive(frame(0x2F, 0, 0, 0, on));
        ASSERT_EQ(rig.device.effectSwitch(), on);
        rig.run();
        EXPECT_EQ(rig.state.effectSwitchState, on);
        EXPECT_EQ(rig.form.Check1.value, on);
        EXPECT_EQ(rig.framesWith(0x2F), 0u);
    }
}

TEST(MemoryDump, SlotNumberOutOfRangeCountsAsSlotZero)
{
    DumpRig rig;
    rig.device.poke(Addr::CurrentEffect, 4);
    rig.device.poke(Addr::slotNumber(4), 0xFF);
    rig.device.poke(Addr::directory(4, 0), 0x55);
    setName(rig.device, 4, 0, {'G', 'a', 't', 'e', 'd', ' ', ' ', ' '});
    rig.run();
    EXPECT_FALSE(rig.host.ended);
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.state.presetSlotNumbers[4], "255");
    // No unit holds a slot number past eight: the byte counts only once the unit repeats it.
    auto expected = expectedDump(rig.device);
    const auto slotRead = std::find_if(expected.begin(), expected.end(), [](const Expected& x) {
        return x.bytes[2] == Cmd::ReadByte && (x.bytes[3] << 8 | x.bytes[4]) == Addr::slotNumber(4);
    });
    ASSERT_NE(slotRead, expected.end());
    expected.insert(slotRead, *slotRead);
    expectExchanges(rig, expected);
    EXPECT_EQ(rig.host.logs.size(), 1u);
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(rig.state.deviceCopy.at(4, c), rig.device.peek(Addr::stored(4, 0, c)));
    EXPECT_EQ(rig.form.Label2.caption, "1 - Gated   ");
}

TEST(MemoryDump, AnEffectNumberTheEditorDoesNotKnowEndsTheProgram)
{
    DumpRig rig;
    rig.device.poke(Addr::CurrentEffect, 200);
    EXPECT_THROW(rig.run(), ProgramEnded);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, "Found a problem with usb connection, the sw will be close");
    EXPECT_EQ(rig.host.boxes[0].title, "USB virtual COM Port communication problem");
    EXPECT_EQ(rig.host.boxes[0].icon, Icon::Critical);
}

TEST(MemoryDump, SilentDeviceEndsWithTimeOut)
{
    DumpRig rig;
    int frames = 0;
    rig.onFrame = [&] {
        if (++frames == 40)
            rig.far["qrv"] = Far::Silent;
    };
    EXPECT_THROW(rig.run(), ProgramEnded);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, "Time out");
}

TEST(MemoryDump, PortFailureInTheMiddleStartsOverOnceTheDeviceIsBack)
{
    DumpRig rig;
    int frames = 0;
    rig.onFrame = [&] {
        if (++frames == 200)
            rig.port.unplug();
    };
    rig.program.link.setDeviceSearch([&] {
        rig.port.plugIn();
        return rig.program.search.FindDevice();
    });
    rig.device.poke(Addr::CurrentEffect, 2);
    rig.run();
    EXPECT_TRUE(rig.host.boxes.empty());
    const ProgramState& s = rig.state;
    EXPECT_FALSE(s.DemoMode);
    for (int e = 0; e < 16; ++e)
        for (int c = 0; c < kLiveCounts[e]; ++c)
            ASSERT_EQ(s.store.at(e, c), rig.device.peek(Addr::live(e, c)));
    // The last full dump is the expected one; the broken attempt lies before it.
    const auto expected = expectedDump(rig.device);
    const auto sent = rig.exchanges();
    // Frame 1 was the start-up probe; the broken attempt stopped at the failed frame 200. The
    // unit check after the reconnection read the current effect, the switch, its live row and
    // its directory (no names were read yet).
    ASSERT_EQ(sent.size(), 199 + 11 + expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(sent[sent.size() - expected.size() + i].bytes, expected[i].bytes) << i;
    const ProgressBar& bar = rig.program.splash.ProgressBar1;
    EXPECT_EQ(bar.value, bar.max);
}

TEST(MemoryDump, DeviceLostInTheMiddleTurnsToDemoModeWithNothingHalfRead)
{
    DumpRig rig;
    int frames = 0;
    rig.onFrame = [&] {
        if (++frames == 300)
            rig.port.unplug();
    };
    rig.run();
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].title, "USB virtual COM Port communication problem");
    EXPECT_NE(rig.host.boxes[0].text.find("DEMO MODE"), std::string::npos);
    const ProgramState& s = rig.state;
    EXPECT_TRUE(s.DemoMode);
    EXPECT_FALSE(rig.host.ended);
    EXPECT_EQ(s.currentEffect, 0);
    EXPECT_EQ(s.store, ParameterTable{});
    EXPECT_EQ(s.startConfig, ParameterTable{});
    EXPECT_EQ(s.presetDirectory[0][0], "0");
    EXPECT_EQ(s.presetNames[0][0], "");
    EXPECT_FALSE(rig.host.busy(Window::Main));
}

} // namespace
} // namespace qrv::test
