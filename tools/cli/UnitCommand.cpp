#include "UnitCommand.hpp"

#include "Commands.hpp"
#include "Signals.hpp"

#include "link/PortTable.hpp"
#include "link/SerialTransport.hpp"

#include <cstdio>

namespace qrv::cli {

int usageProblem(const char* command, const QString& problem)
{
    std::fprintf(stderr, "qrv5173-cli %s: %s (see --help)\n", command, problem.toLocal8Bit().constData());
    return kUsage;
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

int withUnit(const LinkOptions& options, TerminalHost& host, const std::function<int(Program&)>& work)
{
    catchStopSignals();
    PortTable table = PortTable::fromEnvironment(options.ports, options.systemPorts);
    SerialTransport port;
    SteadyClock clock;
    Program program(port, clock, host, [&table](int number) { return table.deviceName(number); });
    program.search.setPortListReread([&table] { table.reread(); });
    program.state.exactOrder = options.exactOrder;
    if (options.startUpLines)
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
    program.state.LinkUp = true;
    const int status = work(program);
    program.link.SendCommand(Cmd::ExitNotice);
    return status;
}

int runGuarded(const QStringList& arguments, const std::function<int(const QStringList&, TerminalHost&)>& work)
{
    TerminalHost host;
    try {
        return work(arguments, host);
    } catch (const ProgramEnd&) {
        return kFailed;
    } catch (const Stopped& stopped) {
        std::fprintf(stderr, "qrv5173-cli: stopped by %s\n", stopSignalName(stopped.signal));
        return kFailed;
    }
}

std::optional<int> effectNamed(const QString& text)
{
    return parseEffect(text.toStdString());
}

QString notAnEffect(const QString& text)
{
    return QStringLiteral("no effect is called '%1'; an effect is a name of the effect list or its number, 0 to 15")
        .arg(text);
}

QString notASlot(const QString& text)
{
    return QStringLiteral("'%1' is no slot; a slot is EFFECT:SLOT, the effect a name of the effect list or its "
                          "number 0 to 15, the slot 1 to 8 (chorus:3, 7:3)")
        .arg(text);
}

std::string effectList(const std::vector<int>& effects)
{
    std::string out;
    for (int e : effects)
        out += (out.empty() ? "" : ", ") + std::string(catalogue::effect(e).listText);
    return out.empty() ? "none" : out;
}

std::string effectTable()
{
    std::string list;
    for (int e = 0; e < kEffectCount; ++e) {
        char entry[40];
        std::snprintf(entry, sizeof entry, "%s%2d %-18s", e % 2 == 0 ? "  " : "", e, catalogue::effect(e).listText);
        list += entry;
        if (e % 2 == 1) {
            while (!list.empty() && list.back() == ' ')
                list.pop_back();
            list += '\n';
        }
    }
    return list;
}

} // namespace qrv::cli
