#include "Commands.hpp"
#include "TerminalHost.hpp"

#include "app/Program.hpp"
#include "backupfile/BackupFile.hpp"
#include "link/PortTable.hpp"
#include "link/SerialTransport.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qrv::cli {

namespace {

constexpr const char* kBackupHelp =
    R"(Usage: qrv5173-cli backup [--port PATH]... [--no-system-ports] --out FILE
Reads everything the QRV5173 holds that the editor knows of (the preset directory, the
name and data of every stored preset, the slot numbers, the current effect, the effect
switch and every effect's live values) into a JSON backup file (format 1, see README).
Empty slots' data is not read. The file is written only once complete.

  --port PATH         try this serial port first (repeatable, in this order); the
                      ':'-separated list in QRV5173_PORTS follows, then the system's
                      serial ports, USB ones first
  --no-system-ports   try only the ports given with --port and QRV5173_PORTS
  --out FILE          the backup file to write
  --help              show this text

Progress with the time left goes to standard error on a terminal; Ctrl-C stops the
backup and writes no file. Exit status: 0 when the file was written, 1 when no device
answered, the link failed, the backup was stopped or the file could not be written,
2 for a wrong command line.
)";

constexpr const char* kRestoreHelp =
    R"(Usage: qrv5173-cli restore [--port PATH]... [--no-system-ports] [--effect N]... FILE
Writes a backup made by 'qrv5173-cli backup' or the editor's "Back Up Device..." to the
QRV5173, then reads back what was written and names every difference. A stored preset
is marked stored only after its name and data are complete, so an interrupted restore
leaves no preset of mixed old and new bytes. The file is checked whole before anything
is written.

  --port PATH         as for backup
  --no-system-ports   as for backup
  --effect N          restore only effect N (0 to 15, the order of the effect list);
                      repeatable. Without it all effects, the current effect and the
                      effect switch are restored.
  --help              show this text

Progress with the time left goes to standard error on a terminal; Ctrl-C stops after
the current write and names the effects completed. Exit status: 0 when everything was
written and read back equal, 1 when the file was refused, no device answered, the link
failed, the restore was stopped or the read-back differed, 2 for a wrong command line.
)";

struct LinkOptions {
    std::vector<std::string> ports;
    bool systemPorts = true;
};

int usageProblem(const char* command, const QString& problem)
{
    std::fprintf(stderr, "qrv5173-cli %s: %s (see --help)\n", command, problem.toLocal8Bit().constData());
    return kUsage;
}

// Connects as the editor does at start-up and runs the work; the device search and the
// link may end the run through the host.
int withUnit(const LinkOptions& options, TerminalHost& host, const std::function<int(Program&)>& work)
{
    PortTable table = PortTable::fromEnvironment(options.ports, options.systemPorts);
    SerialTransport port;
    SteadyClock clock;
    Program program(port, clock, host, [&table](int number) { return table.deviceName(number); });
    program.search.setPortListReread([&table] { table.reread(); });
    const bool found = program.search.connectAtStartUp([] {});
    if (!found) {
        reportNoUnitFound(table.size(), program.state.portAdvice);
        return kFailed;
    }
    std::fprintf(stderr, "QRV5173 found on %s\n", port.portName().c_str());
    program.state.LinkUp = true;
    const int status = work(program);
    program.link.SendCommand(Cmd::ExitNotice);
    return status;
}

std::string effectList(const std::vector<int>& effects)
{
    std::string out;
    for (int e : effects)
        out += (out.empty() ? "" : ", ") + std::to_string(e);
    return out.empty() ? "none" : out;
}

template <class Work> int runGuarded(const QStringList& arguments, Work&& work)
{
    TerminalHost host;
    try {
        return work(arguments, host);
    } catch (const ProgramEnd&) {
        return kFailed;
    }
}

void addLinkOptions(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QStringLiteral("port"), QStringLiteral("serial port to try first"), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("no-system-ports"), QStringLiteral("only the given ports")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show the help")});
}

LinkOptions linkOptions(const QCommandLineParser& parser)
{
    LinkOptions out;
    for (const QString& path : parser.values(QStringLiteral("port")))
        out.ports.push_back(path.toStdString());
    out.systemPorts = !parser.isSet(QStringLiteral("no-system-ports"));
    return out;
}

