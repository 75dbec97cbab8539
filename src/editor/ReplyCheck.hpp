#pragma once

#include "link/Frame.hpp"
#include "state/ValueTables.hpp"

#include <cstdint>
#include <span>

namespace qrv {

// Whether a reply to the request can be what a unit holds: parameter bytes within their
// column's range, an effect index below sixteen, a switch of
// 0 or 1, a slot number below eight, a directory byte that marks a slot stored, erased or being
// written, a name of printable characters. Columns no control uses are not judged.
bool replyPlausible(const ValueTables& tables, const Frame& request, std::span<const uint8_t> reply);

} // namespace qrv
