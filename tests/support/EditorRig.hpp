#pragma once

#include "FakeHost.hpp"

#include "app/Program.hpp"
#include "emulator/DeviceModel.hpp"
#include "link/LoopbackTransport.hpp"

#include <utility>
#include <vector>

namespace qrv::test {

// A whole editor talking to the in-process emulator, with a manual clock and a
// scripted host. Sending is on, as after a connected start-up. The cable can be pulled
// after a chosen number of frames, and the device search can plug it back in.
struct EditorRig {
    ManualClock clock;
    FakeHost host;
    DeviceModel device;
    int framesUntilUnplug = -1; // counted down per frame written; the cable goes with the last
    LoopbackTransport port{[this](std::span<const uint8_t> bytes) { return deliver(bytes); }, &clock};
    Program program{port, clock, host};
    ProgramState& state = program.state;
    FrmMain& form = program.form;
    Editor& editor = program.editor;
    DeviceLink& link = program.link;
    int searches = 0;

    // The byte-by-byte order the exchange tests spell out; the block reads and skipped writes
    // have their own tests, which run both ways.
    explicit EditorRig(bool exactOrder = true)
    {
        state.exactOrder = exactOrder;
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
            port.clearInput(); // a reopened port starts empty
            state.LinkUp = true;
            return true;
        });
    }

    // The editor's record of the unit's presets: every slot empty, slot 1 last used.
    void emptyDirectory()
    {
        state.presetSlotNumbers.fill("0");
        for (auto& slots : state.presetDirectory)
            slots.fill("0");
        for (auto& slots : state.presetNames)
            slots.fill(" Empty  ");
    }

    // Selects the effect as the user does, then forgets the frames that took.
    void select(int effect)
    {
        form.Combo1.index = effect;
        editor.effectListClick();
        port.clearLog();
    }

    // The frames written with the given command, in order.
    std::vector<std::vector<uint8_t>> frames(uint8_t command) const
    {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& sent : port.sent())
            if (sent.bytes.size() == 10 && sent.bytes[2] == command)
                out.push_back(sent.bytes);
        return out;
    }

    // (column, value) of every parameter-set frame, in order.
    std::vector<std::pair<int, int>> parameterWrites() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto& f : frames(Cmd::SetParameter))
            out.emplace_back(f[3], f[8]);
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

    // Addresses of every one-byte read, in order.
    std::vector<int> memoryReads() const
    {
        std::vector<int> out;
        for (const auto& f : frames(Cmd::ReadByte))
            out.push_back(f[3] << 8 | f[4]);
        return out;
    }

    uint8_t live(int effect, int column) const { return device.peek(Addr::live(effect, column)); }
    uint8_t stored(int column) const { return state.store.at(state.currentEffect, column); }

private:
    std::vector<uint8_t> deliver(std::span<const uint8_t> bytes)
    {
        if (framesUntilUnplug > 0 && --framesUntilUnplug == 0) {
            port.unplug(); // this frame never reaches the device
            return {};
        }
        return device.receive(bytes);
    }
};

} // namespace qrv::test
