#include "CommandLine.hpp"

#include <QCommandLineParser>
#include <QStringList>

namespace qrv {

namespace {

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this text.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")};
    QCommandLineOption fast{QStringLiteral("fast"),
                            QStringLiteral("Answer at once instead of at 4800 baud (a byte takes 1/480 s on the wire "
                                           "both ways: a request counts only once it has fully arrived, and reply "
                                           "bytes leave one by one).")};
    QCommandLineOption link{QStringLiteral("link"),
                            QStringLiteral("Also reach the terminal through the symbolic link PATH (replaces an "
                                           "older link there; removed on exit)."),
                            QStringLiteral("PATH")};
    QCommandLineOption panel{QStringLiteral("panel"),
                             QStringLiteral("Play the unit's front panel from the named pipe PATH (made when "
                                            "missing): each line \"select E\" selects effect E (0 to 15), \"set E C "
                                            "V\" gives column C (0 to 31) of effect E's live values the value V (0 "
                                            "to 255), as the unit's own buttons and knobs do; nothing goes to the "
                                            "terminal. A wrong line is said on standard error."),
                             QStringLiteral("PATH")};
    QCommandLineOption memory{QStringLiteral("memory"),
                              QStringLiteral("Load the 65536-byte memory image from FILE if it exists and write it "
                                             "back (temporary file, then rename) after every memory write; a file "
                                             "of another size is refused with exit status 2."),
                              QStringLiteral("FILE")};
    QCommandLineOption log{QStringLiteral("log"),
                           QStringLiteral("Write (from empty) one line per frame received and per reply sent (see "
                                          "above)."),
                           QStringLiteral("FILE")};
    QCommandLineOption silent{QStringLiteral("silent"), QStringLiteral("Fault: answer no frame.")};
    QCommandLineOption dropEvery{QStringLiteral("drop-every"),
                                 QStringLiteral("Fault: leave every Nth frame unanswered."), QStringLiteral("N")};
    QCommandLineOption garbage{QStringLiteral("garbage"),
                               QStringLiteral("Fault: invert every reply byte (same length, byte 3 is not 9C).")};
    QCommandLineOption lateEvery{QStringLiteral("late-every"),
                                 QStringLiteral("Fault: hold back every Nth reply (later replies queue behind it)."),
                                 QStringLiteral("N")};
    QCommandLineOption lateBy{QStringLiteral("late-by"),
                              QStringLiteral("How long --late-every holds a reply back (default 3400)."),
                              QStringLiteral("MS")};
    QCommandLineOption extraEvery{QStringLiteral("extra-every"),
                                  QStringLiteral("Fault: send two zero bytes after every Nth reply."),
                                  QStringLiteral("N")};
    QCommandLineOption shortEvery{QStringLiteral("short-every"),
                                  QStringLiteral("Fault: send only the first half of every Nth reply."),
                                  QStringLiteral("N")};
    QCommandLineOption noiseEvery{QStringLiteral("noise-every"),
                                  QStringLiteral("Fault: stray bytes on the line with every Nth reply."),
                                  QStringLiteral("N")};
    QCommandLineOption noiseAt{QStringLiteral("noise-at"),
                               QStringLiteral("Where --noise-every puts them: before, inside or after the reply "
                                              "(default before)."),
                               QStringLiteral("WHERE")};
    QCommandLineOption noiseBytes{QStringLiteral("noise-bytes"),
                                  QStringLiteral("How many stray bytes --noise-every sends (default 3)."),
                                  QStringLiteral("K")};
    QCommandLineOption flipEvery{QStringLiteral("flip-every"),
                                 QStringLiteral("Fault: flip the lowest bit of one byte of every Nth reply."),
                                 QStringLiteral("N")};
    QCommandLineOption flipByte{QStringLiteral("flip-byte"),
                                QStringLiteral("Which reply byte --flip-every flips, from 0 (default 0; the last "
                                               "byte when the reply is shorter)."),
                                QStringLiteral("I")};
    QCommandLineOption flipLength{QStringLiteral("flip-length"),
                                  QStringLiteral("Only replies of L bytes count for --flip-every (default: all)."),
                                  QStringLiteral("L")};
    QCommandLineOption bitErrors{QStringLiteral("bit-errors"),
                                 QStringLiteral("Fault: each byte sent to the PC has one random bit flipped with "
                                                "probability RATE (1e-4: one byte in 10000 on average)."),
                                 QStringLiteral("RATE")};
    QCommandLineOption seed{QStringLiteral("seed"),
                            QStringLiteral("Seed of --bit-errors: the same seed and the same requests give the same "
                                           "errors (default 1)."),
                            QStringLiteral("N")};
    QCommandLineOption powerCycleAfter{QStringLiteral("power-cycle-after"),
                                       QStringLiteral("Fault: after answering N frames, the unit restarts behind "
                                                      "the port (as SIGRTMIN, see above)."),
                                       QStringLiteral("N")};
    QCommandLineOption swapAfter{QStringLiteral("swap-after"),
                                 QStringLiteral("Fault: after answering N frames, another unit answers (as "
                                                "SIGRTMIN+1, see above)."),
                                 QStringLiteral("N")};
    QCommandLineOption swapMemory{QStringLiteral("swap-memory"),
                                  QStringLiteral("The 65536-byte memory image of the other unit (read at start, never "
                                                 "written; default: the factory image)."),
                                  QStringLiteral("FILE")};
    QCommandLineOption blockIgnoresEffect{
        QStringLiteral("block-ignores-effect"),
        QStringLiteral("Fault: answer the block read (1E) with the current effect's values whatever effect it asks "
                       "for.")};
    QCommandLineOption blockCurrentOnly{
        QStringLiteral("block-current-only"),
        QStringLiteral("Fault: answer the block read (1E) only for the current effect, nothing for the others.")};
    QCommandLineOption hangupAfter{QStringLiteral("hangup-after"),
                                   QStringLiteral("Fault: after answering N frames, wait until the reply has been "
                                                  "read (at most a second), close the terminal and exit with "
                                                  "status 0."),
                                   QStringLiteral("N")};

