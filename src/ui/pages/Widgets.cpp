#include "ui/pages/Widgets.hpp"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <cmath>
#include <numbers>

namespace qrv::ui {

Lamp::Lamp(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
}

void Lamp::setColour(const QColor& colour)
{
    colour_ = colour;
    update();
}

void Lamp::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(colour_);
    p.drawEllipse(r);
}

LeverSwitch::LeverSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
}

void LeverSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(6, 2, -6, -2);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(isChecked() ? QColor(70, 160, 70) : QColor(150, 150, 150));
    p.drawRoundedRect(track, 6, 6);
    const double knob = track.width() - 2;
    const QRectF handle(track.left() + 1, isChecked() ? track.bottom() - knob - 1 : track.top() + 1, knob, knob);
    QLinearGradient shade(handle.topLeft(), handle.bottomLeft());
    shade.setColorAt(0, QColor(250, 250, 250));
    shade.setColorAt(1, QColor(190, 190, 190));
    p.setBrush(shade);
    p.drawEllipse(handle);
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 0, -1, 0), 4, 4);
    }
}

RedButton::RedButton(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
}

void RedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    const bool in = isChecked() || isDown();
    p.fillRect(r, QColor(220, 0, 0));
    // A bevel: light on the top left and dark on the bottom right when raised, the
    // other way round when pressed in.
    const QColor light(255, 140, 140), dark(110, 0, 0);
    for (int i = 0; i < 3; ++i) {
        const QRect edge = r.adjusted(i, i, -i - 1, -i - 1);
        p.setPen(in ? dark : light);
        p.drawLine(edge.topLeft(), edge.topRight());
        p.drawLine(edge.topLeft(), edge.bottomLeft());
        p.setPen(in ? light : dark);
        p.drawLine(edge.bottomLeft(), edge.bottomRight());
        p.drawLine(edge.topRight(), edge.bottomRight());
    }
    if (hasFocus()) {
        p.setPen(QPen(Qt::white, 1, Qt::DotLine));
        p.drawRect(r.adjusted(5, 5, -6, -6));
    }
}

void WrapButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this).adjusted(2, 0, -2, 0);
    // The button keeps its place and size: a large desktop font is made smaller to fit.
    const QString text = caption.simplified();
    QFont font = p.font();
    const auto fits = [&] {
        return QFontMetrics(font).boundingRect(area, Qt::AlignCenter | Qt::TextWordWrap, text).height() <=
            area.height();
    };
    while (!fits() && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    p.setFont(font);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text);
}

RisingSlider::RisingSlider(QWidget* parent) : QSlider(Qt::Vertical, parent)
{
    // Position 0 at the top; the keys and the wheel move the handle the way they point.
    setInvertedAppearance(true);
    setInvertedControls(true);
}

void RisingSlider::keyPressEvent(QKeyEvent* event)
{
    // The value shown is the maximum less the position.
    if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
        triggerAction(event->key() == Qt::Key_Home ? SliderToMaximum : SliderToMinimum);
        event->accept();
        return;
    }
    QSlider::keyPressEvent(event);
}

void RisingSlider::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (tickPosition() != NoTicks)
        option.subControls |= QStyle::SC_SliderTickmarks;
    // Drawn as the mirror slider: the handle stays where it is, the fill changes sides.
    option.upsideDown = !option.upsideDown;
    option.sliderPosition = minimum() + maximum() - option.sliderPosition;
    option.sliderValue = minimum() + maximum() - option.sliderValue;
    p.drawComplexControl(QStyle::CC_Slider, option);
}

