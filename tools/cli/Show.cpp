#include "Commands.hpp"

#include "state/ValueTables.hpp"
#include "storage/FileCodec.hpp"
#include "storage/PresetLibrary.hpp"
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

int runShow(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the same as JSON."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A preset (*.fxp) or project (*.prj) file."));
    const auto ended = parseCommand(
        parser, arguments, QStringLiteral("show FILE [--json]"),
        QStringLiteral("Prints a preset file (*.fxp, 33 bytes) or a project file (*.prj, 528 bytes) as the\n"
                       "editor's pages show it: per effect its name and, for every parameter, the label and\n"
                       "the text of its control (values, equaliser bands as gain, frequency and width, filter\n"
                       "frequencies, check boxes as on/off). Like the editor, it reads the first 33 bytes of a\n"
                       "longer .fxp file and the first 528 of a longer .prj file (and says how many bytes it\n"
                       "ignored); a file of another name must hold exactly one or the other.\n"
                       "\n"
                       "Exit status: 0 when the file was shown, 1 for a missing or damaged file, 2 for a wrong\n"
                       "command line."));
    if (ended)
        return *ended;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1 || files.constFirst().isEmpty())
        return usageError(arguments,
                          files.size() > 1 ? QStringLiteral("unexpected argument '%1'").arg(files[1])
                                           : QStringLiteral("FILE is missing"));
    const std::string file = files.constFirst().toStdString();

    // A .fxp or .prj file gives what the editor loads from it; another name needs one of the sizes.
    FileRead read;
    if (const auto kind = libraryKindOf(file)) {
        read = readLoadable(file, *kind == LibraryFile::Kind::Preset ? kPresetFileSize : kProjectFileSize);
    } else {
        std::error_code error;
        const auto size = std::filesystem::file_size(file, error);
        if (error)
            return fail(file, error.message());
        if (const std::string problem = fileSizeProblem(size); !problem.empty())
            return fail(file, problem);
        read = readExactFile(file, static_cast<std::size_t>(size));
    }
    if (read.outcome != FileRead::Outcome::Read)
        return fail(file, read.outcome == FileRead::Outcome::NotFound ? "No such file." : read.problem);
    if (read.trailing > 0)
        std::fprintf(stderr, "qrv5173-cli show: %s: the %ju bytes after the first %zu were ignored\n", file.c_str(),
                     read.trailing, read.bytes.size());
    std::string problem;
    const auto view = describeFile(buildValueTables(), read.bytes, '.', problem);
    if (!view)
        return fail(file, problem);
    if (parser.isSet(json)) {
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
