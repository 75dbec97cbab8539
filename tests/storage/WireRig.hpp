#pragma once

#include "FakeHost.hpp"

#include "app/Program.hpp"
#include "emulator/DeviceModel.hpp"
#include "link/LoopbackTransport.hpp"

#include <filesystem>
#include <functional>
#include <vector>

namespace qrv::test {

// A connected editor on the in-process emulator whose wire can be pulled: the cable
// goes after a chosen number of frames, and the device search plugs it back in.
struct WireRig {
    ManualClock clock;
    FakeHost host;
    DeviceModel device;
    int framesUntilUnplug = -1;  // counted down per frame written; the cable goes with the last
    LoopbackTransport port{[this](std::span<const uint8_t> bytes) { return deliver(bytes); }, &clock};
    Program program{port, clock, host};
    ProgramState& state = program.state;
    FrmMain& form = program.form;
    Editor& editor = program.editor;
    DeviceLink& link = program.link;
    int searches = 0;

    WireRig()
    {
        state.LinkUp = true;
        port.open("loopback");
    }

    // After n more frames the cable is pulled; the search finds the device when `comesBack`.
    void unplugAfter(int n, bool comesBack)
    {
        framesUntilUnplug = n;
        link.setDeviceSearch([this, comesBack] {
            ++searches;
            if (!comesBack)
                return false;
            port.plugIn();
            port.open("loopback");
            port.clearInput();  // a reopened port starts empty
            state.LinkUp = true;
            return true;
        });
    }

    void select(int effect)
    {
        form.Combo1.index = effect;
        editor.effectListClick();
        port.clearLog();
    }

    std::vector<std::vector<uint8_t>> frames(uint8_t command) const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& sent : port.sent())
            if (sent.bytes.size() == 10 && sent.bytes[2] == command)
                out.push_back(sent.bytes);
        return out;
    }

    // (address, value) of every one-byte write, in order.
    std::vector<std::pair<int, int>> memoryWrites() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto& f : frames(Cmd::WriteByte))
            out.emplace_back(f[3] << 8 | f[4], f[6]);
        return out;
    }

    std::vector<int> memoryReads() const
    {
        std::vector<int> out;
        for (const auto& f : frames(Cmd::ReadByte))
            out.push_back(f[3] << 8 | f[4]);
        return out;
    }

private:
    std::vector<uint8_t> deliver(std::span<const uint8_t> bytes)
    {
        if (framesUntilUnplug > 0 && --framesUntilUnplug == 0) {
            port.unplug();  // this frame never reaches the device
            return {};
        }
        return device.receive(bytes);
    }
};

// A fresh program folder per test, removed afterwards.
struct TempFolder {
    std::filesystem::path path;
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
};

std::vector<uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace qrv::test
