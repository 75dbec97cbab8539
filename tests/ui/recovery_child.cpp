// The editor as its executable wires it, on the in-process emulator and a given recovery
// folder, driven by a timer instead of a hand: `edit` changes two controls and waits for a
// signal; `restore` answers Yes to the recovery question and prints what the store and
// the unit hold.
#include "emulator/DeviceModel.hpp"
#include "link/Clock.hpp"
#include "link/LoopbackTransport.hpp"
#include "ui/windows/AppWindows.hpp"
#include "ui/panels/BackgroundReading.hpp"
#include "ui/windows/MainWindow.hpp"
#include "ui/QtHost.hpp"
#include "ui/SessionControls.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QSlider>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

void printTable(const char* name, const qrv::ParameterTable& table)
{
    std::printf("%s ", name);
    for (uint8_t b : table.bytes())
        std::printf("%02x", b);
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 3)
        return 2;
    QApplication app(argc, argv);
    const std::string mode = argv[2];
    qrv::DeviceModel device;
    qrv::LoopbackTransport port([&device](std::span<const uint8_t> bytes) { return device.receive(bytes); });
    qrv::SteadyClock clock;
    qrv::ui::QtHost host;
    qrv::Program program(port, clock, host);
    qrv::ui::AppWindows windows(program, &host);
    qrv::ui::keepRecoveryFile(windows, program, argv[1]);
    qrv::ui::keepEditsAtEveryEnd(host, program);
    qrv::ui::readRestInBackground(windows, program);
    windows.start();

    bool edited = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (box->windowTitle() == QLatin1String(qrv::kRestoreTitle) && mode == "restore")
                box->button(QMessageBox::Yes)->click();
            return;
        }
        if (!windows.main().findChild<QTimer*>(QStringLiteral("RecoveryTimer")) || !program.reading.finished())
            return; // start-up, the recovery question or the reading in the background are not done yet
        if (mode == "restore") {
            printTable("STORE", program.state.store);
            qrv::ParameterTable live;
            for (int e = 0; e < qrv::kEffectCount; ++e)
                for (int c = 0; c < qrv::kDeviceColumns; ++c)
                    live.at(e, c) = device.peek(qrv::Addr::live(e, c));
            printTable("LIVE", live);
            std::fflush(stdout);
            std::_Exit(0);
        }
        if (edited)
            return;
        edited = true;
        auto* decay = windows.main().findChild<QSlider*>(QStringLiteral("Slider12_0"));
        decay->setValue(decay->value() == 30 ? 31 : 30);
        auto* frequency = windows.main().findChild<QComboBox*>(QStringLiteral("Combo4_1"));
        frequency->setCurrentIndex(frequency->currentIndex() == 5 ? 6 : 5);
        emit frequency->activated(frequency->currentIndex());
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::printf("EDITED %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(now).count()));
        printTable("STORE", program.state.store);
        std::fflush(stdout);
    });
    driver.start(20);
    return app.exec();
}
