#pragma once

#include "DeviceModel.hpp"

#include <string>
#include <string_view>

namespace qrv {

// Plays one line of a front-panel script on the unit:
//   select E        the unit selects effect E (0 to 15)
//   set E C V       column C (0 to 31) of effect E's live row takes the value V (0 to 255)
// Blank lines and lines starting with '#' do nothing. Returns what is wrong with the line, or
// nothing when it was played.
std::string playPanelLine(DeviceModel& model, std::string_view line);

// The effect after the current one, as the panel's Next button selects it (after 15 comes 0).
void selectNextOnPanel(DeviceModel& model);

} // namespace qrv
