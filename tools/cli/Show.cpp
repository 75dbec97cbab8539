#include "Commands.hpp"

#include "state/ValueTables.hpp"
#include "storage/FileAccess.hpp"
#include "storage/FileView.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace qrv::cli {

namespace {

constexpr const char* kShowHelp =
    R"(Usage: qrv5173-cli show FILE [--json]
Prints a preset file (*.fxp, 33 bytes) or a project file (*.prj, 528 bytes) as the
editor's pages show it: per effect its name and, for every parameter, the label and
the text of its control (values, equaliser bands as gain, frequency and width, filter
frequencies, check boxes as on/off).

  --json   print the same as JSON
  --help   show this text

Exit status: 0 when the file was shown, 1 for a missing or damaged file, 2 for a wrong
command line.
)";

QString text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

QByteArray renderJson(const FileView& view)
{
    QJsonArray effects;
    for (const EffectView& effect : view.effects) {
        QJsonArray values;
        for (const ShownValue& value : effect.values)
            values.append(QJsonObject{{"label", text(value.label)},
                                      {"column", value.column},
                                      {"stored", value.stored},
                                      {"text", text(value.text)}});
        effects.append(QJsonObject{
            {"effect", effect.effect}, {"name", text(effect.name)}, {"page", text(effect.page)}, {"values", values}});
    }
    const QJsonObject root{{"kind", view.kind == FileView::Kind::Preset ? "preset" : "project"}, {"effects", effects}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

int fail(const std::string& file, const std::string& problem)
{
    std::fprintf(stderr, "qrv5173-cli show: %s: %s\n", file.c_str(), problem.c_str());
    return kFailed;
}

int runShow(int argc, char** argv)
{
    std::string file;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kShowHelp, stdout);
            return kOk;
        }
        if (arg == "--json") {
            json = true;
        } else if (arg.starts_with("-") || !file.empty()) {
            std::fprintf(stderr, "qrv5173-cli show: unexpected argument '%s'\n\n%s", arg.c_str(), kShowHelp);
            return kUsage;
        } else {
            file = arg;
        }
    }
    if (file.empty()) {
        std::fputs(kShowHelp, stderr);
        return kUsage;
    }

    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error)
        return fail(file, error.message());
    if (const std::string problem = fileSizeProblem(size); !problem.empty())
        return fail(file, problem);
    const FileRead read = readExactFile(file, static_cast<std::size_t>(size));
    if (read.outcome != FileRead::Outcome::Read)
        return fail(file, read.outcome == FileRead::Outcome::NotFound ? "No such file." : read.problem);
    std::string problem;
    const auto view = describeFile(buildValueTables(), read.bytes, '.', problem);
    if (!view)
        return fail(file, problem);
    if (json) {
        const QByteArray out = renderJson(*view);
        std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
    } else {
        const std::string out = renderText(*view);
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    return kOk;
}

const bool registered = registerCommand({"show", "print a preset or project file as the editor shows it", runShow});

} // namespace

} // namespace qrv::cli
