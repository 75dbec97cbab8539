#pragma once

#include "state/TimeLeft.hpp"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qrv::ui {

// Paints something that changes with every exchange at most 20 times a second; the
// last change always shows, at the latest one interval after it.
class PaintPace {
public:
    static constexpr int kIntervalMs = 50;
    explicit PaintPace(std::function<void()> paint);
    void changed();

private:
    void paintNow();

    std::function<void()> paint_;
    QElapsedTimer last_;
    QTimer late_;
};

// Progress of a long exchange with the unit: how far, the time left from the measured
// time per step, and Cancel where the operation can stop safely. Modal, so nothing else
// in the program can be started meanwhile.
class ProgressWindow final : public QDialog {
    Q_OBJECT
public:
    ProgressWindow(const QString& title, int steps, bool cancellable, QWidget* parent);

    void step(int done);
    bool cancelled() const { return cancelled_; }
    void setSteps(int steps);

protected:
    void reject() override;

private:
    void showStep(int done);

    QLabel* timeLeftLabel_;
    QProgressBar* bar_;
    QPushButton* cancel_ = nullptr;
    TimeLeft timeLeft_;
    int steps_;
    int done_ = 0;
    bool cancelled_ = false;
    PaintPace pace_{[this] { showStep(done_); }};
};

} // namespace qrv::ui
