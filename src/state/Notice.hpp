#pragma once

namespace qrv {

// The copyright and licence lines every program prints after its version, and the
// About box shows.
inline constexpr const char* kCopyrightNotice =
    "Copyright (C) 2026 The QRV5173 editor developers\n"
    "License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl-3.0.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

} // namespace qrv
