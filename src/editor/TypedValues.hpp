#pragma once

#include "Catalogue.hpp"

#include <optional>
#include <string_view>

namespace qrv {

// A value typed into a value box, in the unit the box shows, as the stored value the
// control can take nearest to it (0 to maximum). Nothing for text that is no such value.
// Both '.' and the system's decimal point are taken.
std::optional<int> parsePercent(std::string_view text, int maximum, char decimalPoint);
std::optional<int> parseMilliseconds(std::string_view text, int maximum, char decimalPoint);
std::optional<int> parseTimesFiveMs(std::string_view text, int maximum, char decimalPoint);
std::optional<int> parseGateTime(std::string_view text, int maximum, char decimalPoint);
// Semitones, optionally with a third: "+07", "-01 +66%", "7", "-3.33".
std::optional<int> parsePitch(std::string_view text, int maximum, char decimalPoint);
// PEQ gain in dB, "-3.5" or "+2 dB", as the stored 0 to 60.
std::optional<int> parseGain(std::string_view text, char decimalPoint);

// The parser of the parameter's text rule.
std::optional<int> parseTypedValue(TextRule rule, std::string_view text, int maximum, char decimalPoint);

} // namespace qrv
