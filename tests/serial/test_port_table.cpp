#include "link/PortTable.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qrv::test {
namespace {

using Names = std::vector<std::string>;

TEST(PortTable, PortListSplitsOnColonsAndSkipsEmptyEntries)
{
    EXPECT_EQ(splitPortList("/dev/a:/tmp/b::c:"), (Names{"/dev/a", "/tmp/b", "c"}));
    EXPECT_TRUE(splitPortList("").empty());
    EXPECT_TRUE(splitPortList(":::").empty());
}

TEST(PortTable, ExplicitPathsComeFirstThenUsbThenOthersNumericallyAtMostThirtyFive)
{
    EXPECT_EQ(orderPorts({"/tmp/z", "/tmp/a"}, {{"/dev/ttyS0", false}, {"/dev/ttyUSB0", true}}),
              (Names{"/tmp/z", "/tmp/a", "/dev/ttyUSB0", "/dev/ttyS0"}));
    EXPECT_EQ(orderPorts({},
                         {{"/dev/ttyS10", false},
                          {"/dev/ttyS2", false},
                          {"/dev/ttyUSB1", true},
                          {"/dev/ttyACM0", true},
                          {"/dev/ttyUSB0", true}}),
              (Names{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyS2", "/dev/ttyS10"}));
    // A port named twice keeps its first place.
    EXPECT_EQ(orderPorts({"/dev/ttyUSB3", "/tmp/p", "/tmp/p"}, {{"/dev/ttyUSB0", true}, {"/dev/ttyUSB3", true}}),
              (Names{"/dev/ttyUSB3", "/tmp/p", "/dev/ttyUSB0"}));
    Names many;
    for (int i = 0; i < 40; ++i)
        many.push_back("/tmp/port" + std::to_string(i));
    const Names names = orderPorts(many, {{"/dev/ttyUSB0", true}});
    ASSERT_EQ(names.size(), 35u);
    EXPECT_EQ(names.back(), "/tmp/port34");
}

#ifndef _WIN32
TEST(PortTable, NumbersStartAtOneAndUnmappedNumbersHaveNoDevice)
{
    const PortTable table({"/tmp/first", "/tmp/second"}, false);
    EXPECT_EQ(table.size(), 2);
    EXPECT_EQ(table.deviceName(1), "/tmp/first");
    EXPECT_EQ(table.deviceName(2), "/tmp/second");
    EXPECT_EQ(table.deviceName(3), std::nullopt);
    EXPECT_EQ(table.deviceName(0), std::nullopt);
    EXPECT_EQ(table.deviceName(-1), std::nullopt);
    EXPECT_EQ(table.deviceName(36), std::nullopt);
}

TEST(PortTable, EnvironmentPathsFollowCommandLinePaths)
{
    ::setenv("QRV5173_PORTS", "/tmp/env1:/tmp/env2", 1);
    const PortTable table = PortTable::fromEnvironment({"/tmp/cli"}, false);
    ::unsetenv("QRV5173_PORTS");
    EXPECT_EQ(table.size(), 3);
    EXPECT_EQ(table.deviceName(1), "/tmp/cli");
    EXPECT_EQ(table.deviceName(2), "/tmp/env1");
    EXPECT_EQ(table.deviceName(3), "/tmp/env2");
}

TEST(PortTable, SystemPortsFollowExplicitOnes)
{
    const PortTable table({"/tmp/mine"}, true);
    EXPECT_EQ(table.deviceName(1), "/tmp/mine");
    EXPECT_LE(table.size(), 35);
    for (int n = 2; n <= table.size(); ++n)
        EXPECT_NE(table.deviceName(n), "/tmp/mine");
}
#else
TEST(PortTable, WindowsNumbersAreComPorts)
{
    const PortTable table({"/tmp/ignored"});
    EXPECT_EQ(table.size(), 35);
    EXPECT_EQ(table.deviceName(1), "COM1");
    EXPECT_EQ(table.deviceName(35), "COM35");
}
#endif

} // namespace
} // namespace qrv::test
