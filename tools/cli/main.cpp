#include "Commands.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

namespace qrv::cli {

namespace {
std::vector<Command>& registry()
{
    static std::vector<Command> all;
    return all;
}
} // namespace

bool registerCommand(const Command& command)
{
    registry().push_back(command);
    std::sort(registry().begin(), registry().end(), [](const Command& a, const Command& b) { return a.name < b.name; });
    return true;
}

const std::vector<Command>& commands()
{
    return registry();
}

namespace {

void usage(std::FILE* out)
{
    std::fputs("Usage: qrv5173-cli COMMAND [options]\n"
               "Talks to a QRV5173 effect processor from the terminal.\n\nCommands:\n",
               out);
    for (const Command& command : commands())
        std::fprintf(out, "  %-8.*s  %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
                     static_cast<int>(command.summary.size()), command.summary.data());
    std::fputs("\n'qrv5173-cli COMMAND --help' describes a command.\n", out);
}

} // namespace

} // namespace qrv::cli

int main(int argc, char** argv)
{
    using namespace qrv::cli;
    if (argc < 2) {
        usage(stderr);
        return kUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        usage(stdout);
        return kOk;
    }
    for (const Command& command : commands())
        if (command.name == name)
            return command.run(argc - 1, argv + 1);
    std::fprintf(stderr, "qrv5173-cli: unknown command '%s'\n\n", name.c_str());
    usage(stderr);
    return kUsage;
}
