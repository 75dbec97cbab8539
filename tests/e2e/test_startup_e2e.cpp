#include "E2eSupport.hpp"
#include "FakeHost.hpp"
#include "tests/startup/ExpectedDump.hpp"
#include "tests/startup/StartUpRig.hpp"

#include "app/StartUp.hpp"
#include "link/SerialTransport.hpp"
#include "state/CodePage.hpp"

#include <gtest/gtest.h>

#include <map>

namespace qrv::test {
namespace {

// The program on the real serial code, its port numbers named by a table.
struct PtyProgram {
    FakeHost host;
    SteadyClock clock;
    SerialTransport port;
    std::map<int, std::string> names;
    std::vector<int> resolved;
    Program program{port, clock, host, [this](int n) -> std::optional<std::string> {
                        resolved.push_back(n);
                        const auto it = names.find(n);
                        return it == names.end() ? std::nullopt : std::optional<std::string>(it->second);
                    }};

    // The exchanges are checked one by one in the byte-by-byte order.
    PtyProgram()
    {
        ensureApplication();
        program.state.exactOrder = true;
    }
    void startUp()
    {
        splashLoad(program);
        splashTimer(program, {});
    }
};

std::string missing(int n)
{
    return "/nonexistent/qrv5173-port-" + std::to_string(n);
}

TEST(EndToEnd, StartUpFindsTheDeviceOnPortSevenAndDumpsIt)
{
    TemporaryWorkingDirectory cwd;
    const auto folder = cwd.path();
    {
        std::ofstream old(folder / "init.cfg", std::ios::binary);
        old.write("\x01\x01\xAA\xBB", 4);
    }
    DeviceModel memory;
    memory.poke(Addr::CurrentEffect, 9);
    memory.poke(Addr::slotNumber(9), 1);
    memory.poke(Addr::directory(9, 1), Addr::SlotUsed);
    const Bytes name{'P', 'h', 0xE4, 's', 'e', 'r', ' ', '2'};
    for (int k = 0; k < 8; ++k)
        memory.poke(Addr::name(9, 1, k), name[static_cast<std::size_t>(k)]);
    const auto device = startEmulator(folder, "device", "device", memory);
    const auto silent = startEmulator(folder, "silent", "silent", DeviceModel::blank(), {"--silent"});

    PtyProgram rig;
    rig.names = {{1, missing(1)}, {2, missing(2)}, {3, silent->slavePath()}, {4, missing(4)},
                 {5, missing(5)}, {6, missing(6)}, {7, device->slavePath()}};
    rig.startUp();
    const ProgramState& s = rig.program.state;

    EXPECT_EQ(rig.resolved, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(s.PortNumber, 7);
    EXPECT_EQ(readFile(folder / "init.cfg"), (Bytes{7, 0, 0xAA, 0xBB}));
    EXPECT_TRUE(rig.host.boxes.empty());

    // The silent port saw one probe; the device a probe and then the whole dump in order.
    EXPECT_EQ(requests(folder / "silent.log"), (std::vector<Bytes>{frame(0x00)}));
    const auto taken = requests(folder / "device.log");
    const auto expected = expectedDump(memory);
    ASSERT_EQ(taken.size(), expected.size() + 1);
    EXPECT_EQ(taken[0], frame(0x00));
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(taken[i + 1], expected[i].bytes) << "exchange " << i;
    // What the dump made of it is the core's tests'; over the pty the Latin-1 name arrives whole.
    EXPECT_EQ(rig.program.form.Label2.caption, "2 - " + latin1ToUtf8("Ph\xE4ser 2"));
}

TEST(EndToEnd, HangUpDuringAParameterChangeDropsItAndEditingGoesOnAfterReconnect)
{
    TemporaryWorkingDirectory cwd;
    const auto folder = cwd.path();
    const auto link = folder / "qrv-link";
    DeviceModel memory;
    const std::size_t startUpFrames = 1 + expectedDump(memory).size();
    auto device = startEmulator(folder, "device", "first", memory,
                                {"--link", link.string(), "--hangup-after", std::to_string(startUpFrames + 2)});
    PtyProgram rig;
    rig.names = {{1, missing(1)}, {7, link.string()}};
    rig.startUp();
    ASSERT_EQ(rig.program.state.PortNumber, 7);
    Editor& editor = rig.program.editor;
    editor.storeAndSend(3, 11);
    editor.storeAndSend(3, 12);
    ASSERT_TRUE(device->waitForExit(30.0).has_value()) << "the emulator did not hang up";

    editor.storeAndSend(3, 13);
    // The port did not open again: the editor waits for the unit, without a box.
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_TRUE(rig.program.state.awaitingUnit);
    EXPECT_EQ(rig.program.state.store.at(0, 3), 13); // the store keeps the edit

    device = startEmulator(folder, "device", "second", memory, {"--link", link.string()});
    EXPECT_TRUE(rig.program.search.FindDevice()); // the "  ReConnect" button
    EXPECT_FALSE(rig.program.state.DemoMode);
    EXPECT_EQ(rig.program.state.PortNumber, 7);
    editor.storeAndSend(3, 14);
    device->stop();

    const auto first = requests(folder / "first.log");
    ASSERT_EQ(first.size(), startUpFrames + 2);
    EXPECT_EQ(first[first.size() - 2], frame(0x20, 3, 0, 0, 11));
    EXPECT_EQ(first.back(), frame(0x20, 3, 0, 0, 12));
    // The unit coming back is probed and checked with a few reads, then takes the edit.
    const auto second = requests(folder / "second.log");
    ASSERT_GE(second.size(), 3u);
    EXPECT_EQ(second.front(), frame(0x00));
    EXPECT_EQ(second.back(), frame(0x20, 3, 0, 0, 14));
    EXPECT_LE(second.size() - 2, 19u);
    for (std::size_t i = 1; i + 1 < second.size(); ++i)
        EXPECT_TRUE(second[i][2] == 0x10 || second[i][2] == 0x21 || second[i][2] == 0x1E || second[i][2] == 0x24) << i;
    EXPECT_FALSE(rig.program.state.unitChanged);
    const auto image = readMemoryFile(folder / "device.mem");
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->at(Addr::live(0, 3)), 14);
}

} // namespace
} // namespace qrv::test
