#include "CommandLine.hpp"
#include "DeviceModel.hpp"
#include "FactoryImage.hpp"
#include "FrontPanel.hpp"
#include "MemoryFile.hpp"
#include "Session.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr double kByte = 1.0 / 480.0;
constexpr double kHair = 1e-7;

Bytes frame(uint8_t command, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p4 = 0)
{
    const Frame f = makeFrame(command, p1, p2, 0, p4, 0, 0);
    return {f.begin(), f.end()};
}

EmulatorOptions fastOptions()
{
    EmulatorOptions options;
    options.fast = true;
    return options;
}

TEST(EmulatorSession, PacedRequestIsTakenAfterItsLastByteAndTheReplyLeavesByteByByte)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorSession session(model, {});
    EXPECT_FALSE(session.nextDue());
    session.received(frame(Cmd::WriteByte, 0x40, 0x00, 0x99), 2.0);
    EXPECT_NEAR(*session.nextDue(), 2.0 + kByte, 1e-9);
    EXPECT_TRUE(session.advance(2.0 + 10 * kByte - 1e-4).empty());
    EXPECT_EQ(model.peek(0x4000), 0);
    EXPECT_TRUE(session.advance(2.0 + 10 * kByte + kHair).empty());
    EXPECT_EQ(model.peek(0x4000), 0x99);
    EXPECT_NEAR(*session.nextDue(), 2.0 + 11 * kByte, 1e-9);
    EXPECT_EQ(session.backlog(), 10u);
    EXPECT_EQ(session.advance(2.0 + 11 * kByte + kHair).size(), 1u);
    EXPECT_EQ(session.advance(2.0 + 15 * kByte + kHair).size(), 4u);
    const Bytes rest = session.advance(2.0 + 20 * kByte + kHair);
    EXPECT_EQ(rest.size(), 5u);
    EXPECT_EQ(rest.back(), 0xF7);
    EXPECT_FALSE(session.nextDue().has_value());
}

TEST(EmulatorSession, BytesSentWhileTheWireIsBusyQueueBehind)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorSession session(model, {});
    session.received(frame(Cmd::WriteByte, 0x40, 0x00, 1), 0.0);
    session.received(frame(Cmd::WriteByte, 0x40, 0x01, 2), 0.001);
    session.advance(20 * kByte - 1e-4);
    EXPECT_EQ(model.peek(0x4000), 1);
    EXPECT_EQ(model.peek(0x4001), 0);
    session.advance(20 * kByte + kHair);
    EXPECT_EQ(model.peek(0x4001), 2);
}

TEST(EmulatorSession, RepliesDoNotOverlapOnTheWire)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorSession session(model, {});
    Bytes two = frame(Cmd::Probe);
    const Bytes second = frame(Cmd::Probe);
    two.insert(two.end(), second.begin(), second.end());
    session.received(two, 0.0);
    // First reply leaves from 10 to 20 byte times; the second request completes at 20 and
    // its reply follows the first one's last byte.
    EXPECT_EQ(session.advance(20 * kByte + kHair).size(), 10u);
    EXPECT_EQ(session.advance(30 * kByte - 1e-4).size(), 9u);
    EXPECT_EQ(session.advance(30 * kByte + kHair).size(), 1u);
}

TEST(EmulatorSession, FastAnswersAtOnceAndSilentAnswersAndExecutesNothing)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorSession fast(model, fastOptions());
    fast.received(frame(Cmd::Probe), 7.0);
    const Bytes reply = fast.advance(7.0);
    ASSERT_EQ(reply.size(), 10u);
    EXPECT_EQ(reply[3], 0x9C);

    EmulatorOptions options = fastOptions();
    options.silent = true;
    EmulatorSession silent(model, options);
    silent.received(frame(Cmd::WriteByte, 0x40, 0x00, 0x99), 0.0);
    EXPECT_TRUE(silent.advance(1.0).empty());
    EXPECT_EQ(model.peek(0x4000), 0);
    EXPECT_EQ(silent.frames(), 1u);
}

