#include "ValueTables.hpp"

#include <cstdio>
#include <cstdlib>

namespace qrv {

namespace {

std::string pitchEntry(int k)
{
    const int semitones = k / 3 - 12;
    static constexpr const char* thirds[] = {"     ", " +33%", " +66%"};
    const char sign = semitones < 0 ? '-' : semitones > 0 ? '+' : ' ';
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d%s", sign, std::abs(semitones), thirds[k % 3]);
    return text;
}

std::string gateTimeEntry(int k)
{
    // 31.5 × k computed in tenths keeps the one decimal exact.
    const int tenths = 315 * k;
    char text[16];
    std::snprintf(text, sizeof text, "%4d.%d", tenths / 10, tenths % 10);
    return text;
}

} // namespace

ValueTables buildValueTables()
{
    ValueTables t;
    t.parameterCount = {24, 24, 24, 24, 27, 17, 17, 10, 11, 20, 8, 25, 23, 22, 22, 7};
    for (int k = 0; k < static_cast<int>(t.pitchText.size()); ++k)
        t.pitchText[k] = pitchEntry(k);
    for (int k = 0; k < static_cast<int>(t.gateTime.size()); ++k)
        t.gateTime[k] = gateTimeEntry(k);
    t.filterTableA = {6, 15, 18, 6,  15, 18, 5,  8,  11, 4,  7,  10, 1,  4,
                      9, 2,  7,  20, 12, 15, 18, 11, 14, 17, 11, 14, 17, 2};
    t.filterTableB = {3, 4, 5, 14, 3, 4, 5, 14, 3, 4, 2, 3, 1, 2, 4, 5, 7, 8,
                      1, 2, 1, 5,  6, 3, 4, 6,  7, 2, 3, 5, 6, 3, 4, 8, 9};
    return t;
}

} // namespace qrv
