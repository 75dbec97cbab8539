#include "DeviceModel.hpp"
#include "FactoryImage.hpp"

#include <gtest/gtest.h>

#include <random>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame(uint8_t command, uint8_t p1 = 0, uint8_t p2 = 0, uint8_t p3 = 0, uint8_t p4 = 0, uint8_t p5 = 0,
            uint8_t p6 = 0)
{
    const Frame f = makeFrame(command, p1, p2, p3, p4, p5, p6);
    return {f.begin(), f.end()};
}

Bytes send(DeviceModel& model, const Bytes& bytes)
{
    return model.receive(bytes);
}

// A model whose every byte is 0xEE, so zeros in a reply cannot come from memory.
DeviceModel filledModel()
{
    DeviceModel model = DeviceModel::blank();
    model.loadMemory(Bytes(kMemorySize, 0xEE));
    return model;
}

TEST(DeviceModel, TenByteCommandsAnswerWithTheirCommandAndStatus)
{
    DeviceModel model;
    const Bytes before(model.memory().begin(), model.memory().end());
    const Bytes probe = send(model, frame(Cmd::Probe));
    ASSERT_EQ(probe.size(), 10u);
    EXPECT_EQ(probe[0], 0xF0);
    EXPECT_EQ(probe[3], 0x9C); // the device id
    EXPECT_EQ(probe[7], DeviceModel::Done);
    EXPECT_EQ(probe[9], 0xF7);
    const Bytes notice = send(model, frame(Cmd::ExitNotice));
    ASSERT_EQ(notice.size(), 10u);
    EXPECT_EQ(notice[2], Cmd::ExitNotice);
    const Bytes unknown = send(model, frame(0x55, 1, 2, 3, 4, 5, 6));
    ASSERT_EQ(unknown.size(), 10u);
    EXPECT_EQ(unknown[2], 0x55);
    EXPECT_EQ(unknown[7], DeviceModel::UnknownCommand);
    EXPECT_EQ(Bytes(model.memory().begin(), model.memory().end()), before);
}

TEST(DeviceModel, ByteReadsAndWritesTakeTheAddressFromP1P2)
{
    DeviceModel model = DeviceModel::blank();
    int writes = 0;
    model.onMemoryWritten = [&] { ++writes; };
    model.poke(0x1843, 0xAB);
    model.poke(0x4318, 0x11);
    const Bytes reply = send(model, frame(Cmd::ReadByte, 0x18, 0x43));
    ASSERT_EQ(reply.size(), 10u);
    EXPECT_EQ(reply[6], 0xAB);
    EXPECT_EQ(reply[4], 0x18);
    EXPECT_EQ(reply[5], 0x43);
    // The value is p4; arguments may look like frame markers.
    EXPECT_EQ(send(model, frame(Cmd::WriteByte, 0x20, 0x07, 0x33, 0x5A, 0x44, 0x66)).size(), 10u);
    EXPECT_EQ(model.peek(0x2007), 0x5A);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(send(model, frame(Cmd::WriteByte, 0xF0, 0x9C, 0xF7, 0xF0)).size(), 10u);
    EXPECT_EQ(send(model, frame(Cmd::ReadByte, 0xF0, 0x9C))[6], 0xF0);
    EXPECT_EQ(writes, 2); // reads write nothing
}

TEST(DeviceModel, BlockReadAnswersLiveColumnsAndOnlySelectSelects)
{
    DeviceModel model = DeviceModel::blank();
    for (int c = 0; c < 32; ++c) {
        model.poke(Addr::live(9, c), static_cast<uint8_t>(0xC0 + c));
        model.poke(Addr::live(14, c), static_cast<uint8_t>(255 - c));
    }
    const Bytes block = send(model, frame(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 9));
    ASSERT_EQ(block.size(), 32u);
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(block[c], 0xC0 + c) << "column " << c;
    EXPECT_EQ(model.currentEffect(), 0);

    int writes = 0;
    model.onMemoryWritten = [&] { ++writes; };
    const Bytes selected = send(model, frame(Cmd::SelectEffect, 0, 0, 0, 0, 0, 14));
    ASSERT_EQ(selected.size(), 32u);
    EXPECT_EQ(selected.front(), 255);
    EXPECT_EQ(selected.back(), 255 - 31);
    EXPECT_EQ(model.currentEffect(), 14);
    EXPECT_EQ(model.peek(Addr::CurrentEffect), 14);
    EXPECT_EQ(writes, 1);
}

