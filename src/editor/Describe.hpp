#pragma once

#include "Catalogue.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace qrv {

// Captions escape a literal '&' as "&&".
std::string plainCaption(std::string_view caption);
// A parameter's name as its page shows it: a phase box with the frame it sits in.
std::string pageLabel(const PageParameter& parameter);

// A label of the pages written out: "Pdly Rev" is "Reverb pre-delay".
std::string fullParameterName(const std::string& label);

// Tool tips of the page controls: the full name and the range in the unit shown.
std::string parameterToolTip(const ValueTables& tables, const PageParameter& parameter);
std::string bandToolTip(const BandRef& band, int part); // 0 gain, 1 frequency, 2 width
std::string passFilterToolTip(const PassFilterRef& list);

// A column of a page as the user knows it: its name and the text of a value.
struct ColumnView {
    std::string name;
    std::string text;
};
// The largest value a control of the page can hold in the column; nothing for a column no
// control shows.
std::optional<int> columnMaximum(const PageInfo& page, const ValueTables& tables, int column);
std::optional<ColumnView> describeColumn(const PageInfo& page, const ValueTables& tables, int column, int value,
                                         char decimalPoint);

} // namespace qrv
