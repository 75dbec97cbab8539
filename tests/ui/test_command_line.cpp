#include "ui/EditorCommandLine.hpp"

#include <gtest/gtest.h>

namespace qrv::ui {
namespace {

TEST(EditorCommandLine, TakesPortsInOrderAndTellsHelpAndVersion)
{
    auto options = EditorCommandLine().parse({"qrv5173-editor", "--port", "/dev/ttyUSB1", "--port=/tmp/emu"});
    EXPECT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    EXPECT_EQ(options.ports, (std::vector<std::string>{"/dev/ttyUSB1", "/tmp/emu"}));
    EXPECT_FALSE(options.help || options.version);

    EXPECT_TRUE(EditorCommandLine().parse({"qrv5173-editor", "-h"}).help);
    EXPECT_TRUE(EditorCommandLine().parse({"qrv5173-editor", "--version"}).version);
    // Before QApplication takes Qt's own options out, they must not read as -h or -v.
    options = EditorCommandLine().parse({"qrv5173-editor", "-reverse", "-stylesheet", "a.qss", "-platform", "xcb"});
    EXPECT_FALSE(options.help || options.version);
    EXPECT_FALSE(options.error.isEmpty());
    EXPECT_TRUE(EditorCommandLine().parse({"qrv5173-editor", "-reverse", "--help"}).help);
}

TEST(EditorCommandLine, RefusesAMissingPathUnknownOptionsAndStrayArguments)
{
    for (const char* wrong : {"--port", "--colour", "stray"}) {
        const auto options = EditorCommandLine().parse({"qrv5173-editor", wrong});
        EXPECT_TRUE(options.error.contains(QString::fromLatin1(wrong).remove(QLatin1Char('-'))))
            << wrong << ": " << options.error.toStdString();
        EXPECT_FALSE(options.help || options.version);
    }
    const QString help = EditorCommandLine().helpText();
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: qrv5173-editor [options]\n"))) << help.toStdString();
    EXPECT_TRUE(help.contains(QStringLiteral("--port <PATH>"))) << help.toStdString();
}

} // namespace
} // namespace qrv::ui
