#include "Commands.hpp"
#include "Signals.hpp"
#include "TerminalHost.hpp"
#include "UnitCommand.hpp"

#include "app/Program.hpp"
#include "devmem/MemoryDump.hpp"
#include "link/UnitIdentity.hpp"
#include "storage/FileAccess.hpp"
#include "storage/FileCodec.hpp"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qrv::cli {

namespace {

struct DumpOptions {
    LinkOptions link{.startUpLines = true};
    std::filesystem::path out;
    bool quick = false;
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
    const QCommandLineOption exact(QStringLiteral("exact-startup"),
                                   QStringLiteral("Read the unit byte by byte in the original order (slower)."));
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("Read every value once: half the time, but a reply damaged on "
                                                  "the line goes into the file unnoticed."));
    parser.addOptions({port, noSystemPorts, out, exact, quick});
    const auto ended = parseCommand(
        parser, arguments, QStringLiteral("dump [--port PATH]... [--no-system-ports] [--exact-startup] [--quick] --out FILE.prj"),
        QStringLiteral("Finds the QRV5173 as the editor does at start-up, reads its whole memory as the editor\n"
                       "does (current effect, switch, preset directory, names, every effect's live values) and\n"
                       "writes the parameters of all sixteen effects as a project file (528 bytes), which the\n"
                       "editor's \"Load Project From PC\" takes. The device is then told that the tool is leaving.\n"
                       "\n"
                       "Every live value is read a second time, and a value whose reads differ is read until one\n"
                       "value leads, so that a reply damaged on the line cannot slip into the file. The unit's\n"
                       "current effect, switch, that effect's live values and directory are read at the start\n"
                       "and at the end: a unit restarted or replaced meanwhile fails the dump.\n"
                       "\n"
                       "The output is checked to be writable (room on the disk included) before the device is\n"
                       "read. Progress goes to standard error.\n"
                       "\n"
                       "Ctrl-C, SIGTERM or SIGHUP stop the dump after the current exchange: no file is written\n"
                       "and no temporary file is left, exit status 1. A second signal ends the tool at once.\n"
                       "\n"
                       "Exit status: 0 when the file was written, 1 when no device answered, the link failed,\n"
                       "the dump was stopped or the file could not be written, 2 for a wrong command line."));
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
        options.link.ports.push_back(path.toStdString());
    }
    options.link.systemPorts = !parser.isSet(noSystemPorts);
    options.link.exactOrder = parser.isSet(exact);
    options.quick = parser.isSet(quick);
    if (!parser.isSet(out))
        return refuse(QStringLiteral("--out FILE is missing"));
    if (parser.value(out).isEmpty())
        return refuse(QStringLiteral("--out needs a path"));
    options.out = parser.value(out).toStdString();
    return options;
}

// Connects, dumps and writes; the device search and the dump may end the run through the host.
int dump(const DumpOptions& options, TerminalHost& host)
{
    ReservedSpace reserved = reserveSpace(options.out, kProjectFileSize);
    if (!reserved.room) {
        std::fprintf(stderr, "qrv5173-cli: cannot write the project: %s: %s\n", options.out.c_str(),
                     reserved.problem.c_str());
        return kFailed;
    }
    return withUnit(options.link, host, [&](Program& program) {
        const auto refuse = [](const std::string& problem) {
            std::fprintf(stderr, "qrv5173-cli: dump failed: %s; nothing written\n", problem.c_str());
            return kFailed;
        };
        const auto start = readFingerprint(program.link, FingerprintDepth::Full);
        if (start.outcome != Confirm::Agreed)
            return refuse(neverAgreed("the unit's current effect and values"));
        if (!DumpDeviceMemory(program.editor, program.splash)) {
            std::fprintf(stderr, "qrv5173-cli: the device was lost during the dump; nothing written\n");
            return kFailed;
        }
        host.finishProgress();
        if (!options.quick)
            if (const auto problem = confirmDumpedRows(program.editor))
                return refuse(*problem);
        bool same = false;
        if (stillTheUnit(program.link, start.value, FingerprintDepth::Full, same) != Confirm::Agreed)
            return refuse(neverAgreed("the unit's current effect and values"));
        if (!same)
            return refuse(kAnotherUnitText);

        const auto problem =
            writeFileAtomically(options.out, encodeProject(program.state.store), {.room = &*reserved.room});
        if (problem) {
            std::fprintf(stderr, "qrv5173-cli: cannot write the project: %s: %s\n", options.out.c_str(),
                         problem->c_str());
            return kFailed;
        }
        std::fprintf(stderr, "Wrote %s\n", options.out.string().c_str());
        return kOk;
    });
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
    } catch (const Stopped& stopped) {
        std::fprintf(stderr, "qrv5173-cli: dump stopped by %s; nothing written\n", stopSignalName(stopped.signal));
        return kFailed;
    }
}

[[maybe_unused]] const bool registered =
    registerCommand({"dump", "read the device's memory into a project file", runDump});

} // namespace

} // namespace qrv::cli
