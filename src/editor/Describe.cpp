#include "Describe.hpp"

#include "state/CodePage.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace qrv {

namespace {

std::string frequencyText(int index)
{
    const int last = static_cast<int>(catalogue::frequencyList.size()) - 1;
    return trimmed(catalogue::frequencyList[static_cast<std::size_t>(std::clamp(index, 0, last))]);
}

const char* const kPartNames[] = {"gain", "frequency", "width"};

// "180'" alone does not say which phase: the frame around the box does.
bool namedByItsFrame(const PageParameter& p)
{
    return p.boxCaption && std::string(p.label).rfind("180", 0) == 0;
}

std::string checkName(const PageParameter& p)
{
    return namedByItsFrame(p) ? pageLabel(p) : fullParameterName(p.label);
}

std::string checkText(const PageParameter& p, int value)
{
    if (p.index == kNoIndex)
        return value ? "Fast" : "Slow";
    return value ? "on" : "off";
}

} // namespace

std::string plainCaption(std::string_view caption)
{
    std::string text;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        text += caption[i];
        if (caption[i] == '&' && i + 1 < caption.size() && caption[i + 1] == '&')
            ++i;
    }
    return text;
}

std::string pageLabel(const PageParameter& parameter)
{
    const std::string label = plainCaption(parameter.label);
    return namedByItsFrame(parameter) ? plainCaption(parameter.boxCaption) + " " + label : label;
}

std::string fullParameterName(const std::string& label)
{
    static constexpr std::array<std::pair<const char*, const char*>, 15> whole{{
        {"Pdly Rev", "Reverb pre-delay"},
        {"PDly Rev", "Reverb pre-delay"},
        {"E.Ref Vol", "Early reflections volume"},
        {"E.Ref Pdly", "Early reflections pre-delay"},
        {"Rev Vol", "Reverb volume"},
        {"Pseudo St.", "Pseudo stereo"},
        {"Rate L", "Rate left"},
        {"Rate R", "Rate right"},
        {"Link Rate L&&R", "Link rate left and right"},
        {"Chorus %", "Chorus mix"},
        {"Semi-Tones", "Pitch shift in semitones"},
        {"Time", "Gate time"},
        {"Link RateL&&R", "Link rate left and right"},
        {"Rotor", "Rotor speed"},
        {"Mono", "Mono delay (up to 1270 ms; stereo up to 800 ms)"},
    }};
    for (const auto& [shortName, longName] : whole)
        if (label == shortName)
            return longName;
    static constexpr std::array<std::pair<const char*, const char*>, 4> prefixes{{
        {"Chr/Flg ", "Chorus/flanger "},
        {"Ch/Flg ", "Chorus/flanger "},
        {"Cyl ", "Cylinder rotor "},
        {"Horn ", "Horn rotor "},
    }};
    for (const auto& [shortPrefix, longPrefix] : prefixes)
        if (label.rfind(shortPrefix, 0) == 0)
            return longPrefix + label.substr(std::char_traits<char>::length(shortPrefix));
    return label;
}

std::string parameterToolTip(const ValueTables& tables, const PageParameter& parameter)
{
    const std::string name = fullParameterName(parameter.label);
    if (parameter.kind == ControlKind::CheckBox)
        return checkName(parameter) + ": " + checkText(parameter, 0) + " or " + checkText(parameter, 1);
    return name + ": " + trimmed(valueText(tables, parameter.text, 0)) + " to " +
        trimmed(valueText(tables, parameter.text, parameter.maximum)) + " (type a value and press Enter)";
}

std::string bandToolTip(const BandRef& band, int part)
{
    const std::string name = std::string(band.caption) + " " + kPartNames[part];
    if (part == 0)
        return name + ": -15 dB to +15 dB in 0.5 dB steps";
    if (part == 1)
        return name + ": " + frequencyText(0) + " to " + frequencyText(30);
    return name + ": " + catalogue::widthEntry(0) + " to " + catalogue::widthEntry(catalogue::kWidthCount - 1);
}

std::string passFilterToolTip(const PassFilterRef& list)
{
    return std::string(list.label) + ": " + frequencyText(0) + " to " + frequencyText(30);
}

std::optional<int> columnMaximum(const PageInfo& page, const ValueTables& tables, int column)
{
    const int lastFrequency = static_cast<int>(catalogue::frequencyList.size()) - 1;
    for (const PageParameter& p : page.parameters)
        if (p.column == column)
            return p.maximum;
    for (const BandRef& band : page.bands) {
        const int b = tables.filterTableA.at(static_cast<std::size_t>(band.band));
        if (column == b)
            return catalogue::kGainMax;
        if (column == b + 1)
            return lastFrequency;
        if (column == b + 2)
            return catalogue::kWidthCount - 1;
    }
    for (const PassFilterRef& list : page.passFilters)
        if (tables.filterTableB.at(static_cast<std::size_t>(list.list)) == column)
            return lastFrequency;
    return std::nullopt;
}

std::optional<ColumnView> describeColumn(const PageInfo& page, const ValueTables& tables, int column, int value,
                                         char decimalPoint)
{
    for (const PageParameter& p : page.parameters)
        if (p.column == column) {
            if (p.kind == ControlKind::CheckBox)
                return ColumnView{checkName(p), checkText(p, value)};
            return ColumnView{fullParameterName(p.label), trimmed(valueText(tables, p.text, value))};
        }
    for (const BandRef& band : page.bands) {
        const int b = tables.filterTableA.at(static_cast<std::size_t>(band.band));
        if (column < b || column > b + 2)
            continue;
        const int part = column - b;
        const std::string name = std::string(band.caption) + " " + kPartNames[part];
        if (part == 0)
            return ColumnView{name, gainText(std::min(value, catalogue::kGainMax), decimalPoint) + " dB"};
        if (part == 1)
            return ColumnView{name, frequencyText(value)};
        return ColumnView{name, catalogue::widthEntry(std::min(value, catalogue::kWidthCount - 1))};
    }
    for (const PassFilterRef& list : page.passFilters)
        if (tables.filterTableB.at(static_cast<std::size_t>(list.list)) == column)
            return ColumnView{list.label, frequencyText(value)};
    return std::nullopt;
}

} // namespace qrv
