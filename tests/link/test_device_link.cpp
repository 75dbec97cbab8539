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

TEST_F(LinkFixture, SilentDeviceGetsSixFramesThenTimeOutEndsTheProgramForBlocksToo)
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

    // Block reads wait nine seconds per attempt.
    port.writes.clear();
    port.setReadLength(32);
    const double blockStart = clock.now();
    EXPECT_THROW(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 7), ProgramEnded);
    EXPECT_EQ(port.writes.size(), 6u);
    EXPECT_NEAR(clock.now() - blockStart, 6 * kBlockTimeout, 0.05);
}

TEST_F(LinkFixture, ReplyJustInsideTheThresholdIsWaitedForOnThePortWithoutResend)
{
    replyWith(ack(9), 3.16);
    link.SendCommand(Cmd::ReadByte);
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(state.replyBuffer[6], 9);
    EXPECT_LE(port.waits, 2); // blocking, not spinning

    // A reply that came in time is taken even when the wait for it ended late (a busy window).
    replyWith(ack(7), 0.05);
    port.stall = 10.0;
    link.SendCommand(Cmd::ReadByte);
    EXPECT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(state.replyBuffer[6], 7);
}

TEST_F(LinkFixture, ProbeChecksByteThreeAndIsNotResentWithoutAReply)
{
    silent();
    const double start = clock.now();
    EXPECT_FALSE(link.ProbeDevice());
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_NEAR(clock.now() - start, kProbeTimeout, 0.01);
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

// Ten bytes take this long at 4800 baud.
constexpr double kTenBytes = 10.0 / 480.0;

// Replies carry the address's low byte as data, so a reply taken for the wrong request shows.
std::optional<ScriptedTransport::Reply> echo(const Bytes& frame, double delay = kTenBytes)
{
    return ScriptedTransport::Reply{ack(frame[4]), delay};
}

struct StaleBytes : LinkFixture {
    StaleBytes()
    {
        EXPECT_TRUE(link.ProbeDevice()); // the unit shows its framing
        port.writes.clear();
    }
    // Three reads in a row must each get their own byte.
    void expectOwnReplies()
    {
        EXPECT_EQ(link.readByte(0x0011), 0x11);
        EXPECT_EQ(link.readByte(0x0022), 0x22);
        EXPECT_EQ(link.readByte(0x0033), 0x33);
        EXPECT_TRUE(host.boxes.empty());
    }
};

// A late reply with the resend's right behind it, two bytes more right after a reply, a short
// reply: each read still gets its own byte. Each costs one resend: bytes right after a reply
// may be the rest of a reply that noise pushed along, so the reply is asked for again.
TEST_F(StaleBytes, LateExtraAndShortRepliesShiftNothing)
{
    double firstAt = 0;
    const auto withTail = [](const Bytes& f) {
        auto reply = echo(f);
        reply->tail = {0x00, 0x00};
        reply->tailDelay = 0.004; // after the editor has taken ten bytes
        return reply;
    };
    const std::vector<ScriptedTransport::Script> faults = {
        [&](const Bytes& f, int n) {
            if (n == 0)
                firstAt = clock.now();
            const double secondDue = firstAt + 3.4 + kTenBytes;
            return echo(f, n == 0 ? 3.4 : n == 1 ? secondDue - clock.now() : kTenBytes);
        },
        [&](const Bytes& f, int n) { return n == 0 ? withTail(f) : echo(f); },
        [](const Bytes& f, int n) {
            auto reply = echo(f);
            if (n == 0)
                reply->bytes.resize(5);
            return reply;
        },
    };
    for (std::size_t i = 0; i < faults.size(); ++i) {
        SCOPED_TRACE(i);
        port.writes.clear();
        script = faults[i];
        expectOwnReplies();
        EXPECT_EQ(port.writes.size(), 4u);
    }
    // A write the unit acknowledged with bytes more is not sent again: the unit did it, and a
    // read of the byte shows whether it took the value meant.
    port.writes.clear();
    script = [&](const Bytes& f, int n) {
        return n == 0 ? withTail(f) : ScriptedTransport::Reply{ack(0x5A), kTenBytes};
    };
    EXPECT_TRUE(link.writeByte(0x0123, 0x5A));
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.writes[1], (Bytes{0xF0, 0x9C, 0x10, 0x01, 0x23, 0, 0, 0, 0, 0xF7}));
    EXPECT_EQ(state.outputFrame[2], Cmd::WriteByte);
    // When the read shows another value, the write goes out again.
    port.writes.clear();
    script = [&](const Bytes& f, int n) {
        return n == 0 ? withTail(f) : ScriptedTransport::Reply{ack(n == 1 ? 0x11 : 0x5A), kTenBytes};
    };
    EXPECT_TRUE(link.writeByte(0x0123, 0x5A));
    EXPECT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(port.writes[2][2], Cmd::WriteByte);
}