TEST(DeviceModel, SetParameterWritesTheLiveColumnOfTheCurrentEffectByte)
{
    DeviceModel model = filledModel();
    send(model, frame(Cmd::SelectEffect, 0, 0, 0, 0, 0, 3));
    int writes = 0;
    model.onMemoryWritten = [&] { ++writes; };
    EXPECT_EQ(send(model, frame(Cmd::SetParameter, 12, 0, 0, 0, 0, 55)).size(), 10u);
    EXPECT_EQ(model.peek(Addr::live(3, 12)), 55);
    EXPECT_EQ(model.peek(Addr::live(0, 12)), 0xEE);
    EXPECT_EQ(writes, 1);
    model.poke(Addr::CurrentEffect, 15);
    send(model, frame(Cmd::SetParameter, 31, 0, 0, 0, 0, 7));
    EXPECT_EQ(model.peek(Addr::live(15, 31)), 7);

    // Beyond the row, or with no such effect, nothing is written.
    model.poke(Addr::CurrentEffect, 2);
    const Bytes reply = send(model, frame(Cmd::SetParameter, 32, 0, 0, 0, 0, 9));
    ASSERT_EQ(reply.size(), 10u);
    EXPECT_EQ(reply[7], DeviceModel::BadArgument);
    EXPECT_EQ(model.peek(Addr::live(3, 0)), 0xEE);
    model.poke(Addr::CurrentEffect, 200);
    EXPECT_EQ(send(model, frame(Cmd::SetParameter, 0, 0, 0, 0, 0, 9))[7], DeviceModel::BadArgument);
    EXPECT_EQ(model.peek(Addr::live(200, 0)), 0xEE);
}

