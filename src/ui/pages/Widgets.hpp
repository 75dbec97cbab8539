#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QComboBox>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

namespace qrv::ui {

// The tempo lamp: a round light in the colour the model gives it.
class Lamp final : public QWidget {
    Q_OBJECT
public:
    explicit Lamp(QWidget* parent = nullptr);
    QColor colour() const { return colour_; }
    void setColour(const QColor& colour);
    QSize sizeHint() const override { return {24, 24}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor colour_{Qt::black};
};

// The effect switch: a lever, up when off, down when on.
class LeverSwitch final : public QAbstractButton {
    Q_OBJECT
public:
    explicit LeverSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {26, 40}; }

protected:
    void paintEvent(QPaintEvent*) override;
};

// A button-style check box with a plain red face, drawn pressed in while checked.
class RedButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit RedButton(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {140, 71}; }

protected:
    void paintEvent(QPaintEvent*) override;
};

// A push button whose caption breaks onto several lines where it does not fit.
class WrapButton final : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A vertical slider with position 0 at the top, whose value grows upwards: the groove
// is filled from the bottom up to the handle.
class RisingSlider final : public QSlider {
    Q_OBJECT
public:
    explicit RisingSlider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
    // Home and End go to the lowest and highest value, at the bottom and the top.
    void keyPressEvent(QKeyEvent* event) override;
};

// A horizontal slider of its own class, so that it gets the program's accessible interface.
class LevelSlider final : public QSlider {
    Q_OBJECT
public:
    explicit LevelSlider(QWidget* parent = nullptr) : QSlider(Qt::Horizontal, parent) {}
};

// A combo box of its own class, so that screen readers hear its name and not its entry.
class ChoiceList final : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
};

// The splash window's picture: a front panel with a display and knobs.
QPixmap frontPanelPicture(QSize size);

} // namespace qrv::ui
