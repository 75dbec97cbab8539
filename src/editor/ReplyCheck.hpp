#pragma once

#include "link/Frame.hpp"
#include "state/ValueTables.hpp"

#include <cstdint>
#include <span>

namespace qrv {

// Whether a reply to the request can be what a unit holds: parameter bytes within their
// column's range, an effect index below sixteen, a switch of 0 or 1, a name of printable
// characters. Bytes no control shows are not judged.
bool replyPlausible(const ValueTables& tables, const Frame& request, std::span<const uint8_t> reply);

} // namespace qrv
