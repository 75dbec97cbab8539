#include "StartUpRig.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

using Numbers = std::vector<int>;

TEST(PortSearch, StartUpTriesPortsInOrderAndStopsAtTheDevice)
{
    StartUpRig rig;
    rig.deviceOnPortSeven();
    int shown = 0;
    EXPECT_TRUE(rig.program.search.connectAtStartUp([&] { ++shown; }));
    EXPECT_EQ(rig.resolved, (Numbers{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(rig.state.PortNumber, 7);
    EXPECT_TRUE(rig.state.PortOk);
    EXPECT_TRUE(rig.state.LinkUp);
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_EQ(rig.port.portName(), "qrv");
    // One probe each on the two silent ports and on the device, armed for ten bytes.
    ASSERT_EQ(rig.port.sent().size(), 3u);
    for (const auto& sent : rig.port.sent()) {
        EXPECT_EQ(sent.bytes, (std::vector<uint8_t>{0xF0, 0x9C, 0, 0, 0, 0, 0, 0, 0, 0xF7}));
        EXPECT_EQ(sent.readLength, 10u);
    }
    EXPECT_TRUE(rig.host.boxes.empty());
}

// The number tried first is not tried again; a whole reply without the id is asked for
// once more, then the port is passed over.
TEST(PortSearch, StartUpSkipsTheNumberTriedFirstAndPassesOverAPortWithoutTheDeviceId)
{
    StartUpRig rig;
    rig.names = {{1, "garbage"}, {3, "silent"}, {9, "qrv"}};
    rig.far = {{"garbage", Far::Garbage}, {"silent", Far::Silent}, {"qrv", Far::Device}};
    rig.state.PortNumber = 3;
    EXPECT_TRUE(rig.program.search.connectAtStartUp({}));
    EXPECT_EQ(rig.resolved, (Numbers{3, 1, 2, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(rig.state.PortNumber, 9);
    EXPECT_EQ(rig.port.sent().size(), 4u); // silent 3 once, garbage 1 twice, the device once
}

TEST(PortSearch, StartUpWithNothingAnsweringTriesAllThirtyFivePorts)
{
    StartUpRig rig;
    rig.names = {{35, "silent"}};
    rig.far = {{"silent", Far::Silent}};
    EXPECT_FALSE(rig.program.search.connectAtStartUp({}));
    ASSERT_EQ(rig.resolved.size(), 36u);
    EXPECT_EQ(rig.resolved.back(), 35);
    EXPECT_FALSE(rig.state.DemoMode); // the start-up search leaves demo mode to its caller
    EXPECT_TRUE(rig.host.boxes.empty());
    ASSERT_EQ(rig.host.progress.size(), 1u);
    EXPECT_EQ(rig.host.progress[0].steps, 35);
    EXPECT_TRUE(rig.host.progress[0].cancellable);
    EXPECT_TRUE(rig.host.progress[0].ended);
}

TEST(PortSearch, CancelEndsTheSearchAtOnceAsIfNoPortHadAnswered)
{
    StartUpRig rig;
    rig.names = {{2, "silent2"}, {3, "silent3"}, {9, "qrv"}};
    rig.far = {{"silent2", Far::Silent}, {"silent3", Far::Silent}, {"qrv", Far::Device}};
    rig.host.cancelAtStep = 3;
    EXPECT_FALSE(rig.program.search.connectAtStartUp({}));
    EXPECT_EQ(rig.resolved.back(), 3); // the device on 9 is never reached
}

TEST(PortSearch, OpenPortFailureIsSilentAndLowersBothFlags)
{
    StartUpRig rig;
    rig.names = {{4, "/dev/gone"}};
    rig.state.PortNumber = 4;
    rig.state.PortOk = rig.state.LinkUp = true;
    rig.program.search.OpenPort();
    EXPECT_FALSE(rig.state.PortOk);
    EXPECT_FALSE(rig.state.LinkUp);
    EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(PortSearch, FindDeviceProbesTheCurrentPortAndSearchesOnlyWhenItDoesNotOpen)
{
    struct Case {
        int current;
        bool found;
        Numbers resolved;
        bool portOk;
        std::size_t probes;
    };
    // 7 is the device; 3 opens and stays silent; 6 does not open.
    for (const Case& c :
         {Case{7, true, {7}, true, 1}, Case{3, false, {3}, false, 1}, Case{6, true, {6, 1, 2, 3, 4, 5, 7}, true, 3}}) {
        SCOPED_TRACE(c.current);
        StartUpRig rig;
        rig.deviceOnPortSeven();
        rig.state.PortNumber = c.current;
        rig.state.DemoMode = c.found;
        EXPECT_EQ(rig.program.search.FindDevice(), c.found);
        EXPECT_EQ(rig.resolved, c.resolved);
        EXPECT_EQ(rig.state.PortNumber, c.found ? 7 : c.current);
        EXPECT_EQ(rig.state.PortOk, c.portOk);
        EXPECT_TRUE(rig.state.LinkUp); // a silent port leaves it as the opening did
        EXPECT_FALSE(rig.state.DemoMode);
        EXPECT_EQ(rig.port.sent().size(), c.probes);
        EXPECT_TRUE(rig.host.boxes.empty());
    }
}

// A search that finds nothing, whether it ran through or was cancelled, turns to demo mode
// with the message.
TEST(PortSearch, FindDeviceWithNoDeviceOrCancelledTurnsToDemoModeWithTheMessage)
{
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel);
        StartUpRig rig;
        rig.names = {{2, "silent"}, {9, "qrv"}};
        rig.far = {{"silent", Far::Silent}, {"qrv", cancel ? Far::Device : Far::Silent}};
        rig.state.PortNumber = 7;
        if (cancel)
            rig.host.cancelAtStep = 3;
        EXPECT_FALSE(rig.program.search.FindDevice());
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_EQ(rig.host.boxes[0].text,
                  "USB virtual COM Port cant be found, and Software will turn to DEMO MODE. If you want control "
                  "again the device, please check the USB connect, and try to Reconnect.");
        EXPECT_EQ(rig.host.boxes[0].title, "USB virtual COM Port communication problem");
        EXPECT_EQ(rig.host.boxes[0].icon, Icon::Critical);
        EXPECT_TRUE(rig.state.DemoMode);
        EXPECT_FALSE(rig.host.ended);
        EXPECT_EQ(rig.resolved.size(), cancel ? 4u : 35u); // 7 once, then the others (cancelled after 3)
    }
}

TEST(PortSearch, UnexpectedFailureDuringTheSearchEndsTheProgram)
{
    StartUpRig rig;
    PortSearch search(rig.state, rig.program.link, rig.host,
                      [](int) -> std::optional<std::string> { throw std::runtime_error("broken table"); });
    EXPECT_THROW(search.FindDevice(), ProgramEnded);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text, "Found a problem with usb connection, the sw will be close");
    EXPECT_EQ(rig.host.boxes[0].icon, Icon::Critical);
}

TEST(PortSearch, ReopenClosesAndOpensTheSamePortWithoutProbingAndQuietlyWhenItIsGone)
{
    StartUpRig rig;
    rig.deviceOnPortSeven();
    rig.state.PortNumber = 7;
    rig.program.search.OpenPort();
    rig.state.DemoMode = true;
    rig.state.LinkUp = false;
    const int opens = rig.port.openCount();
    rig.program.search.reopenPort();
    EXPECT_EQ(rig.port.openCount(), opens + 1);
    EXPECT_TRUE(rig.port.isOpen());
    EXPECT_EQ(rig.port.portName(), "qrv");
    EXPECT_TRUE(rig.port.sent().empty());
    EXPECT_TRUE(rig.state.DemoMode);
    EXPECT_FALSE(rig.state.LinkUp);
    EXPECT_EQ(rig.state.PortNumber, 7);

    rig.port.unplug();
    rig.program.search.reopenPort();
    EXPECT_FALSE(rig.port.isOpen());
    EXPECT_TRUE(rig.host.boxes.empty());
}

TEST(PortSearch, PortFailureDuringASendDropsItAndFindsTheDeviceAgain)
{
    StartUpRig rig;
    rig.deviceOnPortSeven();
    ASSERT_TRUE(rig.program.search.connectAtStartUp({}));
    rig.port.clearLog();
    rig.onFrame = [&] { rig.port.unplug(); };
    rig.program.link.sendParameter(3, 44);
    // The unplugged port did not open again: the editor waits for the unit, without a box
    // and without trying every other port.
    EXPECT_FALSE(rig.state.LinkUp);
    EXPECT_TRUE(rig.state.awaitingUnit);
    EXPECT_FALSE(rig.state.DemoMode);
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.resolved.back(), 7);

    rig.onFrame = nullptr;
    rig.port.plugIn();
    rig.port.clearLog();
    EXPECT_TRUE(rig.program.search.FindDevice()); // the "  ReConnect" button
    rig.program.link.sendParameter(3, 45);
    const auto sent = rig.exchanges();
    ASSERT_EQ(sent.size(), 1u); // the dropped send is not repeated
    EXPECT_EQ(sent[0].bytes[8], 45);
}

} // namespace
} // namespace qrv::test
