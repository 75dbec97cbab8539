// Cost of one 10-byte exchange over a pty against qrv5173-emu: with the emulator answering
// at once (the link's own overhead) and pacing at 4800 baud (against the wire time).
#include "EmulatorProcess.hpp"

#include "link/DeviceLink.hpp"
#include "link/SerialTransport.hpp"

#include <QCoreApplication>

#include "BenchHost.hpp"
#include "BenchMain.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace qrv;

// Request and reply, ten bytes each, ten bit times per byte at 4800 baud.
constexpr double kWireSeconds = 20.0 * 10.0 / 4800.0;

struct Rig {
    explicit Rig(std::vector<std::string> arguments) : emulator(QRV5173_EMULATOR, std::move(arguments))
    {
        port.open(emulator.slavePath());
        state.LinkUp = true;
    }
    test::EmulatorProcess emulator;
    SerialTransport port;
    ProgramState state;
    SteadyClock clock;
    bench::BenchHost host{"link_bench"};
    DeviceLink link{state, port, clock, host};
};

void BM_ExchangeFast(benchmark::State& bench)
{
    Rig rig({"--fast"});
    for (auto _ : bench)
        rig.link.SendCommand(Cmd::ReadByte, 0x00, 0x13);
    benchmark::DoNotOptimize(rig.state.replyBuffer[6]);
}
BENCHMARK(BM_ExchangeFast)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

void BM_ExchangePaced(benchmark::State& bench)
{
    Rig rig({});
    double ratios = 0;
    for (auto _ : bench) {
        const auto start = std::chrono::steady_clock::now();
        rig.link.SendCommand(Cmd::ReadByte, 0x00, 0x13);
        ratios += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kWireSeconds;
    }
    bench.counters["wire_ratio"] = benchmark::Counter(ratios, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ExchangePaced)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(24)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return qrv::bench::runBenchmarks(argc, argv);
}
