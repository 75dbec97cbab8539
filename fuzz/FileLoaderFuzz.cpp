// Feeds arbitrary bytes as a preset file and as a project file through the real loaders,
// against the in-process device, and checks that a file is applied whole or not at all.
#include "FakeHost.hpp"

#include "app/Program.hpp"
#include "emulator/DeviceModel.hpp"
#include "link/LoopbackTransport.hpp"
#include "storage/FileCodec.hpp"
#include "storage/PresetFiles.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace qrv;

const fs::path& folder()
{
    static const fs::path path = [] {
        fs::path p = fs::temp_directory_path() / ("qrv-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return path;
}

struct Rig {
    ManualClock clock;
    test::FakeHost host;
    DeviceModel device;
    LoopbackTransport port{[this](std::span<const uint8_t> bytes) { return device.receive(bytes); }, &clock};
    Program program{port, clock, host};

    explicit Rig(bool connected)
    {
        program.state.programFolder = folder();
        program.state.DemoMode = !connected;
        program.state.LinkUp = true;
        port.open("loopback");
        program.form.Combo1.index = 3;
        program.editor.effectListClick();
    }
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "file loader invariant broken: %s\n", what);
    std::abort();
}

// The row a page keeps of a stored row: its controls show the nearest value they can.
Row shownRow(int effect, std::span<const uint8_t, kRowSize> row)
{
    Rig oracle(false);
    oracle.program.state.store.setRow(effect, row);
    oracle.program.state.currentEffect = static_cast<int16_t>(effect);
    oracle.program.editor.RefreshPage();
    Row out;
    const auto kept = oracle.program.state.store.row(effect);
    std::copy(kept.begin(), kept.end(), out.begin());
    return out;
}

bool rowEquals(std::span<const uint8_t, kRowSize> a, std::span<const uint8_t> b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

void checkPreset(std::span<const uint8_t> bytes, const fs::path& file)
{
    Rig rig(true);
    ProgramState& state = rig.program.state;
    const ParameterTable store = state.store, start = state.startConfig;
    rig.host.choosePath(file);
    LoadPresetFile(rig.program.editor);
    if (bytes.size() != kPresetFileSize || bytes[32] >= kEffectCount) {
        if (!(state.store == store) || !(state.startConfig == start))
            fail("a refused preset changed the tables");
        return;
    }
    const int e = bytes[32];
    if (state.currentEffect != e)
        fail("the preset's effect is not current");
    for (int r = 0; r < kEffectCount; ++r) {
        if (r == e)
            continue;
        if (!rowEquals(state.store.row(r), store.row(r)) || !rowEquals(state.startConfig.row(r), start.row(r)))
            fail("a preset changed another effect's row");
    }
    if (!rowEquals(state.startConfig.row(e), bytes))
        fail("the start configuration does not hold the preset");
    const Row shown = shownRow(e, std::span<const uint8_t, kRowSize>(bytes.data(), kRowSize));
    if (!rowEquals(state.store.row(e), shown))
        fail("the store does not hold the preset as its page shows it");
}

void checkProject(std::span<const uint8_t> bytes, const fs::path& file)
{
    Rig rig(true);
    ProgramState& state = rig.program.state;
    const ParameterTable store = state.store, start = state.startConfig;
    rig.host.choosePath(file);
    LoadProjectFile(rig.program.editor);
    if (bytes.size() != kProjectFileSize) {
        if (!(state.store == store) || !(state.startConfig == start))
            fail("a refused project changed the tables");
        return;
    }
    // Effect 0 ends shown and sent again: its page keeps what its controls can show.
    const Row shown0 = shownRow(0, bytes.first<kRowSize>());
    for (int e = 0; e < kEffectCount; ++e) {
        const auto record = bytes.subspan(static_cast<std::size_t>(e) * kRowSize, kRowSize);
        const std::span<const uint8_t> kept = e == 0 ? std::span<const uint8_t>(shown0) : record;
        if (!rowEquals(state.startConfig.row(e), record))
            fail("the start configuration does not hold the project");
        if (!rowEquals(state.store.row(e), kept))
            fail("the store does not hold the project");
        for (int c = 0; c < kDeviceColumns; ++c)
            if (rig.device.peek(Addr::live(e, c)) != kept[static_cast<std::size_t>(c)])
                fail("the device does not hold the project");
    }
    if (state.currentEffect != 0)
        fail("a project did not end on effect 0");
    if (rig.program.form.caption != kEditorCaption || rig.program.form.ProgressBar1.visible)
        fail("the window was not restored");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const fs::path file = folder() / "input";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    checkPreset(bytes, file);
    checkProject(bytes, file);
    return 0;
}