TEST(EmulatorSession, DropEveryLeavesEveryNthFrameUnansweredAndGarbageInvertsEveryByte)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorOptions options = fastOptions();
    options.dropEvery = 3;
    EmulatorSession session(model, options);
    std::vector<std::size_t> replyLengths;
    for (int i = 1; i <= 6; ++i) {
        session.received(frame(Cmd::WriteByte, 0x40, static_cast<uint8_t>(i), 1), i);
        replyLengths.push_back(session.advance(i).size());
    }
    EXPECT_EQ(replyLengths, (std::vector<std::size_t>{10, 10, 0, 10, 10, 0}));
    EXPECT_EQ(model.peek(0x4003), 0);
    EXPECT_EQ(model.peek(0x4004), 1);

    options = fastOptions();
    options.garbage = true;
    EmulatorSession spoilt(model, options);
    spoilt.received(frame(Cmd::Probe), 0.0);
    const Bytes reply = spoilt.advance(0.0);
    const Bytes expected = DeviceModel::blank().receive(frame(Cmd::Probe));
    ASSERT_EQ(reply.size(), expected.size());
    for (std::size_t i = 0; i < reply.size(); ++i)
        EXPECT_EQ(reply[i], static_cast<uint8_t>(~expected[i]));
}

TEST(EmulatorSession, LateExtraAndShortRepliesAsAFaultyCableShowsThem)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorOptions options = fastOptions();
    options.lateEvery = 2;
    options.lateBy = 3.4;
    options.extraEvery = 3;
    options.shortEvery = 5;
    EmulatorSession session(model, options);
    const auto ask = [&](double at) {
        session.received(frame(Cmd::ReadByte, 0x00, 0x13), at);
        return session.advance(at);
    };
    const Bytes clean = DeviceModel::blank().receive(frame(Cmd::ReadByte, 0x00, 0x13));
    EXPECT_EQ(ask(0.0), clean);    // 1
    EXPECT_TRUE(ask(1.0).empty()); // 2: held back...
    EXPECT_TRUE(ask(2.0).empty()); // 3: ...and the next queues behind it
    Bytes both = clean;
    both.insert(both.end(), clean.begin(), clean.end());
    both.insert(both.end(), {0x00, 0x00});
    EXPECT_EQ(session.advance(4.4), both); // 2 at 4.4 s, then 3 with two bytes more
    EXPECT_TRUE(ask(5.0).empty());         // 4: late again
    EXPECT_TRUE(ask(6.0).empty());         // 5: behind it, and only half of it
    Bytes half = clean;
    half.insert(half.end(), clean.begin(), clean.begin() + 5);
    EXPECT_EQ(session.advance(8.4), half);
    EXPECT_EQ(parseOptions({"--late-every", "5", "--late-by", "250", "--extra-every", "1", "--short-every", "7"})
                  .options->lateBy,
              0.25);
}

// What a session answers to `count` probes.
Bytes answersToProbes(const EmulatorOptions& options, int count)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorSession session(model, options);
    Bytes requests;
    for (int i = 0; i < count; ++i) {
        const Bytes f = frame(Cmd::Probe);
        requests.insert(requests.end(), f.begin(), f.end());
    }
    session.received(requests, 0.0);
    return session.advance(0.0);
}

TEST(EmulatorSession, BitErrorsFlipOneBitAtTheRateAskedAndRepeatWithTheSeed)
{
    constexpr int kProbes = 10000;
    const Bytes clean = answersToProbes(fastOptions(), kProbes);
    EmulatorOptions options = fastOptions();
    options.bitErrorRate = 1e-3;
    options.seed = 7;
    const Bytes noisy = answersToProbes(options, kProbes);
    ASSERT_EQ(noisy.size(), clean.size());
    int damaged = 0;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const int flipped = std::popcount(static_cast<unsigned>(clean[i] ^ noisy[i]));
        EXPECT_LE(flipped, 1) << "byte " << i;
        damaged += flipped;
    }
    // 100 expected in 100000 bytes; the bounds are three standard deviations wide.
    EXPECT_GE(damaged, 70);
    EXPECT_LE(damaged, 130);
    EXPECT_EQ(answersToProbes(options, kProbes), noisy);
    options.seed = 8;
    EXPECT_NE(answersToProbes(options, kProbes), noisy);
}

