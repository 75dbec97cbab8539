// qrv5173-editor: the desktop editor for the QRV5173 effect processor.
#include "ui/panels/BackgroundReading.hpp"
#include "ui/windows/AppWindows.hpp"
#include "ui/EditorCommandLine.hpp"
#include "ui/panels/FollowUnitControls.hpp"
#include "ui/panels/PresetLibraryPanel.hpp"
#include "ui/QtHost.hpp"
#include "ui/SessionControls.hpp"

#include "app/PortWatch.hpp"
#include "link/Clock.hpp"
#include "link/PortMonitor.hpp"
#include "link/PortTable.hpp"
#include "link/SerialTransport.hpp"
#include "state/Notice.hpp"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <cstdlib>
#include <iostream>

namespace {

bool displayAvailable()
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace

// Ports given by path (no device events tell of them) are looked at this often; a unit that
// appears there is offered within about this time and one exchange.
constexpr int kPortPollMs = 1000;

int main(int argc, char* argv[])
{
    using qrv::ui::EditorCommandLine;
    {
        // Help and version need no display, so they are answered before QApplication starts.
        QStringList raw;
        for (int i = 0; i < argc; ++i)
            raw.append(QString::fromLocal8Bit(argv[i]));
        EditorCommandLine early;
        const auto options = early.parse(raw);
        if (options.help) {
            std::cout << early.helpText().toStdString();
            return 0;
        }
        if (options.version) {
            std::cout << "qrv5173-editor " << QRV_VERSION << '\n' << qrv::kCopyrightNotice;
            return 0;
        }
    }
    if (!displayAvailable()) {
        std::cerr << "qrv5173-editor: no display to show the editor on (DISPLAY is not set).\n"
                     "Start it from a desktop session, or under a virtual display: xvfb-run qrv5173-editor\n";
        return 1;
    }

    qrv::ui::shareOneHeap();
    QApplication app(argc, argv); // takes Qt's own options out of the arguments
    EditorCommandLine commandLine;
    const auto options = commandLine.parse(QCoreApplication::arguments());
    if (!options.error.isEmpty()) {
        std::cerr << "qrv5173-editor: " << options.error.toStdString() << "\n\n"
                  << commandLine.helpText().toStdString();
        return 2;
    }

    QApplication::setApplicationName(QString::fromLatin1(qrv::ui::kApplicationName));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.qrv5173.editor")); // the menu entry and its icon

    qrv::SerialTransport port;
    qrv::SteadyClock clock;
    qrv::ui::QtHost host;
    qrv::PortTable table = qrv::PortTable::fromEnvironment(options.ports);
    qrv::Program program(port, clock, host, [&table](int number) { return table.deviceName(number); });
    program.search.setPortListReread([&table] { table.reread(); });
    qrv::ui::keepEditsAtEveryEnd(host, program, [&port] { port.close(); });

    program.state.exactOrder =
        options.exactStartup || qrv::ui::settings().value(QString::fromLatin1(qrv::ui::kExactOrderKey)).toBool();
    qrv::ui::AppWindows windows(program, &host);
    const auto settings = [] {
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("QRV5173"),
                                           QStringLiteral("editor"));
    };
    windows.setLayoutMemory(settings());
    qrv::PortWatch watch(program);
    windows.setPortWatch(&watch, settings());
    port.setWaitObserver([&windows](bool waiting) { windows.binder().setLinkWaiting(waiting); });
    // Told on the next turn of the event loop, when an exchange running now has had its say.
    port.setLossObserver([&app, &port, &program, &windows, &watch] {
        QTimer::singleShot(0, &app, [&port, &program, &windows, &watch] {
            if (!port.lost() || program.state.searching)
                return;
            watch.unitLost();
            windows.binder().sync();
        });
    });
    // Ports coming and going, looked at between the core's runs only; the first look, once
    // start-up is over, only takes note of what start-up searched.
    qrv::PortMonitor monitor([&](bool systemChanged) {
        if (windows.binder().coreRunning() || program.splash.loaded)
            return false;
        if (systemChanged)
            table.reread();
        windows.binder().handle([&] { watch.portsNow(table.present()); });
        return true;
    });
    monitor.start(kPortPollMs);
    qrv::ui::keepRecoveryFile(windows, program,
                              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString());
    qrv::ui::followTheUnit(windows, program, qrv::ui::watchUnitWhileIdle(windows, program));
    qrv::ui::readRestInBackground(windows, program);
    windows.start();
    return app.exec();
}
