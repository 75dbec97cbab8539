#include "ui/EditorCommandLine.hpp"

namespace qrv::ui {

EditorCommandLine::EditorCommandLine()
    : help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this text.")),
      version_({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")),
      port_(QStringLiteral("port"), QStringLiteral("A serial device to try before the system's ports (repeatable)."),
            QStringLiteral("PATH")),
      exact_(QStringLiteral("exact-startup"),
             QStringLiteral("Read and write the unit byte by byte in the original order, at start-up and on every "
                            "load and restore (slower; the Device menu keeps it as a setting)."))
{
    parser_.setApplicationDescription(
        QStringLiteral("Edits the effects of a QRV5173 connected to a serial port. Port numbers 1 to 35\n"
                       "are tried in order: first the paths given with --port (or in QRV5173_PORTS,\n"
                       "separated by ':'), then the system's serial ports, USB ones first. When no port\n"
                       "answers, the editor offers a demo mode in which nothing is sent.\n"
                       "The working directory is the program folder: init.cfg and Preset/ lie there."));
    // "-reverse" or "-stylesheet" (Qt's) must not read as -v or -h strung together.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.addOptions({help_, version_, port_, exact_});
}

QString EditorCommandLine::helpText() const
{
    // Qt's usage line would name the program "<executable_name>" before QApplication starts.
    QString text = parser_.helpText();
    return text.replace(0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: qrv5173-editor [options]"));
}

EditorOptions EditorCommandLine::parse(const QStringList& arguments)
{
    EditorOptions options;
    const bool parsed = parser_.parse(arguments);
    options.help = parser_.isSet(help_);
    options.version = parser_.isSet(version_);
    options.exactStartup = parser_.isSet(exact_);
    for (const QString& port : parser_.values(port_))
        options.ports.push_back(port.toStdString());
    if (!parsed)
        options.error = parser_.errorText();
    else if (!parser_.positionalArguments().isEmpty())
        options.error = QStringLiteral("unknown argument '%1'").arg(parser_.positionalArguments().constFirst());
    return options;
}

} // namespace qrv::ui
