#include "ui/windows/ProgressWindow.hpp"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qrv::ui {

PaintPace::PaintPace(std::function<void()> paint) : paint_(std::move(paint))
{
    late_.setSingleShot(true);
    QObject::connect(&late_, &QTimer::timeout, [this] { paintNow(); });
}

void PaintPace::changed()
{
    if (!last_.isValid() || last_.elapsed() >= kIntervalMs)
        paintNow();
    else if (!late_.isActive())
        late_.start(static_cast<int>(kIntervalMs - last_.elapsed()));
}

void PaintPace::paintNow()
{
    late_.stop();
    last_.restart();
    paint_();
}

ProgressWindow::ProgressWindow(const QString& title, int steps, bool cancellable, QWidget* parent)
    : QDialog(parent), steps_(std::max(steps, 1))
{
    setObjectName(QStringLiteral("ProgressWindow"));
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    // Only Cancel ends it; the window manager's close button would look like it.
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(title);
    heading->setObjectName(QStringLiteral("Title"));
    layout->addWidget(heading);
    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("Bar"));
    bar_->setRange(0, steps_);
    bar_->setValue(0);
    bar_->setAccessibleName(title);
    layout->addWidget(bar_);
    timeLeftLabel_ = new QLabel(tr("Estimating the time left…"));
    timeLeftLabel_->setObjectName(QStringLiteral("TimeLeft"));
    layout->addWidget(timeLeftLabel_);
    if (cancellable) {
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
        cancel_ = buttons->button(QDialogButtonBox::Cancel);
        cancel_->setObjectName(QStringLiteral("Cancel"));
        connect(buttons, &QDialogButtonBox::rejected, this, &ProgressWindow::reject);
        layout->addWidget(buttons);
    }
    setMinimumWidth(360);
}

void ProgressWindow::step(int done)
{
    done_ = std::clamp(done, 0, steps_);
    pace_.changed();
}

void ProgressWindow::showStep(int done)
{
    bar_->setValue(done);
    // Until the steps are measured the label keeps saying it is estimating.
    if (const double seconds = timeLeft_.seconds(done, steps_); seconds >= 0)
        timeLeftLabel_->setText(QString::fromStdString(timeLeftText(seconds)));
}

void ProgressWindow::setSteps(int steps)
{
    steps_ = std::max(steps, 1);
    bar_->setRange(0, steps_);
}

void ProgressWindow::reject()
{
    // The operation stops at its next safe point and closes the window itself.
    if (!cancel_)
        return;
    cancelled_ = true;
    cancel_->setEnabled(false);
    timeLeftLabel_->setText(tr("Stopping…"));
}

} // namespace qrv::ui