TEST(DeviceModel, SwitchIsSetByP6AndReadInByteSix)
{
    DeviceModel model;
    EXPECT_EQ(model.effectSwitch(), 1);
    send(model, frame(Cmd::SetSwitch, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(model.effectSwitch(), 0);
    EXPECT_EQ(send(model, frame(Cmd::ReadSwitch))[6], 0);
    send(model, frame(Cmd::SetSwitch, 0, 0, 0, 0, 0, 1));
    EXPECT_EQ(send(model, frame(Cmd::ReadSwitch))[6], 1);
    EXPECT_EQ(send(model, frame(Cmd::SetSwitch, 0, 0, 0, 0, 0, 2))[7], DeviceModel::BadArgument);
    EXPECT_EQ(model.effectSwitch(), 1);
}

TEST(DeviceModel, ReadNameAnswersTheEightCharactersOfEffectP5SlotP6)
{
    DeviceModel model = DeviceModel::blank();
    const std::string name = "ABCDEFGH";
    for (int k = 0; k < 8; ++k)
        model.poke(Addr::name(4, 6, k), static_cast<uint8_t>(name[k]));
    const Bytes reply = send(model, frame(Cmd::ReadName, 0, 0, 0, 0, 4, 6));
    EXPECT_EQ(std::string(reply.begin(), reply.end()), name);
}

TEST(DeviceModel, EffectOrSlotOutOfRangeReadsAndWritesNothing)
{
    DeviceModel model = filledModel();
    model.poke(Addr::CurrentEffect, 1);
    const Bytes before(model.memory().begin(), model.memory().end());
    EXPECT_EQ(send(model, frame(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 16)), Bytes(32, 0));
    EXPECT_EQ(send(model, frame(Cmd::SelectEffect, 0, 0, 0, 0, 0, 255)), Bytes(32, 0));
    EXPECT_EQ(send(model, frame(Cmd::ReadName, 0, 0, 0, 0, 16, 0)), Bytes(8, 0));
    EXPECT_EQ(send(model, frame(Cmd::ReadName, 0, 0, 0, 0, 0, 8)), Bytes(8, 0));
    EXPECT_EQ(Bytes(model.memory().begin(), model.memory().end()), before);
}

Bytes joined(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(DeviceModel, FramesAreFoundInTheByteStream)
{
    DeviceModel model = DeviceModel::blank();
    model.poke(0x0102, 0x77);
    model.poke(Addr::name(0, 0, 0), 'Q');
    // Split over several calls: answered when complete.
    const Bytes f = frame(Cmd::ReadByte, 0x01, 0x02);
    EXPECT_TRUE(model.receive(std::span(f).subspan(0, 1)).empty());
    EXPECT_TRUE(model.receive(std::span(f).subspan(1, 6)).empty());
    const Bytes reply = model.receive(std::span(f).subspan(7));
    ASSERT_EQ(reply.size(), 10u);
    EXPECT_EQ(reply[6], 0x77);
    // Two in one call: both replies in order.
    const Bytes both = model.receive(joined({frame(Cmd::ReadName, 0, 0, 0, 0, 0, 0), frame(Cmd::Probe)}));
    ASSERT_EQ(both.size(), 18u);
    EXPECT_EQ(both[0], 'Q');
    EXPECT_EQ(both[8 + 3], 0x9C);
    // Stray bytes, and a truncated frame, give way to the frame after them.
    const Bytes afterStray = model.receive(joined({{0x00, 0xF7, 0x9C, 0xF0, 0x12, 0xFF}, frame(Cmd::Probe)}));
    ASSERT_EQ(afterStray.size(), 10u);
    EXPECT_EQ(afterStray[2], Cmd::Probe);
    const Bytes afterCut = model.receive(joined({{0xF0, 0x9C, 0x11, 0x00}, f}));
    ASSERT_EQ(afterCut.size(), 10u);
    EXPECT_EQ(afterCut[2], Cmd::ReadByte);
    EXPECT_EQ(afterCut[6], 0x77);
    // A frame with the wrong end byte is not executed.
    Bytes bad = frame(Cmd::WriteByte, 0x30, 0x00, 0, 0x99);
    bad.back() = 0xF6;
    EXPECT_TRUE(model.receive(bad).empty());
    EXPECT_EQ(model.peek(0x3000), 0);
    EXPECT_EQ(model.receive(frame(Cmd::Probe)).size(), 10u);
}

TEST(DeviceModel, RandomNoiseNeverThrowsAndAProbeAfterItIsAnswered)
{
    DeviceModel model;
    std::mt19937 noise(5173);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes input;
    for (int i = 0; i < 200000; ++i) {
        // Frame markers are common in the noise so that many candidates form.
        const int r = byte(noise);
        input.push_back(static_cast<uint8_t>(r < 24 ? 0xF0 : r < 48 ? 0x9C : r < 64 ? 0xF7 : byte(noise)));
    }
    for (std::size_t at = 0; at < input.size(); at += 997) {
        const std::size_t n = std::min<std::size_t>(997, input.size() - at);
        EXPECT_NO_THROW(model.receive(std::span(input).subspan(at, n)));
    }
    const Bytes reply = model.receive(frame(Cmd::Probe));
    ASSERT_EQ(reply.size(), 10u);
    EXPECT_EQ(reply[3], 0x9C);
}

TEST(DeviceModel, LoadMemoryTakesOnlyAFullImage)
{
    DeviceModel model = DeviceModel::blank();
    EXPECT_THROW(model.loadMemory(Bytes(kMemorySize - 1, 1)), std::invalid_argument);
    EXPECT_THROW(model.loadMemory(Bytes(kMemorySize + 1, 1)), std::invalid_argument);
    EXPECT_EQ(model.peek(0), 0);
    Bytes image(kMemorySize, 0);
    image[0xFFFF] = 0x3C;
    image[Addr::CurrentEffect] = 11;
    model.loadMemory(image);
    EXPECT_EQ(model.peek(0xFFFF), 0x3C);
    EXPECT_EQ(model.currentEffect(), 11);
}

} // namespace
} // namespace qrv::test
