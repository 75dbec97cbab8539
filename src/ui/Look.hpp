#pragma once

class QApplication;

namespace qrv::ui {

// One style and font for every platform, so the windows are laid out as designed.
void applyLook(QApplication& app);

} // namespace qrv::ui
