#pragma once

#include "FakeHost.hpp"

#include "app/Program.hpp"
#include "emulator/DeviceModel.hpp"
#include "link/LoopbackTransport.hpp"

#include <utility>
#include <vector>

namespace qrv::test {

// A whole editor talking to the in-process emulator, with a manual clock and a
// scripted host. Sending is on, as after a connected start-up.
struct EditorRig {
    ManualClock clock;
    FakeHost host;
    DeviceModel device;
    LoopbackTransport port{[this](std::span<const uint8_t> bytes) { return device.receive(bytes); }, &clock};
    Program program{port, clock, host};
    ProgramState& state = program.state;
    FrmMain& form = program.form;
    Editor& editor = program.editor;

    EditorRig()
    {
        state.LinkUp = true;
        port.open("loopback");
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

    // Selects the effect as the user does, then forgets the frames that took.
    void select(int effect)
    {
        form.Combo1.index = effect;
        editor.effectListClick();
        port.clearLog();
    }

    uint8_t live(int effect, int column) const { return device.peek(Addr::live(effect, column)); }
    uint8_t stored(int column) const { return state.store.at(state.currentEffect, column); }
};

} // namespace qrv::test
