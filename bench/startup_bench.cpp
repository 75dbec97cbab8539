// The editor's whole start-up (port search, init.cfg, memory dump, showing the current
// effect) against qrv5173-emu pacing at 4800 baud, as a ratio to the wire time of the
// exchanges it made, with the program's CPU time as a share of the wall time; then a project
// load of the unit's own values with one effect changed. Each run by block (0), in the exact
// order (1), and by block against a unit whose block read ignores the effect asked for (2).
#include "EmulatorProcess.hpp"

#include "FactoryImage.hpp"
#include "app/StartUp.hpp"
#include "link/SerialTransport.hpp"
#include "storage/FileAccess.hpp"
#include "storage/FileCodec.hpp"
#include "storage/PresetFiles.hpp"

#include <QCoreApplication>

#include "BenchHost.hpp"
#include "BenchMain.hpp"
#include "FrameLog.hpp"
#include "WorkingFolder.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace qrv;
using bench::wireSoFar;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The factory unit's live values as a project, the Phaser's first two bytes changed.
std::filesystem::path projectDifferingInOneEffect(const std::filesystem::path& folder)
{
    const auto image = factoryImage();
    ParameterTable rows;
    for (int e = 0; e < kEffectCount; ++e) {
        for (int c = 0; c < kDeviceColumns; ++c)
            rows.at(e, c) = image[Addr::live(e, c)];
        rows.at(e, kRowSize - 1) = static_cast<uint8_t>(e);
    }
    rows.at(9, 0) = static_cast<uint8_t>(rows.at(9, 0) ^ 1);
    rows.at(9, 1) = static_cast<uint8_t>(rows.at(9, 1) ^ 1);
    const auto path = folder / "one-effect.prj";
    const auto bytes = encodeProject(rows);
    writeFileAtomically(path, bytes);
    return path;
}

void BM_StartUpPaced(benchmark::State& bench)
{
    const int mode = static_cast<int>(bench.range(0));
    const qrv::bench::WorkingFolder working("qrv-startup-bench-");
    const auto& folder = working.path;
    const auto log = folder / "frames.log";
    double ratios = 0, cpuShares = 0, frames = 0, wires = 0, walls = 0;
    double loadWalls = 0, loadWires = 0, loadFrames = 0, loadRatios = 0;
    const auto project = projectDifferingInOneEffect(folder);
    for (auto _ : bench) {
        std::vector<std::string> arguments{"--log", log.string()};
        if (mode == 2)
            arguments.push_back("--block-ignores-effect");
        test::EmulatorProcess emulator(QRV5173_EMULATOR, arguments);
        bench::BenchHost host("startup_bench");
        SerialTransport port;
        SteadyClock clock;
        Program program(port, clock, host, [&](int n) -> std::optional<std::string> {
            return n == 1 ? std::optional<std::string>(emulator.slavePath()) : std::nullopt;
        });
        splashLoad(program);
        program.state.exactOrder = mode == 1;

        const double cpuStart = cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        splashTimer(program, {});
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = cpuSeconds() - cpuStart;
        std::size_t exchanges = 0, afterLoad = 0;
        const double wire = wireSoFar(log, exchanges);

        const auto loadStart = std::chrono::steady_clock::now();
        LoadProjectFile(program.editor, project);
        const double loadWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - loadStart).count();
        const double loadWire = wireSoFar(log, afterLoad) - wire;
        emulator.stop();

        bench.SetIterationTime(wall);
        ratios += wall / wire;
        cpuShares += cpu / wall;
        frames += static_cast<double>(exchanges);
        wires += wire;
        walls += wall;
        loadWalls += loadWall;
        loadWires += loadWire;
        loadFrames += static_cast<double>(afterLoad - exchanges);
        loadRatios += loadWall / loadWire;
    }
    const auto average = [](double sum) { return benchmark::Counter(sum, benchmark::Counter::kAvgIterations); };
    bench.counters["wall_s"] = average(walls);
    bench.counters["wire_s"] = average(wires);
    bench.counters["load_wall_s"] = average(loadWalls);
    bench.counters["load_wire_s"] = average(loadWires);
    bench.counters["load_exchanges"] = average(loadFrames);
    bench.counters["load_wire_ratio"] = average(loadRatios);
    bench.counters["wire_ratio"] = benchmark::Counter(ratios, benchmark::Counter::kAvgIterations);
    bench.counters["cpu_share"] = benchmark::Counter(cpuShares, benchmark::Counter::kAvgIterations);
    bench.counters["exchanges"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartUpPaced)
    ->ArgName("exact_order_or_p6_fault")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Start-up to a usable editor on a machine whose first four ports hold no unit (the usual
// ttyS0 to ttyS3), the paced unit on the fifth: state.range(0) = 0 searches from port 1 as a
// first start does, 1 has the unit's port remembered from the start before.
void BM_StartUpBehindFourSilentPorts(benchmark::State& bench)
{
    const bool remembered = bench.range(0) == 1;
    const qrv::bench::WorkingFolder working("qrv-startup-silent-bench-");
    const auto& folder = working.path;
    double connectSeconds = 0;
    for (auto _ : bench) {
        std::vector<std::unique_ptr<test::EmulatorProcess>> silent;
        for (int i = 0; i < 4; ++i)
            silent.push_back(std::make_unique<test::EmulatorProcess>(QRV5173_EMULATOR, std::vector<std::string>{"--silent"}));
        test::EmulatorProcess unit(QRV5173_EMULATOR, {});
        const std::vector<std::string> ports = {silent[0]->slavePath(), silent[1]->slavePath(), silent[2]->slavePath(),
                                                silent[3]->slavePath(), unit.slavePath()};
        std::filesystem::remove(folder / "last-port");
        if (remembered)
            std::ofstream(folder / "last-port") << unit.slavePath() << '\n';
        bench::BenchHost host("startup_bench");
        SerialTransport port;
        SteadyClock clock;
        Program program(port, clock, host, [&](int n) -> std::optional<std::string> {
            if (n < 1 || n > static_cast<int>(ports.size()))
                return std::nullopt;
            return ports[static_cast<std::size_t>(n - 1)];
        });
        splashLoad(program);
        bool connectedAt = false;
        std::chrono::steady_clock::time_point connected;
        host.onRefresh = [&](Window window) {
            // The splash shows its progress bar once the unit is found and the dump begins.
            if (!connectedAt && window == Window::Splash && program.splash.ProgressBar1.visible) {
                connectedAt = true;
                connected = std::chrono::steady_clock::now();
            }
        };
        const auto start = std::chrono::steady_clock::now();
        splashTimer(program, {});
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (program.state.DemoMode)
            bench.SkipWithError("the unit was not found");
        connectSeconds += std::chrono::duration<double>(connected - start).count();
        bench.SetIterationTime(wall);
    }
    bench.counters["found_after_s"] = benchmark::Counter(connectSeconds, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StartUpBehindFourSilentPorts)
    ->ArgName("remembered")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return qrv::bench::runBenchmarks(argc, argv);
}