TEST(EmulatorSession, NoiseInsideEveryOtherReplyLeavesTheOthersWhole)
{
    EmulatorOptions options = fastOptions();
    options.noiseEvery = 2;
    options.noiseAt = EmulatorOptions::NoiseAt::Inside;
    const Bytes clean = answersToProbes(fastOptions(), 1);
    const Bytes answers = answersToProbes(options, 4);
    ASSERT_EQ(answers.size(), 4 * 10u + 2 * 3u);
    for (const std::size_t whole : {0u, 23u})
        EXPECT_EQ(Bytes(answers.begin() + whole, answers.begin() + whole + 10), clean);
    for (const std::size_t damaged : {10u, 33u}) {
        EXPECT_EQ(Bytes(answers.begin() + damaged, answers.begin() + damaged + 5), Bytes(clean.begin(), clean.begin() + 5));
        EXPECT_EQ(Bytes(answers.begin() + damaged + 8, answers.begin() + damaged + 13), Bytes(clean.begin() + 5, clean.end()));
    }
}

// The live rows, and everything else but the current effect.
struct UnitMemory {
    Bytes live;
    Bytes kept;
};

UnitMemory split(const DeviceModel& unit)
{
    Bytes kept(unit.memory().begin(), unit.memory().end());
    const auto first = kept.begin() + Addr::live(0, 0), end = kept.begin() + Addr::live(16, 0);
    Bytes live(first, end);
    kept.erase(first, end);
    kept[Addr::CurrentEffect] = 0;
    return {std::move(live), std::move(kept)};
}

TEST(EmulatorSession, PowerCycleResetsTheLiveStateAndKeepsThePresets)
{
    DeviceModel unit;
    int writes = 0;
    unit.onMemoryWritten = [&] { ++writes; };
    // Effect 1's live row comes back from its stored preset (changed here: not the factory's);
    // effect 2 points at an empty slot, so its live row comes back from the factory image.
    const int slot1 = unit.peek(Addr::slotNumber(1));
    unit.poke(Addr::stored(1, slot1, 4), 77);
    unit.poke(Addr::slotNumber(2), 3);
    ASSERT_NE(unit.peek(Addr::directory(2, 3)), Addr::SlotUsed);
    EmulatorOptions options = fastOptions();
    options.powerCycleAfter = 4;
    EmulatorSession session(unit, options);
    const Frame requests[] = {makeFrame(Cmd::SelectEffect, 0, 0, 0, 0, 0, 1), makeFrame(Cmd::SetParameter, 4, 0, 0, 0, 0, 9),
                              makeFrame(Cmd::SelectEffect, 0, 0, 0, 0, 0, 2), makeFrame(Cmd::SetSwitch, 0, 0, 0, 0, 0, 0)};
    for (const Frame& request : requests)
        session.received(request, 0.0);
    const Bytes replies = session.advance(0.0);
    EXPECT_EQ(replies.size(), 32u + 10u + 32u + 10u); // the fourth frame is answered before the restart
    EXPECT_EQ(writes, 4);
    const UnitMemory after = split(unit);
    EXPECT_EQ(unit.currentEffect(), 0);
    EXPECT_EQ(unit.effectSwitch(), 1);
    const Bytes factory = factoryImage();
    Bytes expectedLive(factory.begin() + Addr::live(0, 0), factory.begin() + Addr::live(16, 0));
    expectedLive[32 * 1 + 4] = 77;
    EXPECT_EQ(after.live, expectedLive);
    DeviceModel untouched;
    untouched.poke(Addr::stored(1, slot1, 4), 77);
    untouched.poke(Addr::slotNumber(2), 3);
    EXPECT_EQ(after.kept, split(untouched).kept);
}

