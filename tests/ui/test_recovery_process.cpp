#include "TempFolder.hpp"

#include "storage/Recovery.hpp"
#include "ui/SessionControls.hpp"

#include <QLockFile>

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

namespace qrv::test {

void ensureApplication();

namespace {

using namespace std::chrono;

std::string hexOf(const ParameterTable& table)
{
    std::string text;
    char pair[3];
    for (uint8_t b : table.bytes()) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text;
}

// Runs the child until it prints a line starting with `key`; returns the rest of it.
std::string waitForLine(QProcess& child, const std::string& key, QByteArray& seen)
{
    const auto deadline = steady_clock::now() + seconds(30);
    while (steady_clock::now() < deadline) {
        child.waitForReadyRead(50);
        seen += child.readAllStandardOutput();
        for (const QByteArray& line : seen.split('\n'))
            if (line.startsWith(QByteArray::fromStdString(key + " ")))
                return line.mid(static_cast<qsizetype>(key.size()) + 1).trimmed().toStdString();
    }
    ADD_FAILURE() << "no " << key << " line; stderr: " << child.readAllStandardError().toStdString();
    return {};
}

void startChild(QProcess& child, const std::filesystem::path& folder, const char* mode)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(QString::fromStdString(folder.string()));
    child.start(QStringLiteral(QRV_RECOVERY_CHILD),
                {QString::fromStdString(folder.string()), QString::fromLatin1(mode)});
    ASSERT_TRUE(child.waitForStarted(30000));
}

TEST(RecoveryProcess, TermAndHangUpWriteTheNewestEditsBeforeTheEditorEndsAndTheNextStartSendsOnlyThem)
{
    ensureApplication();
    TempFolder dir;
    RecoveryKeeper keeper;
    keeper.setFolder(dir.path);

    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        QProcess first;
        startChild(first, dir.path, "edit");
        QByteArray seen;
        waitForLine(first, "EDITED", seen);
        const std::string edited = waitForLine(first, "STORE", seen);
        ASSERT_FALSE(edited.empty());
        {
            // A second editor started meanwhile keeps a file of its own: it is not offered the
            // running editor's edits and does not write over them.
            const ui::RecoveryClaim second = ui::claimRecoveryFile(dir.path);
            ASSERT_TRUE(second.lock);
            EXPECT_EQ(second.fileName, "unsaved-edits-2.qrvr");
        }
        // At once after the edit, before the half-second tick could keep it.
        ::kill(static_cast<pid_t>(first.processId()), signal);
        ASSERT_TRUE(first.waitForFinished(30000));
        EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first.exitCode(), 128 + signal);
        // The ended editor's lock no longer keeps its file from the next start.
        EXPECT_EQ(ui::claimRecoveryFile(dir.path).fileName, kRecoveryFileName);
        const RecoveryRead left = keeper.leftBehind();
        ASSERT_EQ(left.kind, RecoveryRead::Kind::Sound);
        EXPECT_EQ(hexOf(left.image->store), edited);
        ASSERT_EQ(left.image->editedColumns().size(), 2u);

        QProcess next; // a new start on a fresh unit: Yes to the question
        startChild(next, dir.path, "restore");
        seen.clear();
        const std::string store = waitForLine(next, "STORE", seen);
        const std::string live = waitForLine(next, "LIVE", seen);
        next.waitForFinished(30000);
        EXPECT_EQ(store, edited);
        ASSERT_EQ(live.size(), edited.size());
        for (int e = 0; e < kEffectCount; ++e) // the unit holds the parameter columns of every row
            EXPECT_EQ(live.substr(static_cast<std::size_t>(e * kRowSize * 2), kDeviceColumns * 2),
                      edited.substr(static_cast<std::size_t>(e * kRowSize * 2), kDeviceColumns * 2))
                << "effect " << e;
        std::filesystem::remove(keeper.file());
    }
}

} // namespace
} // namespace qrv::test
