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

std::vector<uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace qrv::test
