// Exporting all 128 slots of a unit whose every slot holds a preset, as the Unit Presets panel
// and `qrv5173-cli export` run it, against qrv5173-emu pacing at 4800 baud: the wall time
// against the wire time of the export's own exchanges.
#include "EmulatorProcess.hpp"
#include "FactoryImage.hpp"
#include "MemoryFile.hpp"

#include "app/Program.hpp"
#include "devmem/MemoryDump.hpp"
#include "devmem/UnitSlots.hpp"
#include "link/SerialTransport.hpp"

#include <QCoreApplication>

#include "BenchHost.hpp"
#include "BenchMain.hpp"
#include "FrameLog.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace qrv;
using bench::wireSoFar;

// Every slot stored, its name and data telling it apart.
std::vector<uint8_t> fullUnit()
{
    std::vector<uint8_t> memory = factoryImage();
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s) {
            memory[Addr::directory(e, s)] = Addr::SlotUsed;
            const std::string name = "E" + std::to_string(e) + " S" + std::to_string(s + 1);
            for (int k = 0; k < kNameLength; ++k)
                memory[Addr::name(e, s, k)] = static_cast<uint8_t>(k < static_cast<int>(name.size()) ? name[k] : ' ');
            for (int c = 0; c < kDeviceColumns; ++c)
                memory[Addr::stored(e, s, c)] = static_cast<uint8_t>(e + s + c);
        }
    return memory;
}

void BM_ExportWholeUnitPaced(benchmark::State& bench)
{
    const auto folder = std::filesystem::temp_directory_path() / ("qrv-export-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto log = folder / "frames.log";
    writeMemoryFile(folder / "unit.mem", fullUnit());
    std::vector<SlotRef> all;
    for (int e = 0; e < kEffectCount; ++e)
        for (int s = 0; s < kSlotCount; ++s)
            all.push_back({e, s});
    for (auto _ : bench) {
        test::EmulatorProcess emulator(QRV5173_EMULATOR,
                                       {"--memory", (folder / "unit.mem").string(), "--log", log.string()});
        bench::BenchHost host("export_bench");
        SerialTransport port;
        SteadyClock clock;
        Program program(port, clock, host, [&emulator](int n) -> std::optional<std::string> {
            return n == 1 ? std::optional<std::string>(emulator.slavePath()) : std::nullopt;
        });
        program.state.LinkUp = program.search.connectAtStartUp([] {});
        if (!program.state.LinkUp || !DumpDeviceMemory(program.editor, program.splash, UnitRead::First)) {
            bench.SkipWithError("no emulator answered");
            break;
        }
        // As in the panel, the directory and names are held before the export starts.
        std::vector<UnitItem> names;
        for (const SlotRef& at : all)
            names.push_back({UnitPart::Name, at.effect, at.slot});
        if (!program.editor.provide(names)) {
            bench.SkipWithError("the names could not be read");
            break;
        }
        const auto out = folder / "presets";
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        std::size_t before = 0, after = 0;
        const double wire0 = wireSoFar(log, before);
        const auto start = std::chrono::steady_clock::now();
        const UnitSlots::Exported exported = UnitSlots(program.editor).exportSlots(all, out);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double wire = wireSoFar(log, after) - wire0;
        emulator.stop();
        if (!exported.outcome.done() || exported.files.size() != all.size()) {
            bench.SkipWithError(("the export did not go through: " + exported.outcome.message).c_str());
            break;
        }
        bench.SetIterationTime(wall);
        bench.counters["export_s"] = wall;
        bench.counters["export_wire_s"] = wire;
        bench.counters["export_wire_ratio"] = wall / wire;
        bench.counters["export_exchanges"] = static_cast<double>(after - before);
        bench.counters["files"] = static_cast<double>(exported.files.size());
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ExportWholeUnitPaced)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return qrv::bench::runBenchmarks(argc, argv);
}
