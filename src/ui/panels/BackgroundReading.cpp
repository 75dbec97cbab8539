#include "ui/panels/BackgroundReading.hpp"

#include "ui/windows/AppWindows.hpp"
#include "ui/pages/Binder.hpp"
#include "ui/windows/MainWindow.hpp"

#include "app/Program.hpp"
#include "state/TimeLeft.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <ctime>
#include <memory>
#include <optional>

namespace qrv::ui {

namespace {

// Between pieces the event loop turns once; a failed piece waits a while before it is tried again.
constexpr int kBetweenPiecesMs = 0;
constexpr int kAfterFailureMs = 5000;
constexpr int kWhileNothingToDoMs = 500;
constexpr int kWrittenShownMs = 10000;

bool mayRead(const Program& program)
{
    const ProgramState& s = program.state;
    return !program.splash.loaded && !s.DemoMode && s.LinkUp && !s.awaitingUnit && !s.unitChanged && !s.searching &&
        !s.exactOrder && !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
}

// The text moves on at most this often: each change would reach a screen reader as an event.
constexpr int kShownEveryMs = 1000;

// The time left is measured per phase: the pages' pieces, then a backup's.
struct Reader {
    std::optional<TimeLeft> timeLeft;
    int doneAtStart = 0;
    QElapsedTimer shown;
    bool backingUp = false;
    std::optional<std::filesystem::path> written;
};

} // namespace

void readRestInBackground(AppWindows& windows, Program& program)
{
    program.autoBackup.setFolder(
        std::filesystem::path(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString()) /
        "backups");
    auto* status = new QLabel;
    status->setObjectName(QStringLiteral("StatusReading"));
    status->setTextFormat(Qt::PlainText);
    // A fixed name: the changing figures are for the eye, and would flood a screen reader.
    status->setAccessibleName(QStringLiteral("Reading the unit in the background"));
    status->hide();
    auto* cancel = new QToolButton;
    cancel->setObjectName(QStringLiteral("StatusBackupCancel"));
    cancel->setText(QStringLiteral("Cancel"));
    cancel->setAccessibleName(QStringLiteral("Cancel the automatic backup"));
    cancel->setToolTip(QStringLiteral("No automatic backup of the unit for the rest of this session"));
    cancel->hide();
    auto* timer = new QTimer(status);
    timer->setObjectName(QStringLiteral("BackgroundReadingTimer"));
    timer->setSingleShot(true);
    auto reader = std::make_shared<Reader>();
    QObject::connect(cancel, &QToolButton::clicked, status, [&windows, &program, status, cancel] {
        program.autoBackup.cancel();
        status->hide();
        cancel->hide();
        windows.main().statusBar()->showMessage(QStringLiteral("The automatic backup is off for this session"),
                                                kWrittenShownMs);
    });
    QObject::connect(timer, &QTimer::timeout, status, [&windows, &program, status, cancel, timer, reader] {
        if (!status->parent()) {
            windows.main().statusBar()->addPermanentWidget(status);
            windows.main().statusBar()->addPermanentWidget(cancel);
        }
        Binder& binder = windows.binder();
        AutoBackup& backup = program.autoBackup;
        if (!backup.hasWork() || !mayRead(program) || binder.userWaiting()) {
            if (!backup.hasWork()) {
                status->hide();
                cancel->hide();
                reader->timeLeft.reset();
            }
            timer->start(kWhileNothingToDoMs);
            return;
        }
        auto step = UnitReading::Step::Done;
        if (!binder.runInBackground(&program.reading, [&] {
                step = backup.step([&binder] { return binder.userWaiting(); }, std::time(nullptr));
            })) {
            timer->start(kBetweenPiecesMs);
            return;
        }
        if (backup.written() != reader->written) {
            reader->written = backup.written();
            windows.main().statusBar()->showMessage(
                QStringLiteral("Backed up the unit automatically to %1").arg(qs(reader->written->string())),
                kWrittenShownMs);
        }
        if (reader->backingUp != backup.backingUp()) {
            reader->backingUp = backup.backingUp();
            reader->timeLeft.reset();
        }
        const auto [done, total] = program.reading.progress();
        if (!reader->timeLeft) {
            reader->timeLeft.emplace();
            reader->doneAtStart = done;
            reader->shown.start();
        }
        if (!status->isVisible() || reader->shown.elapsed() >= kShownEveryMs) {
            reader->shown.restart();
            const double left = reader->timeLeft->seconds(done - reader->doneAtStart, total - reader->doneAtStart);
            const std::string leftText = timeLeftText(left);
            status->setText((reader->backingUp ? QStringLiteral("Backing up the unit: %1 %")
                                               : QStringLiteral("Reading the unit: %1 %"))
                                .arg(100 * done / std::max(total, 1)) +
                            (leftText.empty() ? QString() : QStringLiteral(", ") + qs(leftText).toLower()));
        }
        status->setVisible(step != UnitReading::Step::Done);
        cancel->setVisible(reader->backingUp && step != UnitReading::Step::Done);
        timer->start(step == UnitReading::Step::Failed ? kAfterFailureMs : kBetweenPiecesMs);
    });
    timer->start(kWhileNothingToDoMs);
}

} // namespace qrv::ui
