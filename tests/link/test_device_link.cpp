#include "ScriptedTransport.hpp"

#include "FakeHost.hpp"
#include "link/DeviceLink.hpp"

#include <gtest/gtest.h>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ack(uint8_t data = 0)
{
    return {0xF0, 0x9C, 0x10, 0x9C, 0, 0, data, 0, 0, 0xF7};
}

struct LinkFixture : ::testing::Test {
    ManualClock clock;
    ProgramState state;
    FakeHost host;
    ScriptedTransport::Script script = [](const Bytes&, int) {
        return std::optional<ScriptedTransport::Reply>{{ack()}};
    };
    ScriptedTransport port{clock, [this](const Bytes& f, int n) { return script(f, n); }};
    DeviceLink link{state, port, clock, host};

    LinkFixture()
    {
        state.LinkUp = true;
        port.open("ttyTEST");
    }
    void replyWith(Bytes bytes, double delay = 0.0)
    {
        script = [bytes, delay](const Bytes&, int) { return std::optional<ScriptedTransport::Reply>{{bytes, delay}}; };
    }
    void silent()
    {
        script = [](const Bytes&, int) { return std::optional<ScriptedTransport::Reply>{}; };
    }
};

TEST_F(LinkFixture, ParameterChangePutsTheExactFrameOnTheWire)
{
    link.sendParameter(12, 55);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], (Bytes{0xF0, 0x9C, 0x20, 0x0C, 0, 0, 0, 0, 0x37, 0xF7}));
    EXPECT_EQ(state.outputFrame, (Frame{0xF0, 0x9C, 0x20, 0x0C, 0, 0, 0, 0, 0x37, 0xF7}));
}

TEST_F(LinkFixture, OneByteReadAddressesTheByteAndTakesReplyByteSix)
{
    replyWith(ack(0xAB));
    EXPECT_EQ(link.readByte(0x1843), 0xAB);
    EXPECT_EQ(port.writes.at(0), (Bytes{0xF0, 0x9C, 0x10, 0x18, 0x43, 0, 0, 0, 0, 0xF7}));
}

TEST_F(LinkFixture, LongerReplyUsesTenBytesAndDiscardsTheRest)
{
    Bytes twelve = ack(7);
    twelve.push_back(0xEE);
    twelve.push_back(0xEE);
    replyWith(twelve);
    link.SendCommand(Cmd::ReadByte);
    EXPECT_EQ(state.replyBuffer[6], 7);
    EXPECT_EQ(state.replyBuffer[9], 0xF7);
    EXPECT_EQ(state.replyBuffer[10], 0);
    EXPECT_EQ(port.bytesAvailable(), 0u);
}

TEST_F(LinkFixture, ShortReplyLeavesOlderBytesOfTheBuffer)
{
    port.setReadLength(32);
    replyWith(Bytes(32, 0x44));
    ASSERT_TRUE(link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 3));
    port.setReadLength(10);
    replyWith(ack(1));
    link.SendCommand(Cmd::ReadByte);
    EXPECT_EQ(state.replyBuffer[6], 1);
    EXPECT_EQ(state.replyBuffer[10], 0x44);
    EXPECT_EQ(state.replyBuffer[31], 0x44);
    EXPECT_EQ(state.replyBuffer[32], 0);
}

TEST_F(LinkFixture, SilentDeviceGetsSixFramesThenTimeOutEndsTheProgram)
{
    silent();
    const double start = clock.now();
    EXPECT_THROW(link.SendCommand(Cmd::ReadByte, 1, 2), ProgramEnded);
    EXPECT_EQ(port.writes.size(), 6u);
    for (const Bytes& frame : port.writes)
        EXPECT_EQ(frame, port.writes.front());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Time out");
    EXPECT_EQ(host.boxes[0].icon, Icon::Exclamation);
    EXPECT_FALSE(host.boxes[0].question);
    EXPECT_NEAR(clock.now() - start, 6 * kCommandTimeout, 0.05);
}

TEST_F(LinkFixture, BlockReadsTimeOutAfterNineSecondsPerAttempt)
{
    silent();
    port.setReadLength(32);
    const double start = clock.now();
    EXPECT_THROW(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 7), ProgramEnded);
    EXPECT_EQ(port.writes.size(), 6u);
    EXPECT_NEAR(clock.now() - start, 6 * kBlockTimeout, 0.05);
}

TEST_F(LinkFixture, ReplyJustInsideTheThresholdIsTakenWithoutResend)
{
    replyWith(ack(9), 3.16);
    link.SendCommand(Cmd::ReadByte);
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(state.replyBuffer[6], 9);
}