TEST(EmulatorSession, TheFrontPanelChangesTheUnitAndSaysNothingOnTheWire)
{
    DeviceModel unit;
    int writes = 0;
    unit.onMemoryWritten = [&] { ++writes; };
    EmulatorSession session(unit, fastOptions());
    const Bytes before(unit.memory().begin(), unit.memory().end());
    // Wrong lines change nothing; comments and blank lines are no lines.
    for (const char* wrong : {"select 16", "select -1", "select", "set 3 32 1", "set 3 1 256", "set 3 1", "turn 3 1 2",
                              "select 2x", "set 3 1 2 4"})
        EXPECT_FALSE(playPanelLine(session.unit(), wrong).empty()) << wrong;
    EXPECT_TRUE(playPanelLine(session.unit(), "  # a comment").empty());
    EXPECT_TRUE(playPanelLine(session.unit(), " \t").empty());
    EXPECT_EQ(Bytes(unit.memory().begin(), unit.memory().end()), before);
    EXPECT_EQ(writes, 0);

    EXPECT_EQ(playPanelLine(session.unit(), "select 7"), "");
    EXPECT_EQ(playPanelLine(session.unit(), "set 7 3 40\r"), "");
    EXPECT_EQ(playPanelLine(session.unit(), "set 2 31 255"), "");
    EXPECT_EQ(writes, 3);
    EXPECT_TRUE(session.advance(0.0).empty());
    // What the editor reads afterwards: the effect byte and the block of the unit's own choice.
    session.received(makeFrame(Cmd::ReadByte, Addr::CurrentEffect >> 8, Addr::CurrentEffect & 0xFF, 0, 0, 0, 0), 0.0);
    session.received(makeFrame(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 7), 0.0);
    const Bytes replies = session.advance(0.0);
    ASSERT_EQ(replies.size(), 10u + 32u);
    EXPECT_EQ(replies[6], 7);
    EXPECT_EQ(replies[10 + 3], 40);
    EXPECT_EQ(unit.peek(Addr::live(2, 31)), 255);

    // Next walks through the effects and comes round to the first.
    for (int e = 8; e < 16; ++e) {
        selectNextOnPanel(session.unit());
        EXPECT_EQ(unit.currentEffect(), e);
    }
    selectNextOnPanel(session.unit());
    EXPECT_EQ(unit.currentEffect(), 0);
}

TEST(EmulatorSession, SwappedUnitsKeepTheirOwnMemory)
{
    DeviceModel unit = DeviceModel::blank();
    EmulatorOptions options = fastOptions();
    options.swapAfter = 1;
    options.swapImage = Bytes(kMemorySize, 0x11);
    EmulatorSession session(unit, options);
    session.received(frame(Cmd::WriteByte, 0x40, 0x00, 0x99), 0.0);
    session.received(frame(Cmd::WriteByte, 0x40, 0x01, 0x98), 0.0);
    session.advance(0.0);
    EXPECT_TRUE(session.swapped());
    EXPECT_EQ(unit.peek(0x4000), 0x11);
    EXPECT_EQ(unit.peek(0x4001), 0x98);
    session.swapUnit();
    EXPECT_EQ(unit.peek(0x4000), 0x99);
    EXPECT_EQ(unit.peek(0x4001), 0x00);
    session.swapUnit();
    EXPECT_EQ(unit.peek(0x4000), 0x11);
    EXPECT_EQ(unit.peek(0x4001), 0x98);
}

TEST(EmulatorSession, HangupAfterTakesNoMoreFramesAndWaitsForTheLastReply)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorOptions options;
    options.hangupAfter = 2;
    EmulatorSession session(model, options);
    Bytes three;
    for (uint8_t i = 0; i < 3; ++i) {
        const Bytes f = frame(Cmd::WriteByte, 0x40, i, 1);
        three.insert(three.end(), f.begin(), f.end());
    }
    session.received(three, 0.0);
    session.advance(20 * kByte + kHair);
    EXPECT_EQ(session.frames(), 2u);
    EXPECT_FALSE(session.hungUp());
    session.advance(1.0);
    EXPECT_TRUE(session.hungUp());
    EXPECT_EQ(model.peek(0x4002), 0);
    session.received(frame(Cmd::Probe), 2.0);
    EXPECT_TRUE(session.advance(3.0).empty());
}