namespace {

void drawKnob(QPainter& p, QPointF centre, double radius, double turn)
{
    QRadialGradient body(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    body.setColorAt(0, QColor(120, 124, 130));
    body.setColorAt(1, QColor(28, 30, 34));
    p.setPen(QPen(QColor(10, 10, 12), 1.5));
    p.setBrush(body);
    p.drawEllipse(centre, radius, radius);
    const double angle = (-225 + 270 * turn) * std::numbers::pi / 180;
    const QPointF tip = centre + QPointF(std::cos(angle), std::sin(angle)) * radius * 0.8;
    p.setPen(QPen(QColor(235, 235, 235), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + (tip - centre) * 0.35, tip);
    // The scale around the knob
    p.setPen(QPen(QColor(170, 175, 185), 1.2));
    for (int i = 0; i <= 10; ++i) {
        const double a = (-225 + 27 * i) * std::numbers::pi / 180;
        const QPointF d(std::cos(a), std::sin(a));
        p.drawLine(centre + d * radius * 1.15, centre + d * radius * 1.3);
    }
}

} // namespace

QPixmap frontPanelPicture(QSize size)
{
    QPixmap picture(size);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF all(QPointF(0, 0), QSizeF(size));

    QLinearGradient backdrop(all.topLeft(), all.bottomLeft());
    backdrop.setColorAt(0, QColor(18, 26, 44));
    backdrop.setColorAt(1, QColor(6, 8, 14));
    p.fillRect(all, backdrop);

    // The unit: a brushed front plate with rack ears
    const QRectF plate(all.width() * 0.05, all.height() * 0.36, all.width() * 0.9, all.height() * 0.4);
    QLinearGradient metal(plate.topLeft(), plate.bottomLeft());
    metal.setColorAt(0, QColor(78, 82, 90));
    metal.setColorAt(0.5, QColor(52, 55, 61));
    metal.setColorAt(1, QColor(34, 36, 40));
    p.setPen(QPen(QColor(120, 125, 135), 1));
    p.setBrush(metal);
    p.drawRoundedRect(plate, 6, 6);
    p.setBrush(QColor(20, 20, 22));
    for (double x : {plate.left() + 14, plate.right() - 14})
        for (double y : {plate.top() + 16, plate.bottom() - 16})
            p.drawEllipse(QPointF(x, y), 4, 4);

    // The display
    const QRectF display(plate.left() + plate.width() * 0.06, plate.top() + plate.height() * 0.22, plate.width() * 0.2,
                         plate.height() * 0.42);
    p.setPen(QPen(QColor(10, 10, 10), 2));
    p.setBrush(QColor(8, 36, 20));
    p.drawRoundedRect(display, 3, 3);
    QFont digits = p.font();
    digits.setFamily(QStringLiteral("DejaVu Sans Mono"));
    digits.setPixelSize(static_cast<int>(display.height() * 0.55));
    digits.setBold(true);
    p.setFont(digits);
    p.setPen(QColor(90, 255, 140));
    p.drawText(display, Qt::AlignCenter, QStringLiteral("07"));

    // Level meter
    for (int i = 0; i < 10; ++i) {
        const QRectF led(display.left() + i * display.width() / 10 + 1, display.bottom() + 8, display.width() / 10 - 3,
                         5);
        p.setPen(Qt::NoPen);
        p.setBrush(i < 6 ? QColor(60, 220, 90) : i < 8 ? QColor(240, 200, 40) : QColor(90, 30, 30));
        p.drawRect(led);
    }

    // The knobs
    const double radius = plate.height() * 0.2;
    const double turns[] = {0.3, 0.55, 0.8, 0.45, 0.65};
    for (int i = 0; i < 5; ++i) {
        const QPointF centre(plate.left() + plate.width() * (0.38 + 0.115 * i), plate.center().y() - 4);
        drawKnob(p, centre, radius, turns[i]);
    }

    // Power light
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 60, 40));
    p.drawEllipse(QPointF(plate.right() - plate.width() * 0.04, plate.center().y()), 4, 4);

    // Faint waves above the unit
    p.setBrush(Qt::NoBrush);
    for (int k = 0; k < 4; ++k) {
        QPainterPath wave;
        const double base = all.height() * (0.2 + 0.03 * k);
        wave.moveTo(0, base);
        for (int x = 0; x <= size.width(); x += 4)
            wave.lineTo(x, base + std::sin(x / (38.0 + 9 * k) + k) * (10 - 2 * k));
        p.setPen(QPen(QColor(70, 130, 220, 90 - 18 * k), 2));
        p.drawPath(wave);
    }
    return picture;
}

} // namespace qrv::ui
