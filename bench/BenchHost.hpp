#pragma once

#include "state/Host.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace qrv::bench {

// The host of a benchmark run: nobody to answer (every question is No), messages counted
// and printed on stderr, every file dialog given `file`, and a link that ends the
// program aborts the run.
class BenchHost final : public Host {
public:
    explicit BenchHost(std::string name, std::optional<std::filesystem::path> file = {})
        : name_(std::move(name)), file_(std::move(file))
    {
    }
    void message(const std::string& text, const std::string&, Icon) override
    {
        std::fprintf(stderr, "%s: %s\n", name_.c_str(), text.c_str());
        ++messages;
    }
    bool askYesNo(const std::string&, const std::string&, Icon, Button) override { return false; }
    std::optional<std::filesystem::path> openFile(const std::string&, const std::filesystem::path&) override
    {
        return file_;
    }
    std::optional<std::filesystem::path> saveFile(const std::string&, const std::filesystem::path&) override
    {
        return file_;
    }
    void setBusy(Window, bool) override {}
    void refresh(Window window) override
    {
        if (onRefresh)
            onRefresh(window);
    }
    void sleep(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
    [[noreturn]] void endProgram() override
    {
        std::fprintf(stderr, "%s: the link ended the program\n", name_.c_str());
        std::abort();
    }
    ScreenSize screenSize() override { return {1024, 768}; }
    char decimalPoint() override { return '.'; }

    int messages = 0;
    std::function<void(Window)> onRefresh; // told of every repaint the core asks for

private:
    std::string name_;
    std::optional<std::filesystem::path> file_;
};

} // namespace qrv::bench