TEST_F(StaleBytes, LateBlockReplyIsFlushedBeforeTheNextRequest)
{
    port.setReadLength(32);
    script = [](const Bytes& f, int n) {
        if (f[2] != Cmd::ReadEffectBlock)
            return echo(f);
        return std::optional<ScriptedTransport::Reply>{{Bytes(32, 0x44), n == 0 ? 9.5 : 0.45}};
    };
    ASSERT_TRUE(link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 3));
    EXPECT_EQ(state.replyBuffer[31], 0x44);
    port.setReadLength(10);
    expectOwnReplies();
}

TEST_F(StaleBytes, AReplyInAnotherFramingIsAskedForAgainAndAUnitThatChangedIsProbedBeforeTheEnd)
{
    // One damaged reply in a run of good ones is resent.
    script = [](const Bytes& f, int n) {
        auto reply = echo(f);
        if (n == 1)
            reply->bytes.front() = 0x00;
        return reply;
    };
    expectOwnReplies();
    EXPECT_EQ(port.writes.size(), 4u);

    // A unit that answers in another framing from now on, the probe too: after six doubtful
    // replies the probe learns the new framing, and the read goes through.
    script = [](const Bytes& f, int) {
        auto reply = f[2] == Cmd::Probe ? std::optional<ScriptedTransport::Reply>{{ack(), kTenBytes}} : echo(f);
        reply->bytes.front() = 0x00;
        return reply;
    };
    port.writes.clear();
    EXPECT_EQ(link.readByte(0x0044), 0x44);
    EXPECT_EQ(port.writes.size(), 6u + 1u + 1u);
    EXPECT_EQ(port.writes[6][2], Cmd::Probe);

    // Damage on every other reply never ends the session: the framing is learnt from the
    // replies that agree, whichever came between them.
    script = [](const Bytes& f, int n) {
        auto reply = f[2] == Cmd::Probe ? std::optional<ScriptedTransport::Reply>{{ack(), kTenBytes}} : echo(f);
        if (n % 2 == 1)
            reply->bytes.back() = 0x00;
        return reply;
    };
    port.writes.clear();
    EXPECT_TRUE(link.ProbeDevice());
    for (uint16_t a = 0x0010; a < 0x0020; ++a)
        EXPECT_EQ(link.readByte(a), a & 0xFF);
    EXPECT_TRUE(host.boxes.empty());

    // Whole replies that are no unit's answer end the session naming the line, the probe having
    // failed; "Time out" is kept for a unit that sends nothing whole.
    script = [](const Bytes& f, int) {
        auto reply = echo(f);
        for (auto& b : reply->bytes)
            b = static_cast<uint8_t>(~b);
        return reply;
    };
    state.replyBuffer[6] = 0x5A;
    port.writes.clear();
    EXPECT_THROW(link.readByte(0x0011), ProgramEnded);
    EXPECT_EQ(port.writes.size(), 6u + 2u);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, kDamagedRepliesText);
    EXPECT_NE(host.exitStatus, 0);
}

TEST_F(LinkFixture, OneDamagedByteInTheProbeReplySetsNoFraming)
{
    // The probe reply's first byte is hit; every later reply is the unit's own.
    script = [](const Bytes& f, int n) {
        auto reply = echo(f);
        if (n == 0)
            reply->bytes.front() = 0xF1;
        return reply;
    };
    EXPECT_TRUE(link.ProbeDevice());
    EXPECT_EQ(link.readByte(0x0011), 0x11);
    EXPECT_EQ(link.readByte(0x0022), 0x22);
    EXPECT_EQ(port.writes.size(), 1u + 2u + 1u); // the first read once more
    // A probe reply hit in the device id is asked for once more.
    script = [](const Bytes& f, int n) {
        auto reply = echo(f);
        reply->bytes[3] = n == 4 ? 0x9D : 0x9C;
        return reply;
    };
    EXPECT_TRUE(link.ProbeDevice());
    EXPECT_EQ(port.writes.size(), 6u);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(StaleBytes, BlockAndNameRepliesCountOnlyWhenWholeAndAlone)
{
    const Bytes block(32, 0x21);
    const Bytes noise{0x43, 0x20, 0x41};
    // Stray bytes before the block, inside the name, right after the name: each is resent.
    script = [&](const Bytes& f, int n) -> std::optional<ScriptedTransport::Reply> {
        if (f[2] == Cmd::ReadEffectBlock) {
            Bytes bytes = n == 0 ? noise : Bytes{};
            bytes.insert(bytes.end(), block.begin(), block.end());
            return ScriptedTransport::Reply{bytes, 0.07};
        }
        Bytes name{'C', 'O', 'N', 'C', 'E', 'R', 'T', ' '};
        ScriptedTransport::Reply reply{name, 0.04};
        if (n == 2)
            reply.bytes.insert(reply.bytes.begin() + 4, noise.begin(), noise.end());
        if (n == 4) {
            reply.tail = noise;
            reply.tailDelay = 0.004;
        }
        return reply;
    };
    port.setReadLength(32);
    ASSERT_TRUE(link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 3));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), state.replyBuffer.begin()));
    port.setReadLength(8);
    ASSERT_TRUE(link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, 1, 1));
    EXPECT_EQ(std::string(state.replyBuffer.begin(), state.replyBuffer.begin() + 8), "CONCERT ");
    ASSERT_TRUE(link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, 1, 2));
    EXPECT_EQ(std::string(state.replyBuffer.begin(), state.replyBuffer.begin() + 8), "CONCERT ");
    EXPECT_EQ(port.writes.size(), 2u + 2u + 2u);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(StaleBytes, AValueNoControlCanHoldIsTakenOnlyWhenTheUnitRepeatsIt)
{
    link.setReplyCheck([](const Frame&, std::span<const uint8_t> reply) { return reply[6] <= 100; });
    script = [](const Bytes& f, int n) { return ScriptedTransport::Reply{ack(n == 0 ? 0xC8 : f[4]), kTenBytes}; };
    EXPECT_EQ(link.readByte(0x0033), 0x33);
    EXPECT_EQ(port.writes.size(), 2u);
    EXPECT_TRUE(host.logs.empty());
    script = [](const Bytes&, int n) { return ScriptedTransport::Reply{ack(n == 2 ? 0xC9 : 0xC8), kTenBytes}; };
    EXPECT_EQ(link.readByte(0x0033), 0xC8); // 0xC9, then 0xC8 twice
    EXPECT_EQ(port.writes.size(), 2u + 3u);
    EXPECT_EQ(host.logs.size(), 1u);
}

