#pragma once

class QApplication;

namespace qrv::ui {

// Positions and sizes of the window models are in twips; a 96-dpi screen has 15 a pixel.
inline constexpr int kTwipsPerPixel = 15;

// One style and font for every platform, so the windows are laid out as designed.
void applyLook(QApplication& app);

} // namespace qrv::ui
