#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace qrv::test {

// A fresh folder per test, removed afterwards.
struct TempFolder {
    std::filesystem::path path;
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
};

// While it lives, no file of this process grows past `room` bytes: writes fail as on
// a full disk (the file size limit, with its signal ignored).
struct FullDisk {
    explicit FullDisk(std::uintmax_t room = 0);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    std::uintmax_t previous_;
};

std::vector<uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace qrv::test
