#include "FakeHost.hpp"

namespace qrv::test {

void FakeHost::message(const std::string& text, const std::string& title, Icon icon)
{
    boxes.push_back({text, title, icon, false, Button::Yes});
}

bool FakeHost::askYesNo(const std::string& text, const std::string& title, Icon icon, Button defaultButton)
{
    boxes.push_back({text, title, icon, true, defaultButton});
    if (answers.empty())
        throw std::logic_error("unexpected question: " + title + ": " + text);
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

std::optional<std::filesystem::path> FakeHost::openFile(const std::string& filter, const std::filesystem::path& folder)
{
    dialogs.push_back({false, filter, folder});
    if (paths.empty())
        throw std::logic_error("unexpected open dialog");
    auto path = paths.front();
    paths.pop_front();
    return path;
}

std::optional<std::filesystem::path> FakeHost::saveFile(const std::string& filter, const std::filesystem::path& folder)
{
    dialogs.push_back({true, filter, folder});
    if (paths.empty())
        throw std::logic_error("unexpected save dialog");
    auto path = paths.front();
    paths.pop_front();
    return path;
}

void FakeHost::setBusy(Window window, bool busy)
{
    busyChanges.emplace_back(window, busy);
    busyCount[static_cast<int>(window)] = busy ? 1 : 0;
}

void FakeHost::endProgram()
{
    ended = true;
    throw ProgramEnded();
}

} // namespace qrv::test
