#include "FrontPanel.hpp"

#include <charconv>
#include <vector>

namespace qrv {

namespace {

constexpr int kEffects = 16;

std::vector<std::string_view> wordsOf(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

bool number(std::string_view word, int& out)
{
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), out);
    return error == std::errc() && end == word.data() + word.size();
}

} // namespace

std::string playPanelLine(DeviceModel& model, std::string_view line)
{
    const auto words = wordsOf(line);
    if (words.empty() || words.front().front() == '#')
        return {};
    int effect = 0, column = 0, value = 0;
    if (words.front() == "select" && words.size() == 2 && number(words[1], effect))
        return model.selectOnPanel(effect) ? std::string() : "no effect " + std::string(words[1]);
    if (words.front() == "set" && words.size() == 4 && number(words[1], effect) && number(words[2], column) &&
        number(words[3], value)) {
        if (value < 0 || value > 255)
            return "a value is 0 to 255, not " + std::string(words[3]);
        return model.turnOnPanel(effect, column, static_cast<uint8_t>(value))
            ? std::string()
            : "no column " + std::string(words[2]) + " of effect " + std::string(words[1]);
    }
    return "not a panel line (select E, or set E C V): " + std::string(line);
}

void selectNextOnPanel(DeviceModel& model)
{
    model.selectOnPanel((model.currentEffect() + 1) % kEffects);
}

} // namespace qrv
