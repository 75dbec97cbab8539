#include "Commands.hpp"
#include "Signals.hpp"
#include "UnitCommand.hpp"

#include "devmem/MemoryDump.hpp"
#include "state/CodePage.hpp"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

namespace qrv::cli {

namespace {

// One command on the unit's stored presets, as its help describes it.
struct SlotCommand {
    const char* name;
    const char* summary;
    const char* arguments; // the usage line after the port options
    const char* description;
    const char* options;   // the command's own options, as help lines, or ""
    const char* done;      // the exit status 0 says ...
    bool writes = true;    // to the unit
};

constexpr SlotCommand kSlots{
    "slots", "list the unit's stored presets, every slot of every effect", "",
    "Lists the QRV5173's 128 preset slots on standard output, one line per slot: the\n"
    "effect's number and name, the slot 1-8 and the stored preset's name (blanks around it\n"
    "left out), or \"empty\". The names are read as the editor's load dialog reads them.\n",
    "", "the list was read", false};

constexpr SlotCommand kCopy{
    "copy", "copy a stored preset to another slot of its effect", "FROM TO",
    "Copies the preset in slot FROM to slot TO of the same effect, replacing what TO held.\n"
    "A preset never goes to another effect's slot.\n",
    "", "the copy reads back as intended"};

constexpr SlotCommand kMove{
    "move", "move a stored preset to another slot of its effect", "FROM TO",
    "Moves the preset in slot FROM to slot TO of the same effect, replacing what TO held;\n"
    "FROM becomes empty. A preset never goes to another effect's slot.\n",
    "", "both slots read back as intended"};

constexpr SlotCommand kSwap{
    "swap", "swap the presets of two slots of one effect", "A B",
    "Swaps the presets (or emptiness) of the slots A and B of one effect.\n", "",
    "both slots read back as intended"};

constexpr SlotCommand kRename{
    "rename", "rename a stored preset", "SLOT NAME",
    "Gives the stored preset in SLOT the NAME (at most eight characters), centred as the\n"
    "editor's store dialog centres it. Quote a name with blanks: rename chorus:2 \"SOFT 2\".\n",
    "", "the name reads back as intended"};

constexpr SlotCommand kClear{
    "clear", "empty a slot", "SLOT",
    "Empties SLOT: its directory byte marks it empty, so the unit lists it as empty.\n", "",
    "the slot reads back empty"};

constexpr SlotCommand kExport{
    "export", "write stored presets to preset files", "[EFFECT[:SLOT]]... --out DIR",
    "Writes every stored preset among the given slots (a whole effect when no slot is\n"
    "given, all 128 slots when nothing is given) to DIR as a preset file (*.fxp) named\n"
    "\"<EFFECT> <SLOT> <NAME>.fxp\", e.g. \"REVERB HALL 3 WIDE.fxp\": the slot's 32 stored bytes\n"
    "and its effect, untouched by page rules, so that importing it gives the same slot\n"
    "back. Empty slots give no file. DIR is made when missing; a file already there is\n"
    "kept, and the new one gets \" (2)\" and so on before \".fxp\". The files written are\n"
    "listed on standard output.\n",
    "  --out DIR           the folder to write the files to\n", "every file was written", false};

constexpr SlotCommand kImport{
    "import", "write preset files to slots of their effect", "FILE... --to EFFECT[:SLOT]",
    "Writes the preset files (*.fxp, 33 bytes) to the unit: to SLOT and the slots after it,\n"
    "or without a slot to the first empty slots of EFFECT. A preset is named after its\n"
    "file, without the \"<EFFECT> <SLOT> \" an export puts first, and centred. A file of\n"
    "another effect, or more files than there are (empty) slots, is refused before\n"
    "anything is written.\n",
    "  --to EFFECT[:SLOT]  where the presets go\n", "every preset reads back as intended"};

std::string helpOf(const SlotCommand& command)
{
    std::string text = std::string("Usage: qrv5173-cli ") + command.name +
                       " [--port PATH]... [--no-system-ports] " + command.arguments + "\n" + command.description +
                       "\n" + command.options +
                       "  --port PATH         try this serial port first (repeatable, in this order); the\n"
                       "                      ':'-separated list in QRV5173_PORTS follows, then the system's\n"
                       "                      serial ports, USB ones first\n"
                       "  --no-system-ports   try only the ports given with --port and QRV5173_PORTS\n"
                       "  --help              show this text\n"
                       "\n"
                       "A slot is written EFFECT:SLOT: the effect by its name (any case; blanks may be\n"
                       "written as - or _) or its number, the slot 1 to 8, as in tap-delay:3 or 6:3.\n"
                       "Effects:\n" +
                       effectTable() + "\n";
    if (command.writes)
        text += "Every byte written is read back until it agrees. A stored preset is marked stored\n"
                "only once its name and data are whole, so a stop or a lost link leaves no slot that\n"
                "reads as stored with mixed data; the tool then says which slots were left how and\n"
                "what a slot left empty or part written held before.\n"
                "\n";
    text += "Ctrl-C, SIGTERM or SIGHUP stop the command after the current exchange, exit status\n"
            "1. A second signal ends the tool at once.\n"
            "\n"
            "Exit status: 0 when " +
            std::string(command.done) +
            ";\n1 when the command was refused (nothing is written to the unit then), no device\n"
            "answered, the link failed, the command was stopped or the unit read back otherwise;\n"
            "2 for a wrong command line.\n";
    return text;
}

// "REVERB HALL 3".
std::string slotText(SlotRef at)
{
    return std::string(catalogue::effect(at.effect).listText) + " " + std::to_string(at.slot + 1);
}

// What a command does on the unit once found, ending with the exit status.
using Work = std::function<int(UnitSlots&)>;
// The command line turned into the work, or the exit status of a wrong one.
using Plan = std::variant<int, Work>;

int runSlotCommand(const QStringList& arguments, const SlotCommand& command, const QList<QCommandLineOption>& own,
                   const std::function<Plan(const QCommandLineParser&, const QStringList&)>& plan)
{
    return runGuarded(arguments, [&](const QStringList& args, TerminalHost& host) {
        QCommandLineParser parser;
        addLinkOptions(parser);
        parser.addOptions(own);
        if (!parser.parse(args))
            return usageProblem(command.name, parser.errorText());
        if (parser.isSet(QStringLiteral("help"))) {
            std::fputs(helpOf(command).c_str(), stdout);
            return kOk;
        }
        const Plan planned = plan(parser, parser.positionalArguments());
        if (const int* status = std::get_if<int>(&planned))
            return *status;
        const Work& work = std::get<Work>(planned);
        return withUnit(linkOptions(parser), host, [&](Program& program) {
            if (!DumpDeviceMemory(program.editor, program.splash, UnitRead::First))
                return kFailed;
            UnitSlots unit(program.editor, UnitSlots::Undo::None);
            return work(unit);
        });
    });
}

std::vector<SlotRef> slotsOf(int effect)
{
    std::vector<SlotRef> out;
    for (int s = 0; s < kSlotCount; ++s)
        out.push_back({effect, s});
    return out;
}

std::vector<SlotRef> everySlot()
{
    std::vector<SlotRef> out;
    for (int e = 0; e < kEffectCount; ++e)
        for (const SlotRef& at : slotsOf(e))
            out.push_back(at);
    return out;
}

// The positional arguments as `count` slots, or the usage status of a wrong one.
std::variant<int, std::vector<SlotRef>> slotsNamed(const SlotCommand& command, const QStringList& texts,
                                                  qsizetype count)
{
    if (texts.size() != count)
        return usageProblem(command.name, QStringLiteral("give %1").arg(QLatin1String(command.arguments)));
    std::vector<SlotRef> out;
    for (const QString& text : texts) {
        const auto at = parseSlotRef(text.toStdString());
        if (!at)
            return usageProblem(command.name, notASlot(text));
        out.push_back(*at);
    }
    return out;
}

// Says how the operation ended; `done` is what a complete one did.
int reported(const SlotCommand& command, const SlotOutcome& outcome, const std::string& done)
{
    const char* message = outcome.message.c_str();
    if (outcome.refused) {
        std::fprintf(stderr, "qrv5173-cli %s: %s\n", command.name, message);
        return kFailed;
    }
    switch (outcome.end) {
    case TransferEnd::Done:
        std::fprintf(stderr, "%s\n", done.c_str());
        return kOk;
    case TransferEnd::Cancelled:
        std::fprintf(stderr, "qrv5173-cli: %s stopped by %s after the current exchange\n", command.name,
                     stopSignalName(stopSignal()));
        break;
    case TransferEnd::Lost:
        std::fprintf(stderr, "qrv5173-cli: %s cut off: the device was lost\n", command.name);
        break;
    default:
        std::fprintf(stderr, "qrv5173-cli: the %s could not be checked\n", command.name);
        break;
    }
    if (!outcome.message.empty())
        std::fprintf(stderr, "%s\n", message);
    return kFailed;
}

int runList(const QStringList& arguments)
{
    return runSlotCommand(arguments, kSlots, {}, [](const QCommandLineParser&, const QStringList& texts) -> Plan {
        if (!texts.isEmpty())
            return usageProblem(kSlots.name, QStringLiteral("unexpected argument '%1'").arg(texts.constFirst()));
        return Work{[](UnitSlots& unit) {
                        if (const SlotOutcome read = unit.provide(everySlot()); !read.done())
                            return reported(kSlots, read, "");
                        for (const SlotRef& at : everySlot())
                            std::printf("%2d  %-18s %d  %s\n", at.effect, catalogue::effect(at.effect).listText,
                                        at.slot + 1, unit.stored(at) ? trimmed(unit.name(at)).c_str() : "empty");
                        return kOk;
                    }};
    });
}

// copy, move and swap: two slots of one effect.
int runPair(const QStringList& arguments, const SlotCommand& command,
            SlotOutcome (*operation)(UnitSlots&, SlotRef, SlotRef), const char* doneFormat)
{
    return runSlotCommand(arguments, command, {}, [&](const QCommandLineParser&, const QStringList& texts) -> Plan {
        const auto named = slotsNamed(command, texts, 2);
        if (const int* status = std::get_if<int>(&named))
            return *status;
        const auto pair = std::get<std::vector<SlotRef>>(named);
        return Work{[&command, operation, doneFormat, pair](UnitSlots& unit) {
                        char done[160];
                        std::snprintf(done, sizeof done, doneFormat, slotText(pair[0]).c_str(),
                                      slotText(pair[1]).c_str());
                        return reported(command, operation(unit, pair[0], pair[1]), done);
                    }};
    });
}

int runCopy(const QStringList& arguments)
{
    return runPair(
        arguments, kCopy, [](UnitSlots& unit, SlotRef from, SlotRef to) { return unit.copy({from}, {to}); },
        "Copied %s to %s and read it back");
}

int runMove(const QStringList& arguments)
{
    return runPair(
        arguments, kMove, [](UnitSlots& unit, SlotRef from, SlotRef to) { return unit.move({from}, {to}); },
        "Moved %s to %s and read both back");
}

int runSwap(const QStringList& arguments)
{
    return runPair(
        arguments, kSwap, [](UnitSlots& unit, SlotRef a, SlotRef b) { return unit.swap(a, b); },
        "Swapped %s and %s and read both back");
}

int runRename(const QStringList& arguments)
{
    return runSlotCommand(arguments, kRename, {}, [](const QCommandLineParser&, const QStringList& texts) -> Plan {
        if (texts.size() != 2)
            return usageProblem(kRename.name, QStringLiteral("give SLOT NAME"));
        const auto named = slotsNamed(kRename, texts.mid(0, 1), 1);
        if (const int* status = std::get_if<int>(&named))
            return *status;
        const SlotRef at = std::get<std::vector<SlotRef>>(named).front();
        const std::string name = texts[1].toStdString();
        if (texts[1].trimmed().isEmpty() || texts[1].size() > kNameLength)
            return usageProblem(kRename.name, QStringLiteral("a name has 1 to %1 characters").arg(kNameLength));
        return Work{[at, name](UnitSlots& unit) {
                        return reported(kRename, unit.rename(at, name),
                                        "Renamed " + slotText(at) + " to " + name + " and read it back");
                    }};
    });
}

int runClear(const QStringList& arguments)
{
    return runSlotCommand(arguments, kClear, {}, [](const QCommandLineParser&, const QStringList& texts) -> Plan {
        const auto named = slotsNamed(kClear, texts, 1);
        if (const int* status = std::get_if<int>(&named))
            return *status;
        const SlotRef at = std::get<std::vector<SlotRef>>(named).front();
        return Work{[at](UnitSlots& unit) {
                        return reported(kClear, unit.clear({at}), "Cleared " + slotText(at) + " and read it back empty");
                    }};
    });
}

const QCommandLineOption kOutOption(QStringLiteral("out"), QStringLiteral("folder"), QStringLiteral("DIR"));
const QCommandLineOption kToOption(QStringLiteral("to"), QStringLiteral("where to"), QStringLiteral("EFFECT[:SLOT]"));

int runExport(const QStringList& arguments)
{
    return runSlotCommand(arguments, kExport, {kOutOption}, [](const QCommandLineParser& parser,
                                                                const QStringList& texts) -> Plan {
        if (parser.value(kOutOption).isEmpty())
            return usageProblem(kExport.name, QStringLiteral("--out DIR is missing"));
        std::vector<SlotRef> chosen = texts.isEmpty() ? everySlot() : std::vector<SlotRef>{};
        for (const QString& text : texts) {
            if (const auto at = parseSlotRef(text.toStdString())) {
                chosen.push_back(*at);
            } else if (const auto effect = effectNamed(text)) {
                const auto all = slotsOf(*effect);
                chosen.insert(chosen.end(), all.begin(), all.end());
            } else {
                return usageProblem(kExport.name, text.contains(QLatin1Char(':')) ? notASlot(text) : notAnEffect(text));
            }
        }
        // The folder must take files before the unit is asked for anything.
        const std::filesystem::path folder = parser.value(kOutOption).toStdString();
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error || !std::filesystem::is_directory(folder)) {
            std::fprintf(stderr, "qrv5173-cli: cannot write to %s: %s\n", folder.c_str(),
                         error ? error.message().c_str() : "not a folder");
            return kFailed;
        }
        return Work{[chosen, folder](UnitSlots& unit) {
                        const UnitSlots::Exported exported = unit.exportSlots(chosen, folder);
                        for (const std::filesystem::path& file : exported.files)
                            std::printf("%s\n", file.c_str());
                        return reported(kExport, exported.outcome,
                                        "Exported " + countText(exported.files.size(), "stored preset") + " to " +
                                            folder.string());
                    }};
    });
}

int runImport(const QStringList& arguments)
{
    return runSlotCommand(arguments, kImport, {kToOption}, [](const QCommandLineParser& parser,
                                                               const QStringList& texts) -> Plan {
        const QString to = parser.value(kToOption);
        if (to.isEmpty())
            return usageProblem(kImport.name, QStringLiteral("--to EFFECT[:SLOT] is missing"));
        if (texts.isEmpty())
            return usageProblem(kImport.name, QStringLiteral("give the preset FILEs to import"));
        std::vector<std::filesystem::path> files;
        for (const QString& text : texts)
            files.emplace_back(text.toStdString());
        const auto first = parseSlotRef(to.toStdString());
        const auto effect = first ? std::optional<int>(first->effect) : effectNamed(to);
        if (!effect)
            return usageProblem(kImport.name, to.contains(QLatin1Char(':')) ? notASlot(to) : notAnEffect(to));
        std::vector<SlotRef> slotsTo;
        if (first) {
            if (first->slot + texts.size() > kSlotCount)
                return usageProblem(kImport.name,
                                    QStringLiteral("%1 files from slot %2 go past slot %3")
                                        .arg(texts.size())
                                        .arg(first->slot + 1)
                                        .arg(kSlotCount));
            for (qsizetype k = 0; k < texts.size(); ++k)
                slotsTo.push_back({first->effect, first->slot + static_cast<int>(k)});
        }
        return Work{[files, effect = *effect, slotsTo](UnitSlots& unit) {
                        const SlotOutcome outcome = unit.importFiles(files, effect, slotsTo);
                        std::string into;
                        for (const SlotRef& at : outcome.changed)
                            into += (into.empty() ? "" : ", ") + slotText(at);
                        return reported(kImport, outcome,
                                        "Imported " + countText(files.size(), "preset") + " into " + into +
                                            (files.size() == 1 ? " and read it back" : " and read them back"));
                    }};
    });
}

[[maybe_unused]] const bool registered = registerCommand({kSlots.name, kSlots.summary, runList}) &&
                                         registerCommand({kCopy.name, kCopy.summary, runCopy}) &&
                                         registerCommand({kMove.name, kMove.summary, runMove}) &&
                                         registerCommand({kSwap.name, kSwap.summary, runSwap}) &&
                                         registerCommand({kRename.name, kRename.summary, runRename}) &&
                                         registerCommand({kClear.name, kClear.summary, runClear}) &&
                                         registerCommand({kExport.name, kExport.summary, runExport}) &&
                                         registerCommand({kImport.name, kImport.summary, runImport});

} // namespace

} // namespace qrv::cli
