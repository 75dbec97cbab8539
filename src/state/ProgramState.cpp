#include "ProgramState.hpp"

#include <algorithm>
#include <stdexcept>

namespace qrv {

std::size_t ParameterTable::index(int effect, int column)
{
    if (effect < 0 || effect >= kEffectCount || column < 0 || column >= kRowSize)
        throw std::out_of_range("parameter table index");
    return static_cast<std::size_t>(effect * kRowSize + column);
}

void ParameterTable::setRow(int effect, std::span<const uint8_t, kRowSize> source)
{
    std::copy(source.begin(), source.end(), row(effect).begin());
}

} // namespace qrv
