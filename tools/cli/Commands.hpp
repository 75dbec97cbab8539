#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qrv::cli {

// One subcommand of qrv5173-cli. Each command file registers its own with one line:
//   const bool registered = registerCommand({"name", "summary", runName});
struct Command {
    std::string_view name;
    std::string_view summary;
    int (*run)(int argc, char** argv); // argv[0] is the command's name; returns the exit status
};

bool registerCommand(const Command& command);
const std::vector<Command>& commands();

// Exit statuses shared by the commands.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

} // namespace qrv::cli
