#pragma once

#include "link/Frame.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace qrv {

// Cuts a byte stream into well-formed frames: F0 9C, seven bytes, F7. A byte that cannot
// start a frame is dropped. A candidate whose end byte is wrong is given up one byte at a
// time, so a real frame starting inside it is still found. Argument bytes may take any
// value, F0 included, which is why a start byte inside a candidate does not cut it short.
class FrameAssembler {
public:
    std::vector<Frame> feed(std::span<const uint8_t> bytes);

private:
    void dropFirst();

    Frame buffer_{};
    std::size_t size_ = 0;
};

} // namespace qrv