TEST_F(StaleBytes, AHealthyUnitCostsOneWaitForEachReplyAndOneForTheQuietAfterIt)
{
    script = [](const Bytes& f, int) { return echo(f); };
    expectOwnReplies();
    EXPECT_EQ(port.writes.size(), 3u);
    EXPECT_EQ(port.waits, 6);
}

TEST_F(LinkFixture, LostPortTakesTheSearchAndAnEditGoesOutAgainOnceTheUnitIsBack)
{
    int searches = 0;
    bool comesBack = true;
    link.setDeviceSearch([&] {
        EXPECT_FALSE(state.LinkUp);
        ++searches;
        port.failure.reset();
        state.LinkUp = comesBack;
        return comesBack;
    });
    port.failure = PortErrorKind::Unavailable;
    link.sendParameter(3, 4); // an edit
    EXPECT_EQ(searches, 1);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], (Bytes{0xF0, 0x9C, 0x20, 3, 0, 0, 0, 0, 4, 0xF7}));
    EXPECT_FALSE(state.unitMayDiffer);

    port.failure = PortErrorKind::Unavailable;
    EXPECT_FALSE(link.writeByte(0x00A0, 1)); // not an edit: the caller starts over
    EXPECT_EQ(port.writes.size(), 1u);

    // Block reads and re-arming take the same path instead of ending the program.
    port.failure = PortErrorKind::Unavailable;
    EXPECT_FALSE(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 1));
    port.failure = PortErrorKind::Unavailable;
    link.ArmPort(32);
    EXPECT_EQ(searches, 4);
    EXPECT_EQ(link.portFailures(), 4);

    comesBack = false;
    port.failure = PortErrorKind::Unavailable;
    link.sendParameter(3, 5);
    EXPECT_EQ(searches, 5);
    EXPECT_FALSE(state.LinkUp);
    EXPECT_TRUE(state.unitMayDiffer);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(LinkFixture, OtherPortErrorsEndTheCommandSilentlyAndSearchingDoesNotNest)
{
    int searches = 0;
    link.setDeviceSearch([&] {
        ++searches;
        return true;
    });
    port.failure = PortErrorKind::Other;
    EXPECT_FALSE(link.SendCommand(Cmd::SetParameter, 3, 0, 0, 0, 0, 4));
    EXPECT_EQ(searches, 0);
    EXPECT_TRUE(state.LinkUp);
    EXPECT_FALSE(link.tryReadByte(0x0013).has_value());
    state.searching = true; // a probe inside the search fails quietly
    port.failure = PortErrorKind::Unavailable;
    EXPECT_FALSE(link.ProbeDevice());
    EXPECT_FALSE(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 1));
    EXPECT_EQ(searches, 0);
}

TEST_F(LinkFixture, ArmPortReopensTheSamePortWithTheNewLength)
{
    replyWith(Bytes(32, 1)); // a block read on a port armed for ten fails
    EXPECT_FALSE(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 1));
    link.ArmPort(8);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portName(), "ttyTEST");
    replyWith(Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'});
    ASSERT_TRUE(link.ReadBlock8(Cmd::ReadName, 0, 0, 0, 0, 2, 3));
    EXPECT_EQ(std::string(state.replyBuffer.begin(), state.replyBuffer.begin() + 8), "ABCDEFGH");
    EXPECT_EQ(port.writes.back(), (Bytes{0xF0, 0x9C, 0x24, 0, 0, 0, 0, 2, 3, 0xF7}));
}

TEST_F(LinkFixture, SplitToBytesWritesFourBytesMostSignificantFirst)
{
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
