#pragma once

#include "state/TimeLeft.hpp"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qrv::ui {

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
    QLabel* timeLeftLabel_;
    QProgressBar* bar_;
    QPushButton* cancel_ = nullptr;
    TimeLeft timeLeft_;
    int steps_;
    bool cancelled_ = false;
};

} // namespace qrv::ui
