#include "BackgroundReading.hpp"

#include "AppWindows.hpp"
#include "Binder.hpp"
#include "MainWindow.hpp"

#include "app/Program.hpp"
#include "state/TimeLeft.hpp"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <memory>
#include <optional>

namespace qrv::ui {

namespace {

// Between pieces the event loop turns once; a failed piece waits a while before it is tried again.
constexpr int kBetweenPiecesMs = 0;
constexpr int kAfterFailureMs = 5000;
constexpr int kWhileNothingToDoMs = 500;

bool mayRead(const Program& program)
{
    const ProgramState& s = program.state;
    return !program.splash.loaded && !s.DemoMode && s.LinkUp && !s.awaitingUnit && !s.unitChanged && !s.searching &&
        !s.exactOrder && !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
}

// The text moves on at most this often: each change would reach a screen reader as an event.
constexpr int kShownEveryMs = 1000;

struct Reader {
    std::optional<TimeLeft> timeLeft;
    int doneAtStart = 0;
    QElapsedTimer shown;
};

} // namespace

void readRestInBackground(AppWindows& windows, Program& program)
{
    auto* status = new QLabel;
    status->setObjectName(QStringLiteral("StatusReading"));
    status->setTextFormat(Qt::PlainText);
    // A fixed name: the changing figures are for the eye, and would flood a screen reader.
    status->setAccessibleName(QStringLiteral("Reading the unit in the background"));
    status->hide();
    auto* timer = new QTimer(status);
    timer->setObjectName(QStringLiteral("BackgroundReadingTimer"));
    timer->setSingleShot(true);
    auto reader = std::make_shared<Reader>();
    QObject::connect(timer, &QTimer::timeout, status, [&windows, &program, status, timer, reader] {
        if (!status->parent())
            windows.main().statusBar()->addPermanentWidget(status);
        Binder& binder = windows.binder();
        if (program.reading.finished() || !mayRead(program) || binder.userWaiting()) {
            if (program.reading.finished()) {
                status->hide();
                reader->timeLeft.reset();
            }
            timer->start(kWhileNothingToDoMs);
            return;
        }
        auto step = UnitReading::Step::Done;
        if (!binder.runInBackground(&program.reading, [&] {
                step = program.reading.backgroundStep([&binder] { return binder.userWaiting(); });
            })) {
            timer->start(kBetweenPiecesMs);
            return;
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
            status->setText(QStringLiteral("Reading the unit: %1 %").arg(100 * done / total) +
                            (leftText.empty() ? QString() : QStringLiteral(", ") + qs(leftText).toLower()));
        }
        status->setVisible(!program.reading.finished());
        timer->start(step == UnitReading::Step::Failed ? kAfterFailureMs : kBetweenPiecesMs);
    });
    timer->start(kWhileNothingToDoMs);
}

} // namespace qrv::ui
