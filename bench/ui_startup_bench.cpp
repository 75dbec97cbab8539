// Start-up to a usable editor window in demo mode, as a user without a unit meets it:
// the splash window with its 2000 ms, a search over port numbers 1 to 35 none of which
// has a device, the demo question answered Yes as soon as it shows, and the editor
// window painted. Target: at most the splash's 2000 ms plus 0.5 s.
#include "ui/windows/AppWindows.hpp"
#include "ui/QtHost.hpp"

#include "link/Clock.hpp"
#include "link/PortTable.hpp"
#include "link/SerialTransport.hpp"

#include "WindowBenchMain.hpp"

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr double kLimitSeconds = 2.5;

void BM_StartUpToEditorInDemoMode(benchmark::State& state)
{
    std::vector<std::string> missing;
    for (int n = 1; n <= qrv::kPortNumberCount; ++n)
        missing.push_back("/nonexistent/qrv5173-bench-port-" + std::to_string(n));
    const qrv::PortTable table(missing, false);

    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        qrv::SerialTransport port;
        qrv::SteadyClock clock;
        qrv::ui::QtHost host;
        qrv::Program program(port, clock, host, [&table](int number) { return table.deviceName(number); });
        qrv::ui::AppWindows windows(program, &host);
        bool shown = false;
        windows.setOnEditorShown([&] { shown = true; });

        // The user who answers the demo question the moment it is asked.
        QTimer user;
        user.setInterval(1);
        QObject::connect(&user, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                    yes->click();
        });
        user.start();

        windows.start();
        while (!shown)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents(); // the editor's first paint
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["within_limit"] = seconds <= kLimitSeconds ? 1 : 0;
        if (!program.state.DemoMode)
            state.SkipWithError("the start-up did not end in demo mode");
    }
    state.counters["limit_s"] = kLimitSeconds;
}

BENCHMARK(BM_StartUpToEditorInDemoMode)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return qrv::bench::runWindowBenchmarks(argc, argv);
}
