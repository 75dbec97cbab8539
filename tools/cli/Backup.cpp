#include "Commands.hpp"
#include "Signals.hpp"
#include "TerminalHost.hpp"
#include "UnitCommand.hpp"

#include "app/Program.hpp"
#include "backupfile/BackupFile.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qrv::cli {

namespace {

constexpr const char* kBackupHelp =
    R"(Usage: qrv5173-cli backup [--port PATH]... [--no-system-ports] [--quick] --out FILE
Reads everything the QRV5173 holds that the editor knows of (the preset directory, the
name and data of every stored preset, the slot numbers, the current effect, the effect
switch and every effect's live values) into a JSON backup file (format 1, see README).
Empty slots' data is not read. The file is written only once complete.

Every value is read twice, in two separate passes over the unit, and a value whose two
reads differ is read until one value leads by two reads, so a damaged reply cannot slip
into the file; this takes about twice the time of a single read. The unit's current
effect, switch and that effect's live values and directory are read at the start,
between effects and at the end: a unit restarted or replaced meanwhile fails the backup.

  --port PATH         try this serial port first (repeatable, in this order); the
                      ':'-separated list in QRV5173_PORTS follows, then the system's
                      serial ports, USB ones first
  --no-system-ports   try only the ports given with --port and QRV5173_PORTS
  --out FILE          the backup file to write
  --quick             read every value once: half the time, but a reply damaged on the
                      line goes into the file unnoticed
  --help              show this text

The output is checked to be writable before the unit is read. Progress with the time
left goes to standard error on a terminal.

Ctrl-C, SIGTERM or SIGHUP stop the backup after the current exchange: no file is
written and no temporary file is left, exit status 1. A second signal ends the tool at
once.

Exit status: 0 when the file was written, 1 when no device answered, the link failed,
a value could not be confirmed, another unit answered, the backup was stopped or the
file could not be written, 2 for a wrong command line.
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
  --effect EFFECT     restore only this effect, by name (any case; blanks may be
                      written as - or _) or by number; repeatable. Without it all
                      effects, the current effect and the effect switch are restored.
  --help              show this text

Effects:
%EFFECTS%
Progress with the time left goes to standard error on a terminal.

Ctrl-C, SIGTERM or SIGHUP stop the restore after the current write: it names the
effects completed and, when the stop cut a stored preset short, the slot left empty;
exit status 1. An effect's presets are each either restored whole, as they were, or
empty. A second signal ends the tool at once.

Exit status: 0 when everything was written and read back equal, 1 when the file was
refused, no device answered, the link failed, the restore was stopped or the read-back
differed, 2 for a wrong command line.
)";

// The restore help with the effects listed.
std::string restoreHelp()
{
    std::string text = kRestoreHelp;
    text.replace(text.find("%EFFECTS%\n"), std::string_view("%EFFECTS%\n").size(), effectTable());
    return text;
}

// The slot of effect e whose stored preset the last write left unfinished: the last frame
// sent marked it as being written or wrote its name or data. Its directory byte keeps it
// empty until the preset is whole.
std::optional<int> slotLeftEmpty(const ProgramState& s, const UnitBackup& backup, int e)
{
    const auto& frame = s.outputFrame;
    if (frame[2] != Cmd::WriteByte)
        return std::nullopt;
    const auto address = static_cast<uint16_t>(frame[3] << 8 | frame[4]);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (!backup.effects[static_cast<std::size_t>(e)].presets[static_cast<std::size_t>(slot)].stored())
            continue;
        if (address == Addr::directory(e, slot))
            return frame[6] == Addr::SlotUsed ? std::nullopt : std::optional<int>(slot);
        for (int k = 0; k < kNameLength; ++k)
            if (address == Addr::name(e, slot, k))
                return slot;
        for (int c = 0; c < kDeviceColumns; ++c)
            if (address == Addr::stored(e, slot, c))
                return slot;
    }
    return std::nullopt;
}

