#pragma once

#include <QColor>
#include <QPalette>
#include <QPen>

#include <functional>
#include <initializer_list>

class QLabel;
class QWidget;

namespace qrv::ui {

// Positions and sizes of the window models are in twips; a 96-dpi screen has 15 a pixel.
// The windows take the desktop's own style, font and colours.
inline constexpr int kTwipsPerPixel = 15;

// The least contrast a mark must keep against what lies around it.
inline constexpr double kMarkContrast = 3.0;

// The contrast ratio of two colours, 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);
// The colour made darker on light backgrounds and lighter on dark ones until it keeps
// kMarkContrast against every one of them.
QColor contrasting(const QColor& colour, std::initializer_list<QColor> backgrounds);

// The changed marker "*" and the frame of a control that differs from the unit's preset.
QColor changedMarkerColour(const QPalette& palette);
QColor differsFrameColour(const QPalette& palette);

// The frame of a control that differs: dashed, so that it never passes for the keyboard
// focus, which the style draws solid in the highlight colour.
QPen differsFramePen(const QPalette& palette);

// The words beside a two-state switch ("OFF"/"ON", "Slow"/"Fast"): the one that holds now
// stands out in bold, the other is greyed. True when either changed.
bool showStateWords(QLabel* offWord, QLabel* onWord, bool on);

// Runs `apply` now and whenever the application's palette changes (a dark theme).
void followPalette(QWidget* widget, std::function<void()> apply);

} // namespace qrv::ui
