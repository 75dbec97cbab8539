// Following the unit's front panel while the user rests, against qrv5173-emu pacing at 4800
// baud: the share of the link's time the looks take (their exchanges' wire time, and the wall
// time the core spends in them, per second idle), and with the panel played, how long a change
// there takes to show.
#include "EmulatorProcess.hpp"

#include "app/FollowUnit.hpp"
#include "app/StartUp.hpp"
#include "link/SerialTransport.hpp"

#include <QCoreApplication>

#include "BenchHost.hpp"
#include "BenchMain.hpp"
#include "FrameLog.hpp"
#include "WorkingFolder.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace qrv;
using bench::wireSoFar;
using Seconds = std::chrono::duration<double>;

constexpr double kIdleSeconds = 30.0;
constexpr double kPanelEvery = 5.0;

// Rests for kIdleSeconds (0), or plays the panel every kPanelEvery seconds meanwhile (1): a
// knob of the effect shown turned, then another effect selected, by turns.
void BM_FollowTheUnitPaced(benchmark::State& bench)
{
    const bool played = bench.range(0) == 1;
    const qrv::bench::WorkingFolder working("qrv-follow-bench-");
    const auto& folder = working.path;
    const auto log = folder / "frames.log";
    const auto panel = folder / "panel";
    for (auto _ : bench) {
        test::EmulatorProcess emulator(QRV5173_EMULATOR, {"--log", log.string(), "--panel", panel.string()});
        bench::BenchHost host("follow_bench");
        SerialTransport port;
        SteadyClock clock;
        Program program(port, clock, host, [&](int n) -> std::optional<std::string> {
            return n == 1 ? std::optional<std::string>(emulator.slavePath()) : std::nullopt;
        });
        program.state.programFolder = folder;
        splashLoad(program);
        splashTimer(program, {});
        bool read = true;
        while (read && !program.reading.finished())
            read = program.reading.backgroundStep([] { return false; }) != UnitReading::Step::Failed;
        if (!read) {
            bench.SkipWithError("the unit could not be read");
            break;
        }
        IdleUnitWatch watch(program);
        FollowUnit follow(program, watch);
        std::ofstream fifo(panel);

        std::size_t before = 0, after = 0;
        const double wireBefore = wireSoFar(log, before);
        double inLooks = 0, longestDelay = 0;
        int changes = 0, followed = 0;
        double nextPlay = kPanelEvery;
        std::optional<double> playedAt;
        const auto start = std::chrono::steady_clock::now();
        const auto elapsed = [&] { return Seconds(std::chrono::steady_clock::now() - start).count(); };
        while (elapsed() < kIdleSeconds) {
            if (played && elapsed() >= nextPlay) {
                const int e = program.state.currentEffect;
                const std::string line = changes % 2 == 0
                    ? "set " + std::to_string(e) + " 0 " + std::to_string(program.state.store.at(e, 0) == 0 ? 1 : 0)
                    : "select " + std::to_string((e + 1) % kEffectCount);
                fifo << line << std::endl;
                ++changes;
                playedAt = elapsed();
                nextPlay += kPanelEvery;
            }
            const double lookStart = elapsed();
            const auto look = follow.tick([] { return false; });
            if (look != FollowUnit::Look::NotDue)
                inLooks += elapsed() - lookStart;
            if (look == FollowUnit::Look::Followed && playedAt) {
                ++followed;
                longestDelay = std::max(longestDelay, elapsed() - *playedAt);
                playedAt.reset();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const double window = elapsed();
        const double wire = wireSoFar(log, after) - wireBefore;
        emulator.stop();
        if (host.messages > 0 || (played && followed < changes - 1)) {
            bench.SkipWithError("a change on the panel was not followed, or the link complained");
            break;
        }
        bench.SetIterationTime(window);
        bench.counters["wire_share"] = wire / window;
        bench.counters["busy_share"] = inLooks / window;
        bench.counters["exchanges_per_s"] = static_cast<double>(after - before) / window;
        if (played) {
            bench.counters["changes"] = changes;
            bench.counters["longest_delay_s"] = longestDelay;
        }
    }
}
BENCHMARK(BM_FollowTheUnitPaced)
    ->ArgName("panel_played")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return qrv::bench::runBenchmarks(argc, argv);
}
