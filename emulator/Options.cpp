#include "Options.hpp"

#include <charconv>

namespace qrv {

namespace {

std::optional<uint64_t> positive(const std::string& text)
{
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0)
        return std::nullopt;
    return value;
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& arguments)
{
    EmulatorOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        const auto value = [&]() -> const std::string* { return i + 1 < arguments.size() ? &arguments[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--garbage") {
            options.garbage = true;
        } else if (arg == "--link" || arg == "--log" || arg == "--memory") {
            const std::string* path = value();
            if (!path || path->empty())
                return {std::nullopt, arg + " needs a path"};
            (arg == "--link" ? options.linkPath : arg == "--log" ? options.logPath : options.memoryPath) = *path;
        } else if (arg == "--drop-every" || arg == "--hangup-after" || arg == "--late-every" ||
                   arg == "--extra-every" || arg == "--short-every" || arg == "--late-by") {
            const std::string* text = value();
            const auto n = text ? positive(*text) : std::nullopt;
            if (!n)
                return {std::nullopt, arg + " needs a whole number of at least 1"};
            if (arg == "--late-by")
                options.lateBy = static_cast<double>(*n) / 1000.0;
            else
                (arg == "--drop-every"         ? options.dropEvery
                     : arg == "--hangup-after" ? options.hangupAfter
                     : arg == "--late-every"   ? options.lateEvery
                     : arg == "--extra-every"  ? options.extraEvery
                                               : options.shortEvery) = *n;
        } else {
            return {std::nullopt, "unknown option " + arg};
        }
    }
    return {options, {}};
}

std::string usageText()
{
    return R"(Usage: qrv5173-emu [options]
Emulates a QRV5173 behind a pseudo-terminal. The first line on standard output is the
path of the terminal to open; the program then runs until SIGTERM or SIGINT.

  --fast            answer at once instead of at 4800 baud (a byte takes 1/480 s on
                    the wire both ways: a request counts only once it has fully
                    arrived, and reply bytes leave one by one)
  --link PATH       also reach the terminal through the symbolic link PATH
                    (replaces an older link there; removed on exit)
  --memory FILE     load the 65536-byte memory image from FILE if it exists and write
                    it back (temporary file, then rename) after every memory write;
                    a file of another size is refused with exit status 2
  --log FILE        write (from empty) one line per frame received and per reply sent:
                      <sequence> > <frame bytes>     request, as the device took it
                      <sequence> < <reply bytes>     reply, once its last byte is out
                    bytes in hex separated by blanks; the sequence number counts the
                    frames from 1 and a reply carries the number of its request
Fault injection (a frame left unanswered is not executed either):
  --silent          answer no frame
  --drop-every N    leave every Nth frame unanswered
  --garbage         invert every reply byte (same length, byte 3 is not 9C)
  --late-every N    hold back every Nth reply (later replies queue behind it)
  --late-by MS      how long --late-every holds a reply back (default 3400)
  --extra-every N   send two zero bytes after every Nth reply
  --short-every N   send only the first half of every Nth reply
  --hangup-after N  after answering N frames, wait until the reply has been read
                    (at most a second), close the terminal and exit with status 0
  --help            show this text

Exit status: 0 after a signal or a hang-up, 1 when the terminal cannot be set up,
2 for a wrong command line or memory file.
)";
}

} // namespace qrv
