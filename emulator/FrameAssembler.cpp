#include "FrameAssembler.hpp"

#include <algorithm>

namespace qrv {

void FrameAssembler::dropFirst()
{
    std::copy(buffer_.begin() + 1, buffer_.begin() + static_cast<std::ptrdiff_t>(size_), buffer_.begin());
    --size_;
}

std::vector<Frame> FrameAssembler::feed(std::span<const uint8_t> bytes)
{
    std::vector<Frame> frames;
    for (const uint8_t byte : bytes) {
        buffer_[size_++] = byte;
        while (size_ > 0) {
            if (buffer_[0] != kFrameStart || (size_ >= 2 && buffer_[1] != kFrameId)) {
                dropFirst();
                continue;
            }
            if (size_ < kFrameSize)
                break;
            if (buffer_[kFrameSize - 1] != kFrameEnd) {
                dropFirst();
                continue;
            }
            frames.push_back(buffer_);
            size_ = 0;
        }
    }
    return frames;
}

} // namespace qrv
