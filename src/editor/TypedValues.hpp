#pragma once

#include "Catalogue.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace qrv {

// A typed value as the stored value the control can take nearest to it (0 to maximum);
// `limited` when the nearest lay beyond that range, which the user is told.
struct TypedValue {
    int stored = 0;
    bool limited = false;
    friend bool operator==(const TypedValue&, const TypedValue&) = default;
};

// What the user is told of text that is no value: the box then shows the value again.
inline constexpr const char* kNotANumberText = "Not a number";
// What the user is told when a typed value lay beyond the control's range.
std::string limitedText(const std::string& shownValue);

// A value typed into a value box, in the unit the box shows. Nothing for text that is no
// such value. Both '.' and the system's decimal point are taken.
std::optional<TypedValue> parsePercent(std::string_view text, int maximum, char decimalPoint);
std::optional<TypedValue> parseMilliseconds(std::string_view text, int maximum, char decimalPoint);
std::optional<TypedValue> parseTimesFiveMs(std::string_view text, int maximum, char decimalPoint);
std::optional<TypedValue> parseGateTime(std::string_view text, int maximum, char decimalPoint);
// Semitones, optionally with a third: "+07", "-01 +66%", "7", "-3.33".
std::optional<TypedValue> parsePitch(std::string_view text, int maximum, char decimalPoint);
// PEQ gain in dB, "-3.5" or "+2 dB", as the stored 0 to 60.
std::optional<TypedValue> parseGain(std::string_view text, char decimalPoint);

// The parser of the parameter's text rule.
std::optional<TypedValue> parseTypedValue(TextRule rule, std::string_view text, int maximum, char decimalPoint);

} // namespace qrv
