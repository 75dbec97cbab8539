#include "TypedValues.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace qrv {

namespace {

void skipBlanks(std::string_view& text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
}

// A decimal number with an optional sign; digits are counted by hand so that the
// program's locale plays no part.
std::optional<double> takeNumber(std::string_view& text, char decimalPoint)
{
    skipBlanks(text);
    double sign = 1;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        sign = text.front() == '-' ? -1 : 1;
        text.remove_prefix(1);
    }
    double value = 0, scale = 0;
    int digits = 0;
    while (!text.empty()) {
        const char c = text.front();
        if (c >= '0' && c <= '9') {
            if (digits < 12) {
                if (scale == 0) {
                    value = value * 10 + (c - '0');
                } else {
                    value += (c - '0') * scale;
                    scale /= 10;
                }
            }
            ++digits;
        } else if ((c == '.' || c == decimalPoint) && scale == 0) {
            scale = 0.1;
        } else {
            break;
        }
        text.remove_prefix(1);
    }
    if (digits == 0)
        return std::nullopt;
    return sign * value;
}

bool takeUnit(std::string_view& text, std::string_view unit)
{
    skipBlanks(text);
    if (text.size() < unit.size())
        return false;
    for (std::size_t i = 0; i < unit.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != unit[i])
            return false;
    text.remove_prefix(unit.size());
    return true;
}

bool atEnd(std::string_view text)
{
    skipBlanks(text);
    return text.empty();
}

TypedValue nearest(double steps, int maximum)
{
    const double rounded = std::round(steps);
    const double stored = std::clamp(rounded, 0.0, static_cast<double>(maximum));
    return {static_cast<int>(stored), stored != rounded};
}

// A number, an optional unit, nothing after; the number divided by the step size.
std::optional<TypedValue> scaled(std::string_view text, std::string_view unit, double step, int maximum, char decimalPoint)
{
    const auto number = takeNumber(text, decimalPoint);
    if (!number)
        return std::nullopt;
    takeUnit(text, unit);
    if (!atEnd(text))
        return std::nullopt;
    return nearest(*number / step, maximum);
}

} // namespace

std::string limitedText(const std::string& shownValue)
{
    return "Limited to " + shownValue;
}

std::optional<TypedValue> parsePercent(std::string_view text, int maximum, char decimalPoint)
{
    return scaled(text, "%", 1, maximum, decimalPoint);
}

std::optional<TypedValue> parseMilliseconds(std::string_view text, int maximum, char decimalPoint)
{
    return scaled(text, "ms", 1, maximum, decimalPoint);
}

std::optional<TypedValue> parseTimesFiveMs(std::string_view text, int maximum, char decimalPoint)
{
    return scaled(text, "ms", 5, maximum, decimalPoint);
}

std::optional<TypedValue> parseGateTime(std::string_view text, int maximum, char decimalPoint)
{
    return scaled(text, "ms", 31.5, maximum, decimalPoint);
}

std::optional<TypedValue> parsePitch(std::string_view text, int maximum, char decimalPoint)
{
    auto semitones = takeNumber(text, decimalPoint);
    if (!semitones)
        return std::nullopt;
    skipBlanks(text);
    if (!text.empty()) {
        // A third of a semitone written as the table writes it: "+33%" or "+66%".
        const auto percent = takeNumber(text, decimalPoint);
        if (!percent || !takeUnit(text, "%") || !atEnd(text))
            return std::nullopt;
        *semitones += *percent / 100;
    }
    // Entry k stands for k / 3 - 12 semitones.
    return nearest((*semitones + 12) * 3, maximum);
}

std::optional<TypedValue> parseGain(std::string_view text, char decimalPoint)
{
    const auto decibels = takeNumber(text, decimalPoint);
    if (!decibels)
        return std::nullopt;
    takeUnit(text, "db");
    if (!atEnd(text))
        return std::nullopt;
    return nearest(*decibels * 2 + 30, catalogue::kGainMax);
}

std::optional<TypedValue> parseTypedValue(TextRule rule, std::string_view text, int maximum, char decimalPoint)
{
    switch (rule) {
    case TextRule::Percent:
        return parsePercent(text, maximum, decimalPoint);
    case TextRule::Milliseconds:
        return parseMilliseconds(text, maximum, decimalPoint);
    case TextRule::TimesFiveMs:
        return parseTimesFiveMs(text, maximum, decimalPoint);
    case TextRule::GateTime:
        return parseGateTime(text, maximum, decimalPoint);
    case TextRule::Pitch:
        return parsePitch(text, maximum, decimalPoint);
    case TextRule::None:
        break;
    }
    return std::nullopt;
}

} // namespace qrv