int runBackup(const QStringList& arguments)
{
    return runGuarded(arguments, [](const QStringList& args, TerminalHost& host) {
        QCommandLineParser parser;
        addLinkOptions(parser);
        parser.addOption({QStringLiteral("out"), QStringLiteral("backup file"), QStringLiteral("FILE")});
        if (!parser.parse(args))
            return usageProblem("backup", parser.errorText());
        if (parser.isSet(QStringLiteral("help"))) {
            std::fputs(kBackupHelp, stdout);
            return kOk;
        }
        if (!parser.positionalArguments().isEmpty())
            return usageProblem("backup",
                                QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments()[0]));
        const QString out = parser.value(QStringLiteral("out"));
        if (out.isEmpty())
            return usageProblem("backup", QStringLiteral("--out FILE is missing"));
        const std::filesystem::path file = out.toStdString();
        if (std::filesystem::is_directory(file)) {
            std::fprintf(stderr, "qrv5173-cli: cannot write the backup: %s: is a folder\n", file.c_str());
            return kFailed;
        }
        return withUnit(linkOptions(parser), host, [&](Program& program) {
            const BackupResult result = readUnit(program.editor);
            if (result.end == TransferEnd::Cancelled) {
                std::fprintf(stderr, "qrv5173-cli: backup stopped; nothing written\n");
                return kFailed;
            }
            if (result.end == TransferEnd::Lost) {
                std::fprintf(stderr, "qrv5173-cli: the device was lost during the backup; nothing written\n");
                return kFailed;
            }
            if (const auto problem = writeBackupFile(file, result.unit)) {
                std::fprintf(stderr, "qrv5173-cli: cannot write the backup: %s\n", problem->c_str());
                return kFailed;
            }
            int stored = 0;
            for (const EffectBackup& effect : result.unit.effects)
                for (const SlotBackup& slot : effect.presets)
                    stored += slot.stored() ? 1 : 0;
            std::fprintf(stderr, "Wrote %s (%d stored presets)\n", file.c_str(), stored);
            return kOk;
        });
    });
}

int runRestore(const QStringList& arguments)
{
    return runGuarded(arguments, [](const QStringList& args, TerminalHost& host) {
        QCommandLineParser parser;
        addLinkOptions(parser);
        parser.addOption({QStringLiteral("effect"), QStringLiteral("effect to restore"), QStringLiteral("N")});
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("backup file"));
        if (!parser.parse(args))
            return usageProblem("restore", parser.errorText());
        if (parser.isSet(QStringLiteral("help"))) {
            std::fputs(kRestoreHelp, stdout);
            return kOk;
        }
        if (parser.positionalArguments().size() != 1)
            return usageProblem("restore", QStringLiteral("give exactly one backup FILE"));
        std::set<int> effects;
        for (const QString& text : parser.values(QStringLiteral("effect"))) {
            bool ok = false;
            const int e = text.toInt(&ok);
            if (!ok || e < 0 || e >= kEffectCount)
                return usageProblem("restore", QStringLiteral("--effect takes 0 to 15, not '%1'").arg(text));
            effects.insert(e);
        }
        const std::string file = parser.positionalArguments()[0].toStdString();
        const DecodedBackup decoded = readBackupFile(file);
        if (!decoded.unit) {
            std::fprintf(stderr, "qrv5173-cli: %s: refused, nothing written: %s\n", file.c_str(),
                         decoded.problem.c_str());
            return kFailed;
        }
        return withUnit(linkOptions(parser), host, [&](Program& program) {
            const RestoreResult result = writeUnit(program.editor, *decoded.unit, effects);
            if (result.end != TransferEnd::Done) {
                std::fprintf(stderr, "qrv5173-cli: restore %s; effects completed: %s\n",
                             result.end == TransferEnd::Cancelled ? "stopped" : "cut off: the device was lost",
                             effectList(result.completed).c_str());
                return kFailed;
            }
            if (!result.differences.empty()) {
                std::fprintf(stderr, "qrv5173-cli: the device reads back otherwise than written (%zu differences):\n",
                             result.differences.size());
                for (const std::string& difference : result.differences)
                    std::fprintf(stderr, "  %s\n", difference.c_str());
                return kFailed;
            }
            std::fprintf(stderr, "Restored effects %s and read them back equal\n",
                         effectList(result.completed).c_str());
            return kOk;
        });
    });
}

[[maybe_unused]] const bool backupRegistered =
    registerCommand({"backup", "read the whole unit into a backup file", runBackup});
[[maybe_unused]] const bool restoreRegistered =
    registerCommand({"restore", "write a backup file to the unit and check it", runRestore});

} // namespace

} // namespace qrv::cli
