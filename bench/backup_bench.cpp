// Back Up Device and Restore Device (all sixteen effects) as the editor runs them, against
// qrv5173-emu pacing at 4800 baud, each as a ratio to the wire time of its own exchanges;
// a backup with every value read twice against one read once; and the automatic backup made in
// the background after a start-up, from the end of the pages' reading to the file.
#include "EmulatorProcess.hpp"

#include "app/DeviceBackup.hpp"
#include "app/Program.hpp"
#include "devmem/Backup.hpp"
#include "devmem/MemoryDump.hpp"
#include "link/SerialTransport.hpp"

#include <QCoreApplication>

#include "BenchHost.hpp"
#include "BenchMain.hpp"
#include "FrameLog.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

using namespace qrv;
using bench::wireSoFar;

template <class Operation> double wallSeconds(Operation&& operation)
{
    const auto start = std::chrono::steady_clock::now();
    operation();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The editor's program against a paced emulator that logs its frames.
struct PacedUnit {
    test::EmulatorProcess emulator;
    bench::BenchHost host;
    SerialTransport port;
    SteadyClock clock;
    Program program;

    PacedUnit(const std::filesystem::path& folder, const std::filesystem::path& log)
        : emulator(QRV5173_EMULATOR, {"--log", log.string()}), host("backup_bench", folder / "unit.json"),
          program(port, clock, host, [this](int n) -> std::optional<std::string> {
              return n == 1 ? std::optional<std::string>(emulator.slavePath()) : std::nullopt;
          })
    {
        program.state.programFolder = folder;
    }
    bool connect()
    {
        program.state.LinkUp = program.search.connectAtStartUp([] {});
        return program.state.LinkUp;
    }
};

// One operation's time, its wire time, their ratio and its exchanges, as `name`_s and so on.
void report(benchmark::State& bench, const std::string& name, double wall, double wire, std::size_t exchanges)
{
    bench.counters[name + "_s"] = wall;
    bench.counters[name + "_wire_s"] = wire;
    bench.counters[name + "_wire_ratio"] = wall / wire;
    bench.counters[name + "_exchanges"] = static_cast<double>(exchanges);
}

// Restores onto the unit it backed up: by reading first and writing what differs (0), or in
// the exact order, every byte written and read back (1).
void BM_BackUpAndRestorePaced(benchmark::State& bench)
{
    const bool exact = bench.range(0) == 1;
    const auto folder = std::filesystem::temp_directory_path() / ("qrv-backup-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto log = folder / "frames.log";
    for (auto _ : bench) {
        PacedUnit unit(folder, log);
        auto& [emulator, host, port, clock, program] = unit;
        if (!unit.connect()) {
            bench.SkipWithError("no emulator answered");
            break;
        }
        program.state.exactOrder = exact;

        std::size_t start = 0, afterBackup = 0, afterRestore = 0;
        const double wire0 = wireSoFar(log, start);
        const double backup = wallSeconds([&] { backUpDevice(program.editor, std::time(nullptr)); });
        const double wire1 = wireSoFar(log, afterBackup);
        const double restore = wallSeconds([&] {
            restoreDevice(program.editor, [](const UnitBackup&) {
                std::set<int> all;
                for (int e = 0; e < kEffectCount; ++e)
                    all.insert(e);
                return all;
            });
        });
        const double wire2 = wireSoFar(log, afterRestore);
        emulator.stop();
        if (host.messages > 0 || !std::filesystem::exists(folder / "unit.json")) {
            bench.SkipWithError("the backup or the restore did not go through");
            break;
        }
        bench.SetIterationTime(backup + restore);
        report(bench, "backup", backup, wire1 - wire0, afterBackup - start);
        report(bench, "restore", restore, wire2 - wire1, afterRestore - afterBackup);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_BackUpAndRestorePaced)
    ->ArgName("exact_order")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

// One backup of the whole unit, every value read twice and settled (0) or once, `--quick` (1):
// what the confirmation costs in wire time and in the user's time.
void BM_BackUpConfirmedOrQuick(benchmark::State& bench)
{
    const ReadCare care = bench.range(0) == 1 ? ReadCare::Quick : ReadCare::Confirmed;
    const auto folder = std::filesystem::temp_directory_path() / ("qrv-backup-care-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto log = folder / "frames.log";
    for (auto _ : bench) {
        PacedUnit unit(folder, log);
        if (!unit.connect()) {
            bench.SkipWithError("no emulator answered");
            break;
        }
        std::size_t start = 0, after = 0;
        const double wire0 = wireSoFar(log, start);
        BackupResult result;
        const double wall = wallSeconds([&] { result = readUnit(unit.program.editor, care); });
        const double wire1 = wireSoFar(log, after);
        unit.emulator.stop();
        if (result.end != TransferEnd::Done) {
            bench.SkipWithError("the backup did not go through");
            break;
        }
        bench.SetIterationTime(wall);
        report(bench, "backup", wall, wire1 - wire0, after - start);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_BackUpConfirmedOrQuick)
    ->ArgName("quick")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

// The link time the automatic backup takes on a factory unit: everything the pages need is read
// first (not counted), then the whole rows and stored slots are read, confirmed and written.
void BM_AutomaticBackupPaced(benchmark::State& bench)
{
    const auto folder = std::filesystem::temp_directory_path() / ("qrv-auto-backup-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto log = folder / "frames.log";
    for (auto _ : bench) {
        PacedUnit unit(folder, log);
        Program& program = unit.program;
        program.state.exactOrder = false;
        program.autoBackup.setFolder(folder / "backups");
        if (!unit.connect() || !DumpDeviceMemory(program.editor, program.splash, UnitRead::First)) {
            bench.SkipWithError("no emulator answered");
            break;
        }
        const auto never = [] { return false; };
        while (!program.reading.finished())
            program.reading.backgroundStep(never);
        std::size_t start = 0, after = 0;
        const double wire0 = wireSoFar(log, start);
        const double wall = wallSeconds([&] {
            auto step = UnitReading::Step::Progressed;
            while (step == UnitReading::Step::Progressed)
                step = program.autoBackup.step(never, std::time(nullptr));
        });
        const double wire1 = wireSoFar(log, after);
        unit.emulator.stop();
        if (!program.autoBackup.written()) {
            bench.SkipWithError("no automatic backup was written");
            break;
        }
        bench.SetIterationTime(wall);
        report(bench, "auto_backup", wall, wire1 - wire0, after - start);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AutomaticBackupPaced)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return qrv::bench::runBenchmarks(argc, argv);
}