// Tells how far a restore came before a stop or a lost link.
void reportCutRestore(const Program& program, const UnitBackup& backup, const std::set<int>& chosen,
                      const RestoreResult& result)
{
    const int signal = stopSignal();
    if (result.end == TransferEnd::Cancelled)
        std::fprintf(stderr, "qrv5173-cli: restore stopped by %s after the current write\n", stopSignalName(signal));
    else
        std::fprintf(stderr, "qrv5173-cli: restore cut off: the device was lost\n");
    std::fprintf(stderr, "Effects completed: %s\n", effectList(result.completed).c_str());
    const std::set<int> all = chosen.empty() ? std::set<int>{} : chosen;
    int cut = -1;
    for (int e = 0; e < kEffectCount && cut < 0; ++e)
        if ((all.empty() || all.contains(e)) &&
            std::find(result.completed.begin(), result.completed.end(), e) == result.completed.end())
            cut = e;
    if (cut < 0) {
        std::fprintf(stderr, "Every effect was written; the read-back that checks them was not finished.\n");
        return;
    }
    const char* name = catalogue::effect(cut).listText;
    if (const auto slot = slotLeftEmpty(program.state, backup, cut))
        std::fprintf(stderr,
                     "%s was stopped part-way: slot %d is empty now (its preset was being written); each of its "
                     "other presets is restored whole or as it was. Restore %s again to complete it.\n",
                     name, *slot + 1, name);
    else
        std::fprintf(stderr,
                     "%s was not completed: each of its presets is restored whole or as it was, and no slot was "
                     "left empty. Restore %s again to complete it.\n",
                     name, name);
}

int runBackup(const QStringList& arguments)
{
    return runGuarded(arguments, [](const QStringList& args, TerminalHost& host) {
        QCommandLineParser parser;
        addLinkOptions(parser);
        parser.addOption({QStringLiteral("out"), QStringLiteral("backup file"), QStringLiteral("FILE")});
        parser.addOption({QStringLiteral("quick"), QStringLiteral("read every value once")});
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
        ReservedSpace reserved = reserveBackupSpace(file);
        if (!reserved.room) {
            std::fprintf(stderr, "qrv5173-cli: cannot write the backup: %s: %s\n", file.c_str(),
                         reserved.problem.c_str());
            return kFailed;
        }
        return withUnit(linkOptions(parser), host, [&](Program& program) {
            const BackupResult result = readUnit(
                program.editor, parser.isSet(QStringLiteral("quick")) ? ReadCare::Quick : ReadCare::Confirmed);
            if (result.end == TransferEnd::Unconfirmed || result.end == TransferEnd::OtherUnit) {
                std::fprintf(stderr, "qrv5173-cli: backup failed: %s; nothing written\n", result.problem.c_str());
                return kFailed;
            }
            if (result.end == TransferEnd::Cancelled) {
                std::fprintf(stderr, "qrv5173-cli: backup stopped by %s; nothing written\n",
                             stopSignalName(stopSignal()));
                return kFailed;
            }
            if (result.end == TransferEnd::Lost) {
                std::fprintf(stderr, "qrv5173-cli: the device was lost during the backup; nothing written\n");
                return kFailed;
            }
            if (const auto problem = writeBackupFile(file, result.unit, &*reserved.room)) {
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
        parser.addOption({QStringLiteral("effect"), QStringLiteral("effect to restore"), QStringLiteral("EFFECT")});
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("backup file"));
        if (!parser.parse(args))
            return usageProblem("restore", parser.errorText());
        if (parser.isSet(QStringLiteral("help"))) {
            std::fputs(restoreHelp().c_str(), stdout);
            return kOk;
        }
        if (parser.positionalArguments().size() != 1)
            return usageProblem("restore", QStringLiteral("give exactly one backup FILE"));
        std::set<int> effects;
        for (const QString& text : parser.values(QStringLiteral("effect"))) {
            const auto e = effectNamed(text);
            if (!e)
                return usageProblem("restore", notAnEffect(text));
            effects.insert(*e);
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
            if (result.end == TransferEnd::Unconfirmed || result.end == TransferEnd::OtherUnit) {
                std::fprintf(stderr, "qrv5173-cli: the restore could not be checked: %s\n", result.problem.c_str());
                return kFailed;
            }
            if (result.end != TransferEnd::Done) {
                reportCutRestore(program, *decoded.unit, effects, result);
                return kFailed;
            }
            if (!result.differences.empty()) {
                std::fprintf(stderr, "qrv5173-cli: the device reads back otherwise than written (%zu differences):\n",
                             result.differences.size());
                for (const std::string& difference : result.differences)
                    std::fprintf(stderr, "  %s\n", difference.c_str());
                return kFailed;
            }
            std::fprintf(stderr, "Restored %s and read %s back equal\n", effectList(result.completed).c_str(),
                         result.completed.size() == 1 ? "it" : "them");
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
