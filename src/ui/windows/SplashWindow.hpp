#pragma once

#include "devmem/SplashForm.hpp"

#include <QPixmap>
#include <QWidget>

#include <functional>

namespace qrv::ui {

class Binder;

// frmSplash: the picture with the program's name, the status label and the dump's
// progress bar, at the fixed size of its model.
class SplashWindow final : public QWidget {
    Q_OBJECT
public:
    // onResize runs the window's resize procedure on the model; onTimer its Timer1.
    SplashWindow(FrmSplash& form, Binder& binder, std::function<void()> onResize, std::function<void()> onTimer,
                 QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitToModel();

    FrmSplash& form_;
    Binder& binder_;
    std::function<void()> onResize_;
    QPixmap picture_;
};

} // namespace qrv::ui
