#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace qrv::ui {

struct EditorOptions {
    std::vector<std::string> ports; // --port, in the order given
    bool exactStartup = false; // --exact-startup
    bool help = false;
    bool version = false;
    QString error; // empty when the command line is right
};

// The editor's command line. Qt's own options (-platform, -style, ...) are refused
// here, so parse the arguments QApplication leaves; help and version are found
// in the raw arguments too, before any window system is started.
class EditorCommandLine {
public:
    EditorCommandLine();
    EditorOptions parse(const QStringList& arguments); // arguments[0] is the program
    QString helpText() const;

private:
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    QCommandLineOption port_;
    QCommandLineOption exact_;
};

} // namespace qrv::ui
