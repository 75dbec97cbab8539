#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>
#include <vector>

namespace qrv::cli {

// One subcommand of qrv5173-cli. Each command file registers its own with one line:
//   const bool registered = registerCommand({"name", "summary", runName});
struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(const QStringList& arguments); // arguments[0] is the command's name; returns the exit status
};

bool registerCommand(const Command& command);
const std::vector<Command>& commands();

// Exit statuses shared by the commands.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

// Adds --help to a command's parser, which holds the command's own options, and parses
// its arguments. Prints the help (usage is the line after "Usage: qrv5173-cli ") or the
// error; returns the exit status then, nothing when the command should run.
std::optional<int> parseCommand(QCommandLineParser& parser, const QStringList& arguments, const QString& usage,
                                const QString& description);
// Reports a wrong command line of the command; returns kUsage.
int usageError(const QStringList& arguments, const QString& problem);

} // namespace qrv::cli
