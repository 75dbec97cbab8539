#include "Commands.hpp"
#include "TerminalHost.hpp"

#include "app/Program.hpp"
#include "devmem/MemoryDump.hpp"
#include "link/PortTable.hpp"
#include "link/SerialTransport.hpp"
#include "storage/FileCodec.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace qrv::cli {

namespace {

struct DumpOptions {
    std::vector<std::string> ports;
    bool systemPorts = true;
    std::filesystem::path out;
};

// Nothing when the command has ended (help shown or a wrong command line, with its exit status).
std::optional<DumpOptions> parse(const QStringList& arguments, int& status)
{
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Try this serial port first (repeatable, in this order); the "
                                                 "':'-separated list in QRV5173_PORTS follows, then the system's "
                                                 "serial ports, USB ones first."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption noSystemPorts(QStringLiteral("no-system-ports"),
                                           QStringLiteral("Try only the ports given with --port and QRV5173_PORTS."));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("The project file to write; it is replaced only once complete."),
                                 QStringLiteral("FILE"));
    parser.addOptions({port, noSystemPorts, out});
    const auto ended = parseCommand(
        parser, arguments, QStringLiteral("dump [--port PATH]... [--no-system-ports] --out FILE.prj"),
        QStringLiteral("Finds the QRV5173 as the editor does at start-up, reads its whole memory as the editor\n"
                       "does (current effect, switch, preset directory, names, every effect's live values) and\n"
                       "writes the parameters of all sixteen effects as a project file (528 bytes), which the\n"
                       "editor's \"Load Project From PC\" takes. The device is then told that the tool is leaving.\n"
                       "\n"
                       "Progress goes to standard error. Exit status: 0 when the file was written, 1 when no\n"
                       "device answered, the link failed or the file could not be written, 2 for a wrong\n"
                       "command line."));
    if (ended) {
        status = *ended;
        return std::nullopt;
    }
    const auto refuse = [&](const QString& problem) {
        status = usageError(arguments, problem);
        return std::nullopt;
    };
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));
    DumpOptions options;
    for (const QString& path : parser.values(port)) {
        if (path.isEmpty())
            return refuse(QStringLiteral("--port needs a path"));
        options.ports.push_back(path.toStdString());
    }
    options.systemPorts = !parser.isSet(noSystemPorts);
    if (!parser.isSet(out))
        return refuse(QStringLiteral("--out FILE is missing"));
    if (parser.value(out).isEmpty())
        return refuse(QStringLiteral("--out needs a path"));
    options.out = parser.value(out).toStdString();
    return options;
}

// Writes the bytes to a temporary file beside the target and renames it over the target,
// so that a failure never leaves a partial project. Returns the reason of a failure.
std::optional<std::string> writeWhole(const std::filesystem::path& target, const std::vector<uint8_t>& bytes)
{
    const std::filesystem::path temporary =
        target.parent_path() / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()));
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file)
            return temporary.string() + ": " + std::strerror(errno);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) {
            const std::string reason = std::strerror(errno);
            std::filesystem::remove(temporary);
            return temporary.string() + ": " + reason;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary);
        return target.string() + ": " + error.message();
    }
    return std::nullopt;
}

// Whether a file can be made where the project is to go, tried with the temporary file
// itself; the reason when not. Checked before the dump so that no dump is made in vain.
std::optional<std::string> checkWritable(const std::filesystem::path& target)
{
    std::error_code error;
    if (std::filesystem::is_directory(target, error))
        return target.string() + ": is a folder";
    const std::filesystem::path probe =
        target.parent_path() / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()));
    {
        std::ofstream file(probe, std::ios::binary | std::ios::trunc);
        if (!file)
            return probe.string() + ": " + std::strerror(errno);
    }
    std::filesystem::remove(probe, error);
    return std::nullopt;
}

// Connects, dumps and writes; the device search and the dump may end the run through the host.
int dump(const DumpOptions& options, TerminalHost& host)
{
    if (const auto problem = checkWritable(options.out)) {
        std::fprintf(stderr, "qrv5173-cli: cannot write the project: %s\n", problem->c_str());
        return kFailed;
    }
    PortTable table = PortTable::fromEnvironment(options.ports, options.systemPorts);
    SerialTransport port;
    SteadyClock clock;
    Program program(port, clock, host, [&table](int number) { return table.deviceName(number); });
    program.search.setPortListReread([&table] { table.reread(); });
    host.showSplash(&program.splash);

    const bool found = program.search.connectAtStartUp([&] {
        program.splash.Label1.visible = true;
        host.refresh(Window::Splash);
    });
    if (!found) {
        reportNoUnitFound(table.size(), program.state.portAdvice);
        return kFailed;
    }
    std::fprintf(stderr, "QRV5173 found on %s\n", port.portName().c_str());
    program.splash.Label1.visible = true;
    if (!DumpDeviceMemory(program.editor, program.splash)) {
        std::fprintf(stderr, "qrv5173-cli: the device was lost during the dump; nothing written\n");
        return kFailed;
    }
    host.finishProgress();

    const auto problem = writeWhole(options.out, encodeProject(program.state.store));
    program.link.SendCommand(Cmd::ExitNotice);
    if (problem) {
        std::fprintf(stderr, "qrv5173-cli: cannot write the project: %s\n", problem->c_str());
        return kFailed;
    }
    std::fprintf(stderr, "Wrote %s\n", options.out.string().c_str());
    return kOk;
}

int runDump(const QStringList& arguments)
{
    int status = kOk;
    const auto options = parse(arguments, status);
    if (!options)
        return status;
    TerminalHost host;
    try {
        return dump(*options, host);
    } catch (const ProgramEnd&) {
        return kFailed;
    }
}

[[maybe_unused]] const bool registered =
    registerCommand({"dump", "read the device's memory into a project file", runDump});

} // namespace

} // namespace qrv::cli