TEST(EmulatorSession, LogHasOneLinePerFrameAndPerReplySent)
{
    DeviceModel model = DeviceModel::blank();
    EmulatorOptions options = fastOptions();
    options.dropEvery = 2;
    std::ostringstream log;
    EmulatorSession session(model, options, &log);
    session.received(frame(Cmd::Probe), 0.0);
    session.received(frame(Cmd::ReadByte, 0x12, 0x34), 0.0);
    session.advance(0.0);
    EXPECT_EQ(log.str(),
              "000001 > F0 9C 00 00 00 00 00 00 00 F7\n"
              "000001 < F0 9C 00 9C 00 00 00 00 00 F7\n"
              "000002 > F0 9C 10 12 34 00 00 00 00 F7\n");
}

TEST(EmulatorOptions, TakesEveryOption)
{
    const auto parsed = parseOptions({"--fast", "--silent", "--garbage", "--drop-every", "4", "--hangup-after", "9",
                                      "--link", "/tmp/l", "--log", "/tmp/g", "--memory", "/tmp/m", "--panel", "/tmp/p", "--bit-errors",
                                      "1e-4", "--seed", "0", "--power-cycle-after", "12"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const EmulatorOptions& o = *parsed.options;
    EXPECT_TRUE(o.fast && o.silent && o.garbage);
    EXPECT_EQ(o.dropEvery, 4u);
    EXPECT_EQ(o.hangupAfter, 9u);
    EXPECT_EQ(o.bitErrorRate, 1e-4);
    EXPECT_EQ(o.seed, 0u);
    EXPECT_EQ(o.powerCycleAfter, 12u);
    EXPECT_EQ(o.linkPath, "/tmp/l");
    EXPECT_EQ(o.logPath, "/tmp/g");
    EXPECT_EQ(o.memoryPath, "/tmp/m");
    EXPECT_EQ(o.panelPath, "/tmp/p");
    EXPECT_FALSE(o.help);
}

TEST(EmulatorOptions, RefusesBadCountsUnknownOptionsAndMissingPaths)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--drop-every"},
                                                 {"--drop-every", "0"},
                                                 {"--drop-every", "-1"},
                                                 {"--hangup-after", "2x"},
                                                 {"--hangup-after", ""},
                                                 {"--memory"},
                                                 {"--panel"},
                                                 {"--bit-errors", "0"},
                                                 {"--bit-errors", "1.5"},
                                                 {"--bit-errors", "1e-4x"},
                                                 {"--seed", "-3"},
                                                 {"--baud", "9600"}}) {
        const auto parsed = parseOptions(args);
        EXPECT_FALSE(parsed.options) << args[0];
        EXPECT_NE(parsed.error.find(args[0]), std::string::npos) << parsed.error;
    }
}

TEST(MemoryFile, WrittenImageReadsBackAndOtherFilesAreRefused)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
        ("qrv-memfile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder);
    Bytes image(kMemorySize);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7);
    writeMemoryFile(folder / "mem.bin", image);
    image[5] = 0xFF;
    writeMemoryFile(folder / "mem.bin", image);
    EXPECT_EQ(readMemoryFile(folder / "mem.bin"), image);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);

    EXPECT_FALSE(readMemoryFile(folder / "none.bin"));
    std::ofstream(folder / "short.bin", std::ios::binary) << "too short";
    EXPECT_THROW(readMemoryFile(folder / "short.bin"), std::runtime_error);
    EXPECT_THROW(writeMemoryFile(folder / "missing" / "mem.bin", Bytes(kMemorySize)), std::runtime_error);
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace qrv::test
