#pragma once

#include "FakeHost.hpp"

#include "app/Program.hpp"
#include "emulator/DeviceModel.hpp"
#include "link/LoopbackTransport.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace qrv::test {

// What sits behind a port name of the loopback port.
enum class Far { Device, Silent, Garbage };

// A whole program before start-up, its ports named by number through a table: numbers
// missing from `names` have no device, names missing from `far` cannot be opened.
struct StartUpRig {
    ManualClock clock;
    FakeHost host;
    DeviceModel device;
    std::map<int, std::string> names;
    std::map<std::string, Far> far;
    std::vector<int> resolved; // every number asked for, in order
    LoopbackTransport port{[this](std::span<const uint8_t> bytes) { return answer(bytes); }, &clock};
    Program program{port, clock, host, [this](int n) { return resolve(n); }};
    ProgramState& state = program.state;
    FrmMain& form = program.form;

    explicit StartUpRig(bool exactOrder = true)
    {
        state.exactOrder = exactOrder;
        port.setOpenable([this](const std::string& name) { return far.count(name) > 0; });
    }

    // Ports 1 to 6 lead nowhere, to a name that cannot be opened, or to a silent port;
    // the device answers on 7.
    void deviceOnPortSeven()
    {
        names = {{2, "/dev/missing2"}, {3, "silent3"}, {4, "/dev/missing4"}, {5, "silent5"}, {7, "qrv"}};
        far = {{"silent3", Far::Silent}, {"silent5", Far::Silent}, {"qrv", Far::Device}};
    }

    std::optional<std::string> resolve(int number)
    {
        resolved.push_back(number);
        const auto it = names.find(number);
        if (it == names.end())
            return std::nullopt;
        return it->second;
    }

    std::vector<uint8_t> answer(std::span<const uint8_t> bytes)
    {
        const auto it = far.find(port.portName());
        if (it == far.end() || it->second == Far::Silent)
            return {};
        if (onFrame)
            onFrame();
        auto reply = device.receive(bytes);
        if (damage)
            damage(bytes, reply);
        if (it->second == Far::Garbage)
            for (auto& b : reply)
                b = static_cast<uint8_t>(~b);
        return reply;
    }

    // Runs before the device answers each frame.
    std::function<void()> onFrame;
    // May change a reply the way a damaged line would, passing every check the link makes.
    std::function<void(std::span<const uint8_t> request, std::vector<uint8_t>& reply)> damage;

    std::size_t framesWith(uint8_t command) const
    {
        return static_cast<std::size_t>(std::count_if(port.sent().begin(), port.sent().end(),
                                                      [&](const auto& sent) { return sent.bytes.at(2) == command; }));
    }

    // The frames written, without the probes.
    std::vector<LoopbackTransport::Sent> exchanges() const
    {
        std::vector<LoopbackTransport::Sent> out;
        for (const auto& sent : port.sent())
            if (sent.bytes.at(2) != Cmd::Probe)
                out.push_back(sent);
        return out;
    }
};

// Runs the test body in a fresh temporary working directory and goes back afterwards.
class TemporaryWorkingDirectory {
public:
    TemporaryWorkingDirectory()
        : previous_(std::filesystem::current_path()),
          path_(std::filesystem::temp_directory_path() /
                ("qrv-startup-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        std::filesystem::current_path(path_);
    }
    ~TemporaryWorkingDirectory()
    {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(path_);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

inline std::vector<uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace qrv::test
