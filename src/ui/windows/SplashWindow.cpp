#include "ui/windows/SplashWindow.hpp"

#include "ui/pages/Binder.hpp"
#include "ui/pages/Look.hpp"
#include "ui/pages/Widgets.hpp"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace qrv::ui {

SplashWindow::SplashWindow(FrmSplash& form, Binder& binder, std::function<void()> onResize,
                           std::function<void()> onTimer, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), form_(form), binder_(binder),
      onResize_(std::move(onResize))
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(qs(form_.caption));
    const QSize size(form_.width / kTwipsPerPixel, form_.height / kTwipsPerPixel);
    picture_ = frontPanelPicture(size);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 34, 30, 26);
    auto* name = new QLabel;
    name->setObjectName(QStringLiteral("Label2"));
    name->setTextFormat(Qt::PlainText);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    name->setFont(big);
    name->setStyleSheet(QStringLiteral("color: #e8eefc"));
    binder_.label(name, form_.Label2);
    layout->addWidget(name, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addStretch();

    auto* status = new QLabel;
    status->setObjectName(QStringLiteral("Label1"));
    status->setTextFormat(Qt::PlainText);
    QFont medium = status->font();
    medium.setPointSizeF(medium.pointSizeF() * 1.2);
    status->setFont(medium);
    status->setStyleSheet(QStringLiteral("color: #f4f4f4"));
    binder_.label(status, form_.Label1);
    layout->addWidget(status, 0, Qt::AlignLeft);

    auto* progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("ProgressBar1"));
    progress->setTextVisible(false);
    progress->setFixedHeight(14);
    binder_.progress(progress, form_.ProgressBar1);
    layout->addWidget(progress);

    auto* timer = new QTimer(this);
    timer->setObjectName(QStringLiteral("Timer1"));
    binder_.timer(timer, form_.Timer1, std::move(onTimer));

    // Unloaded by its model once start-up is over.
    binder_.custom(this, [this]() -> QWidget* {
        if (!form_.loaded && !isHidden()) {
            close();
            deleteLater();
        }
        return nullptr;
    });
    fitToModel();
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void SplashWindow::fitToModel()
{
    const QSize size(form_.width / kTwipsPerPixel, form_.height / kTwipsPerPixel);
    if (this->size() != size)
        resize(size);
}

void SplashWindow::paintEvent(QPaintEvent*)
{
    QPainter(this).drawPixmap(0, 0, picture_);
}

void SplashWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    form_.width = event->size().width() * kTwipsPerPixel;
    form_.height = event->size().height() * kTwipsPerPixel;
    if (onResize_)
        onResize_();
    fitToModel();
}

} // namespace qrv::ui
