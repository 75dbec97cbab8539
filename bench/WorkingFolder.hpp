#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

namespace qrv::bench {

// A fresh working folder for one benchmark, the working directory while it lives: the editor
// writes its files (the port it found, presets) there. Removed afterwards.
struct WorkingFolder {
    explicit WorkingFolder(const std::string& name)
        : path(std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()))),
          previous(std::filesystem::current_path())
    {
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~WorkingFolder()
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(path);
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    const std::filesystem::path path, previous;
};

} // namespace qrv::bench
