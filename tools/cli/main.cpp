#include "Commands.hpp"

#include "state/Notice.hpp"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace qrv::cli {

namespace {
std::vector<Command>& registry()
{
    static std::vector<Command> all;
    return all;
}

void print(std::FILE* out, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), out);
}

// Qt's usage line names the program as it was started and knows no commands.
QString withUsage(const QCommandLineParser& parser, const QString& usage)
{
    QString text = parser.helpText();
    return text.replace(0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: qrv5173-cli ") + usage);
}

QCommandLineOption helpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this text."));
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

std::optional<int> parseCommand(QCommandLineParser& parser, const QStringList& arguments, const QString& usage,
                                const QString& description)
{
    const QCommandLineOption help = helpOption();
    parser.addOption(help);
    parser.setApplicationDescription(description);
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        print(stdout, withUsage(parser, usage));
        return kOk;
    }
    if (!parsed)
        return usageError(arguments, parser.errorText());
    return std::nullopt;
}

int usageError(const QStringList& arguments, const QString& problem)
{
    print(stderr, QStringLiteral("qrv5173-cli %1: %2 (see --help)\n").arg(arguments.constFirst(), problem));
    return kUsage;
}

} // namespace qrv::cli

int main(int argc, char** argv)
{
    using namespace qrv::cli;
    QCoreApplication application(argc, argv); // the serial port needs one

    QString description = QStringLiteral("Talks to a QRV5173 effect processor from the terminal.\n\nCommands:\n");
    for (const Command& command : commands())
        description +=
            QStringLiteral("  %1  %2\n")
                .arg(QString::fromUtf8(command.name.data(), static_cast<qsizetype>(command.name.size())), -8)
                .arg(QString::fromUtf8(command.summary.data(), static_cast<qsizetype>(command.summary.size())));
    description += QStringLiteral("\n'qrv5173-cli COMMAND --help' describes a command.");

    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    const QCommandLineOption help = helpOption();
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    parser.addOptions({help, version});
    parser.addPositionalArgument(QStringLiteral("COMMAND"), QStringLiteral("The command to run, with its options."),
                                 QStringLiteral("COMMAND [options]"));
    // Everything from the command on is the command's own.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QString usage = QStringLiteral("[--help | --version] COMMAND [options]");

    const bool parsed = parser.parse(QCoreApplication::arguments());
    const QStringList rest = parser.positionalArguments();
    if (parser.isSet(help) || (parsed && rest.value(0) == u"help")) {
        print(stdout, withUsage(parser, usage));
        return kOk;
    }
    if (parser.isSet(version)) {
        std::printf("qrv5173-cli %s\n%s", QRV_VERSION, qrv::kCopyrightNotice);
        return kOk;
    }
    if (!parsed || rest.isEmpty()) {
        if (!parsed)
            print(stderr, QStringLiteral("qrv5173-cli: %1\n\n").arg(parser.errorText()));
        print(stderr, withUsage(parser, usage));
        return kUsage;
    }
    for (const Command& command : commands())
        if (rest.constFirst() == QLatin1String(command.name.data(), static_cast<qsizetype>(command.name.size())))
            return command.run(rest);
    print(stderr, QStringLiteral("qrv5173-cli: unknown command '%1'\n\n").arg(rest.constFirst()));
    print(stderr, withUsage(parser, usage));
    return kUsage;
}