TEST_F(LinkFixture, LateReplyToTheFirstAttemptCompletesTheSecond)
{
    script = [](const Bytes&, int n) {
        return n == 0 ? std::optional<ScriptedTransport::Reply>{{ack(0x11), 3.5}}
                      : std::optional<ScriptedTransport::Reply>{};
    };
    link.SendCommand(Cmd::ReadByte);
    EXPECT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(state.replyBuffer[6], 0x11);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(LinkFixture, ResendDoesNotClearTheInputFirst)
{
    // Half a reply arrives for the first attempt, the rest after the resend.
    script = [](const Bytes&, int n) {
        const Bytes full = ack(0x22);
        return std::optional<ScriptedTransport::Reply>{
            {n == 0 ? Bytes(full.begin(), full.begin() + 5) : Bytes(full.begin() + 5, full.end()), 0.0}};
    };
    link.SendCommand(Cmd::ReadByte);
    EXPECT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(state.replyBuffer[6], 0x22);
    EXPECT_EQ(port.clears, 1);
}

TEST_F(LinkFixture, WaitingBlocksOnThePortInsteadOfSpinning)
{
    replyWith(ack(), 1.0);
    link.SendCommand(Cmd::ReadByte);
    EXPECT_LE(port.waits, 2);
}

TEST_F(LinkFixture, ProbeWithoutReplyFailsAfterItsThresholdWithoutResendOrMessage)
{
    silent();
    const double start = clock.now();
    EXPECT_FALSE(link.ProbeDevice());
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_NEAR(clock.now() - start, kProbeTimeout, 0.01);
}

TEST_F(LinkFixture, ProbeChecksByteThree)
{
    replyWith(ack());
    EXPECT_TRUE(link.ProbeDevice());
    replyWith({0xF0, 0x9C, 0x00, 0x00, 0, 0, 0, 0, 0, 0xF7});
    EXPECT_FALSE(link.ProbeDevice());
    replyWith(ack(), 2.9);
    EXPECT_FALSE(link.ProbeDevice());
}

TEST_F(LinkFixture, NothingIsWrittenInDemoModeOrWhileSuspended)
{
    state.replyBuffer[6] = 0x5A;
    state.DemoMode = true;
    link.SendCommand(Cmd::SetParameter, 1, 0, 0, 0, 0, 9);
    EXPECT_FALSE(link.ProbeDevice());
    EXPECT_FALSE(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 1));
    EXPECT_FALSE(link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, 1, 1));
    state.DemoMode = false;
    state.LinkUp = false;
    link.SendCommand(Cmd::SetParameter, 1, 0, 0, 0, 0, 9);
    EXPECT_FALSE(link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, 1, 1));
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(link.readByte(0x0013), 0x5A);
}

TEST_F(LinkFixture, UnavailablePortLowersLinkUpAndSearchesOnceWithoutResend)
{
    int searches = 0;
    link.setDeviceSearch([&] {
        EXPECT_FALSE(state.LinkUp);
        ++searches;
        return true;
    });
    port.failure = PortErrorKind::Unavailable;
    link.sendParameter(3, 4);
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(port.writes.size(), 0u);
    EXPECT_EQ(link.portFailures(), 1);
    EXPECT_TRUE(link.lastSearchFound());
    EXPECT_FALSE(state.LinkUp);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(LinkFixture, OtherPortErrorsEndTheCommandSilently)
{
    int searches = 0;
    link.setDeviceSearch([&] {
        ++searches;
        return true;
    });
    port.failure = PortErrorKind::Other;
    link.sendParameter(3, 4);
    EXPECT_EQ(searches, 0);
    EXPECT_TRUE(state.LinkUp);
    port.failure = PortErrorKind::Unavailable;
    EXPECT_FALSE(link.ProbeDevice());
    EXPECT_FALSE(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 1));
    EXPECT_EQ(searches, 0);
}

TEST_F(LinkFixture, BlockReadOnAPortArmedForTenFails)
{
    replyWith(Bytes(32, 1));
    EXPECT_FALSE(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 1));
}

TEST_F(LinkFixture, ArmPortReopensTheSamePortWithTheNewLength)
{
    link.ArmPort(8);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portName(), "ttyTEST");
    replyWith(Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'});
    ASSERT_TRUE(link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, 2, 3));
    EXPECT_EQ(std::string(state.replyBuffer.begin(), state.replyBuffer.begin() + 8), "ABCDEFGH");
    EXPECT_EQ(port.writes.back(), (Bytes{0xF0, 0x9C, 0x24, 0, 0, 0, 0, 2, 3, 0xF7}));
}

TEST(SplitToBytes, WritesFourBytesMostSignificantFirst)
{
    ProgramState state;
    ManualClock clock;
    FakeHost host;
    ScriptedTransport port(clock, [](const Bytes&, int) { return std::optional<ScriptedTransport::Reply>{}; });
    DeviceLink link(state, port, clock, host);
    link.SplitToBytes(6208, 0);
    EXPECT_EQ((std::array<uint8_t, 4>{state.addressBytes[0], state.addressBytes[1], state.addressBytes[2],
                                      state.addressBytes[3]}),
              (std::array<uint8_t, 4>{0x00, 0x00, 0x18, 0x40}));
    link.SplitToBytes(0x029F, 0);
    EXPECT_EQ(state.addressBytes[2], 0x02);
    EXPECT_EQ(state.addressBytes[3], 0x9F);
    link.SplitToBytes(0x12345678, 4);
    EXPECT_EQ(state.addressBytes[4], 0x12);
    EXPECT_EQ(state.addressBytes[7], 0x78);
    link.SplitToBytes(2.5, 0); // half to even
    EXPECT_EQ(state.addressBytes[3], 2);
    link.SplitToBytes(3.5, 0);
    EXPECT_EQ(state.addressBytes[3], 4);
}

} // namespace
} // namespace qrv::test
