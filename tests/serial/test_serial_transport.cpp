#include "EmulatorProcess.hpp"
#include "FakeHost.hpp"
#include "TempFolder.hpp"

#include "app/PortWatch.hpp"
#include "app/StartUp.hpp"
#include "link/DeviceLink.hpp"
#include "link/PortTable.hpp"
#include "link/SerialTransport.hpp"

#include <QCoreApplication>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace qrv::test {
namespace {

using Bytes = std::vector<uint8_t>;

const Frame kProbe = makeFrame(Cmd::Probe, 0, 0, 0, 0, 0, 0);

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "serial_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// Waits until n bytes are in, or the time is up.
bool awaitBytes(SerialTransport& port, std::size_t n, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (port.bytesAvailable() < n) {
        const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        port.waitForData(left);
    }
    return true;
}

template <class Operation> void expectUnavailable(Operation operation)
{
    try {
        operation();
        ADD_FAILURE() << "no port error";
    } catch (const PortError& error) {
        EXPECT_EQ(error.kind(), PortErrorKind::Unavailable) << error.what();
    }
}

class SerialOverPty : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensureApplication(); }

    void start(std::vector<std::string> arguments)
    {
        if (port.isOpen())
            port.close();
        emulator.reset();
        emulator = std::make_unique<EmulatorProcess>(QRV_EMULATOR_PATH, std::move(arguments));
        port.open(emulator->slavePath());
        state.LinkUp = true;
    }

    SerialTransport port;
    std::unique_ptr<EmulatorProcess> emulator;
    ProgramState state;
    SteadyClock clock;
    FakeHost host;
    DeviceLink link{state, port, clock, host};
};

// The emulator's faults are its own tests'; over the pty what matters is that every byte
// value passes both ways, flow-control and line-editing characters included.
TEST_F(SerialOverPty, EveryByteValuePassesBothWaysInValueAndBlockReplies)
{
    start({"--fast"});
    const auto address = [](int v) { return static_cast<uint16_t>(v << 8 | (255 - v)); };
    for (int v = 0; v < 256; ++v)
        link.writeByte(address(v), static_cast<uint8_t>(v));
    for (int v = 0; v < 256; ++v)
        ASSERT_EQ(link.readByte(address(v)), v) << "value " << v;
    for (int c = 0; c < 32; ++c)
        link.writeByte(Addr::live(15, c), static_cast<uint8_t>(0xE0 + c));
    link.ArmPort(32);
    ASSERT_TRUE(link.ReadBlock32(Cmd::ReadEffectBlock, 0, 0, 0, 0, 0, 15));
    for (int c = 0; c < 32; ++c)
        EXPECT_EQ(state.replyBuffer[c], 0xE0 + c) << "column " << c;
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(SerialOverPty, ReadTakesNoMoreThanTheReadLengthAndClearInputDiscardsTheRest)
{
    start({"--fast"});
    port.write(kProbe);
    ASSERT_TRUE(awaitBytes(port, 10, 5.0));
    port.setReadLength(4);
    EXPECT_EQ(port.read(100).size(), 4u);
    port.setReadLength(10);
    EXPECT_EQ(port.read(3).size(), 3u);
    const Bytes rest = port.read(10);
    ASSERT_EQ(rest.size(), 3u);
    EXPECT_EQ(rest.back(), 0xF7);
    port.write(kProbe);
    ASSERT_TRUE(awaitBytes(port, 10, 5.0));
    port.clearInput();
    EXPECT_EQ(port.bytesAvailable(), 0u);
}

TEST_F(SerialOverPty, MemoryFileSurvivesARestart)
{
    TempFolder folder;
    const auto file = folder.path / "unit.bin";
    start({"--fast", "--memory", file.string()});
    link.writeByte(0x1234, 0xA5);
    link.ArmPort(32);
    ASSERT_TRUE(link.ReadBlock32(Cmd::SelectEffect, 0, 0, 0, 0, 0, 7));
    link.ArmPort(10);
    EXPECT_EQ(emulator->stop(), 0);
    ASSERT_EQ(std::filesystem::file_size(file), 65536u);

    start({"--fast", "--memory", file.string()});
    EXPECT_EQ(link.readByte(0x1234), 0xA5);
    EXPECT_EQ(link.readByte(Addr::CurrentEffect), 7);
}

TEST_F(SerialOverPty, HangupMakesThePortUnavailableAndACommandStartsTheDeviceSearch)
{
    start({"--fast", "--hangup-after", "1"});
    int searches = 0;
    link.setDeviceSearch([&] {
        ++searches;
        return false;
    });
    int losses = 0;
    port.setLossObserver([&] { ++losses; });
    ASSERT_TRUE(link.ProbeDevice());
    ASSERT_EQ(emulator->waitForExit(5.0), 0);
    // Idle, the window's event loop notices the hang-up on its own.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (losses == 0 && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GE(losses, 1);
    EXPECT_TRUE(port.lost());
    expectUnavailable([&] {
        port.write(kProbe);
        port.waitForData(1.0);
        port.bytesAvailable();
    });
    link.SendCommand(Cmd::ReadByte, 0x00, 0x13);
    EXPECT_EQ(searches, 1);
    EXPECT_FALSE(state.LinkUp);
    EXPECT_TRUE(host.boxes.empty());
}

// Runs the event loop until the condition holds or a generous time has passed.
template <class Condition> bool eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return condition();
}

