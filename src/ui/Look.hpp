#pragma once

namespace qrv::ui {

// Positions and sizes of the window models are in twips; a 96-dpi screen has 15 a pixel.
// The windows take the desktop's own style, font and colours.
inline constexpr int kTwipsPerPixel = 15;

} // namespace qrv::ui