    Parser()
    {
        parser.setApplicationDescription(
            QStringLiteral("Emulates a QRV5173 behind a pseudo-terminal. The first line on standard output is the\n"
                           "path of the terminal to open; the program then runs until SIGTERM or SIGINT.\n"
                           "\n"
                           "SIGUSR1 unplugs the unit: the terminal closes (the client's port fails) and the --link\n"
                           "goes. SIGUSR2 plugs it in again: a new terminal, its path on a new line, the link back.\n"
                           "The unit keeps its memory meanwhile.\n"
                           "\n"
                           "With the terminal kept open, SIGRTMIN power-cycles the unit: effect 0, the switch on,\n"
                           "and each effect's live values become its stored preset under its slot number (the\n"
                           "factory values when that slot is empty); stored presets, names, directory and slot\n"
                           "numbers stay. SIGRTMIN+1 swaps in another unit (--swap-memory, or the factory image);\n"
                           "the next SIGRTMIN+1 brings the first back. Each unit keeps its memory; --memory is\n"
                           "written only while the first one answers. SIGRTMIN+2 presses the front panel's Next:\n"
                           "the unit selects the following effect (after 15 comes 0), and says nothing on the wire.\n"
                           "\n"
                           "The --log file has one line per frame:\n"
                           "  <sequence> > <frame bytes>     request, as the device took it\n"
                           "  <sequence> < <reply bytes>     reply, once its last byte is out\n"
                           "bytes in hex separated by blanks; the sequence number counts the frames from 1 and a\n"
                           "reply carries the number of its request. A frame left unanswered by a fault is not\n"
                           "executed either.\n"
                           "\n"
                           "Exit status: 0 after a signal or a hang-up, 1 when the terminal cannot be set up,\n"
                           "2 for a wrong command line or memory file."));
        parser.addOptions({help,
                           version,
                           fast,
                           link,
                           panel,
                           memory,
                           log,
                           silent,
                           dropEvery,
                           garbage,
                           lateEvery,
                           lateBy,
                           extraEvery,
                           shortEvery,
                           noiseEvery,
                           noiseAt,
                           noiseBytes,
                           flipEvery,
                           flipByte,
                           flipLength,
                           bitErrors,
                           seed,
                           powerCycleAfter,
                           swapAfter,
                           swapMemory,
                           hangupAfter,
                           blockIgnoresEffect,
                           blockCurrentOnly});
    }
};

QString optionName(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& arguments)
{
    Parser p;
    QStringList list{QStringLiteral("qrv5173-emu")};
    for (const std::string& argument : arguments)
        list.append(QString::fromStdString(argument));
    if (!p.parser.parse(list)) {
        const QStringList unknown = p.parser.unknownOptionNames();
        const std::string error = unknown.isEmpty()
            ? p.parser.errorText().toStdString()
            : "unknown option " + optionName(unknown.constFirst()).toStdString();
        return {std::nullopt, error};
    }
    if (!p.parser.positionalArguments().isEmpty())
        return {std::nullopt, "unexpected argument " + p.parser.positionalArguments().constFirst().toStdString()};

    EmulatorOptions options;
    options.help = p.parser.isSet(p.help);
    options.version = p.parser.isSet(p.version);
    options.fast = p.parser.isSet(p.fast);
    options.silent = p.parser.isSet(p.silent);
    options.garbage = p.parser.isSet(p.garbage);
    options.blockIgnoresEffect = p.parser.isSet(p.blockIgnoresEffect);
    options.blockCurrentOnly = p.parser.isSet(p.blockCurrentOnly);
    if (options.blockIgnoresEffect && options.blockCurrentOnly)
        return {std::nullopt, "--block-ignores-effect and --block-current-only exclude each other"};
    for (auto [option, path] :
         {std::pair{&p.link, &options.linkPath}, std::pair{&p.panel, &options.panelPath},
          std::pair{&p.log, &options.logPath},
          std::pair{&p.memory, &options.memoryPath}, std::pair{&p.swapMemory, &options.swapMemoryPath}}) {
        if (!p.parser.isSet(*option))
            continue;
        *path = p.parser.value(*option).toStdString();
        if (path->empty())
            return {std::nullopt, optionName(option->names().constFirst()).toStdString() + " needs a path"};
    }
    uint64_t lateByMs = 0;
    for (auto [option, count] :
         {std::pair{&p.dropEvery, &options.dropEvery}, std::pair{&p.hangupAfter, &options.hangupAfter},
          std::pair{&p.lateEvery, &options.lateEvery}, std::pair{&p.lateBy, &lateByMs},
          std::pair{&p.extraEvery, &options.extraEvery}, std::pair{&p.shortEvery, &options.shortEvery},
          std::pair{&p.noiseEvery, &options.noiseEvery}, std::pair{&p.noiseBytes, &options.noiseBytes},
          std::pair{&p.flipEvery, &options.flipEvery}, std::pair{&p.flipLength, &options.flipLength},
          std::pair{&p.swapAfter, &options.swapAfter}, std::pair{&p.powerCycleAfter, &options.powerCycleAfter}}) {
        if (!p.parser.isSet(*option))
            continue;
        const auto n = parseCount(p.parser.value(*option).toStdString());
        if (!n)
            return {std::nullopt,
                    optionName(option->names().constFirst()).toStdString() + " needs a whole number of at least 1"};
        *count = *n;
    }
    for (auto [option, number] : {std::pair{&p.flipByte, &options.flipByte}, std::pair{&p.seed, &options.seed}}) {
        if (!p.parser.isSet(*option))
            continue;
        const std::string text = p.parser.value(*option).toStdString();
        const auto n = text == "0" ? std::optional<uint64_t>(0) : parseCount(text);
        if (!n)
            return {std::nullopt,
                    optionName(option->names().constFirst()).toStdString() + " needs a whole number of at least 0"};
        *number = *n;
    }
    if (p.parser.isSet(p.bitErrors)) {
        const auto rate = parseRate(p.parser.value(p.bitErrors).toStdString());
        if (!rate)
            return {std::nullopt, "--bit-errors needs a rate above 0 and at most 1, such as 1e-4"};
        options.bitErrorRate = *rate;
    }
    if (p.parser.isSet(p.noiseAt)) {
        const QString where = p.parser.value(p.noiseAt);
        if (where == QStringLiteral("before"))
            options.noiseAt = EmulatorOptions::NoiseAt::Before;
        else if (where == QStringLiteral("inside"))
            options.noiseAt = EmulatorOptions::NoiseAt::Inside;
        else if (where == QStringLiteral("after"))
            options.noiseAt = EmulatorOptions::NoiseAt::After;
        else
            return {std::nullopt, "--noise-at needs before, inside or after"};
    }
    if (lateByMs != 0)
        options.lateBy = static_cast<double>(lateByMs) / 1000.0;
    return {options, {}};
}

std::string usageText()
{
    QString text = Parser().parser.helpText();
    // Qt's usage line would name the program as "<executable_name>" without a QCoreApplication.
    return text.replace(0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: qrv5173-emu [options]"))
        .toStdString();
}

} // namespace qrv
