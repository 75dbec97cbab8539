#pragma once

#include "TerminalHost.hpp"

#include "app/Program.hpp"
#include "devmem/UnitSlots.hpp"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qrv::cli {

// What the commands that talk to the unit share: the port options, the connection, the
// stop signals and the names of effects and slots on the command line.
struct LinkOptions {
    std::vector<std::string> ports;
    bool systemPorts = true;
    bool exactOrder = false;   // the unit read byte by byte in the original order
    bool startUpLines = false; // the start-up's status lines on standard error
};

// Reports a wrong command line of `command`; returns kUsage.
int usageProblem(const char* command, const QString& problem);

// --port, --no-system-ports and --help; the single-dash words read as long options.
void addLinkOptions(QCommandLineParser& parser);
LinkOptions linkOptions(const QCommandLineParser& parser);

// Connects as the editor does at start-up and runs the work, which ends with its exit
// status; the device search and the link may end the run through the host.
int withUnit(const LinkOptions& options, TerminalHost& host, const std::function<int(Program&)>& work);

// Runs a command, turning the host's end of the program and a stop signal into status 1.
int runGuarded(const QStringList& arguments, const std::function<int(const QStringList&, TerminalHost&)>& work);

// An effect as parseEffect takes it.
std::optional<int> effectNamed(const QString& text);
// What a wrong effect or slot is told, naming what was given.
QString notAnEffect(const QString& text);
QString notASlot(const QString& text);

// "REVERB HALL, CHORUS", or "none".
std::string effectList(const std::vector<int>& effects);
// The effects two to a line with their numbers, for a command's help.
std::string effectTable();

} // namespace qrv::cli
