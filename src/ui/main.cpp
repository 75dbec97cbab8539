// qrv5173-editor: the desktop editor for the QRV5173 effect processor.
#include "AppWindows.hpp"
#include "Look.hpp"
#include "QtHost.hpp"

#include "link/Clock.hpp"
#include "link/PortTable.hpp"
#include "link/SerialTransport.hpp"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage = "Usage: qrv5173-editor [--port PATH]... [--help] [--version]\n"
                               "\n"
                               "Edits the effects of a QRV5173 connected to a serial port. Port numbers 1 to 35\n"
                               "are tried in order: first the paths given with --port (or in QRV5173_PORTS,\n"
                               "separated by ':'), then the system's serial ports, USB ones first. When no port\n"
                               "answers, the editor offers a demo mode in which nothing is sent.\n"
                               "The working directory is the program folder: init.cfg and Preset/ lie there.\n"
                               "\n"
                               "  --port PATH   a serial device to try before the system's ports (repeatable)\n"
                               "  --help        show this text\n"
                               "  --version     show the version\n";

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

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "qrv5173-editor " << QRV_VERSION << '\n';
            return 0;
        }
    }
    if (!displayAvailable()) {
        std::cerr << "qrv5173-editor: no display to show the editor on (DISPLAY is not set).\n"
                     "Start it from a desktop session, or under a virtual display: xvfb-run qrv5173-editor\n";
        return 1;
    }

    QApplication app(argc, argv); // takes Qt's own options out of argv
    std::vector<std::string> ports;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"--port") {
            if (i + 1 == arguments.size()) {
                std::cerr << "qrv5173-editor: --port needs the path of a serial device\n\n" << kUsage;
                return 2;
            }
            ports.push_back(arguments[++i].toStdString());
        } else if (argument.startsWith(u"--port=")) {
            ports.push_back(argument.mid(7).toStdString());
        } else {
            std::cerr << "qrv5173-editor: unknown argument '" << argument.toStdString() << "'\n\n" << kUsage;
            return 2;
        }
    }

    QApplication::setApplicationName(QString::fromLatin1(qrv::ui::kApplicationName));
    qrv::ui::applyLook(app);

    qrv::SerialTransport port;
    qrv::SteadyClock clock;
    qrv::ui::QtHost host;
    const qrv::PortTable table = qrv::PortTable::fromEnvironment(ports);
    qrv::Program program(port, clock, host, [table](int number) { return table.deviceName(number); });
    host.setBeforeEnd([&port] { port.close(); });

    qrv::ui::AppWindows windows(program, &host);
    windows.start();
    return app.exec();
}