TEST(PlugAndPlayOverPty, TheUnitUnpluggedAndPluggedInAgainGetsTheEditMadeMeanwhile)
{
    ensureApplication();
    TempFolder folder;
    const auto linkPath = folder.path / "qrv5173";
    const auto linked = [&] { return std::filesystem::is_symlink(std::filesystem::symlink_status(linkPath)); };
    EmulatorProcess emulator(QRV_EMULATOR_PATH, {"--fast", "--link", linkPath.string()});
    ASSERT_TRUE(linked());
    SerialTransport port;
    SteadyClock clock;
    FakeHost host;
    PortTable table({linkPath.string()}, false);
    Program program(port, clock, host, [&](int n) { return table.deviceName(n); });
    PortWatch watch(program);
    bool lost = false;
    port.setLossObserver([&] { lost = true; });
    splashLoad(program);
    program.state.programFolder = folder.path;
    splashTimer(program, {});
    ASSERT_FALSE(program.state.DemoMode);
    watch.portsNow(table.present());

    emulator.signal(SIGUSR1);
    ASSERT_TRUE(eventually([&] { return lost && !linked(); }));
    watch.portsNow(table.present());
    EXPECT_TRUE(program.state.awaitingUnit);
    const int e = program.state.currentEffect;
    const uint8_t value = program.state.store.at(e, 2) == 1 ? 2 : 1;
    program.editor.storeAndSend(2, value);

    emulator.signal(SIGUSR2);
    ASSERT_TRUE(eventually(linked));
    watch.portsNow(table.present());
    EXPECT_FALSE(program.state.awaitingUnit);
    EXPECT_EQ(program.state.lastOutcome, "Reconnected – 1 unsent edit sent");
    EXPECT_EQ(program.link.tryReadByte(Addr::live(e, 2)), value);
    EXPECT_TRUE(host.boxes.empty());
    port.close();
    EXPECT_EQ(emulator.stop(), 0);
    EXPECT_FALSE(linked());
}

TEST_F(SerialOverPty, SecondOpenOfTheSamePortIsUnavailable)
{
    start({"--fast"});
    SerialTransport second;
    expectUnavailable([&] { second.open(emulator->slavePath()); });
    try {
        second.open(emulator->slavePath());
    } catch (const PortError& error) {
        EXPECT_EQ(error.advice(), emulator->slavePath() + " is in use by another program: close it and try again");
    }
    EXPECT_TRUE(link.ProbeDevice());
}

// A bare pseudo-terminal whose master end the test holds, to hang up at a chosen moment.
struct BarePty {
    int master = -1;
    std::string slave;
    BarePty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        slave = ptsname(master);
    }
    ~BarePty() { hangUp(); }
    void hangUp()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
};

TEST(SerialTransport, ReplyReceivedBeforeAHangupIsStillHandedOut)
{
    ensureApplication();
    BarePty pty;
    SerialTransport port;
    port.open(pty.slave);
    const Bytes reply{0xF0, 0x9C, 0x00, 0x9C, 0, 0, 0x42, 0, 0, 0xF7};
    ASSERT_EQ(::write(pty.master, reply.data(), reply.size()), 10);
    ASSERT_TRUE(awaitBytes(port, 10, 5.0));
    pty.hangUp();
    EXPECT_EQ(port.bytesAvailable(), 10u);
    EXPECT_EQ(port.read(10), reply);
    expectUnavailable([&] { port.bytesAvailable(); });
}

TEST(SerialTransport, HangupWithAPartReplyFailsTheWaitAtOnce)
{
    ensureApplication();
    BarePty pty;
    SerialTransport port;
    port.open(pty.slave);
    const Bytes part{0xF0, 0x9C, 0x00};
    ASSERT_EQ(::write(pty.master, part.data(), part.size()), 3);
    ASSERT_TRUE(awaitBytes(port, 3, 5.0));
    pty.hangUp();
    EXPECT_EQ(port.bytesAvailable(), 3u);
    expectUnavailable([&] { port.waitForData(60.0); });
}

TEST(SerialTransport, MissingDeviceAndClosedPortAreUnavailable)
{
    ensureApplication();
    SerialTransport port;
    expectUnavailable([&] { port.open("/tmp/qrv-no-such-port"); });
    EXPECT_FALSE(port.isOpen());
    expectUnavailable([&] { port.write(kProbe); });
    expectUnavailable([&] { port.bytesAvailable(); });
    expectUnavailable([&] { port.waitForData(0.01); });
}

TEST(EmulatorProcess, BadCommandLineOrMemoryFileIsReportedWithItsStatus)
{
    TempFolder folder;
    const auto file = folder.path / "short.bin";
    std::ofstream(file, std::ios::binary) << "not an image";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--no-such-option"}, {"--fast", "--memory", file.string()}}) {
        try {
            EmulatorProcess emulator(QRV_EMULATOR_PATH, arguments);
            ADD_FAILURE() << "started with " << arguments.back();
        } catch (const EmulatorStartError& error) {
            EXPECT_EQ(error.exitStatus, 2);
        }
    }
    EXPECT_EQ(std::filesystem::file_size(file), 12u); // a bad image is left as it was
}

} // namespace
} // namespace qrv::test
