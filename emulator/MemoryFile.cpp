#include "MemoryFile.hpp"

#include "FactoryImage.hpp"

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace qrv {

std::optional<std::vector<uint8_t>> readMemoryFile(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return std::nullopt;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        throw std::runtime_error(path.string() + ": " + ec.message());
    if (size != kMemorySize)
        throw std::runtime_error(path.string() + ": a memory image has 65536 bytes, this file has " +
                                 std::to_string(size));
    std::vector<uint8_t> image(kMemorySize);
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size())))
        throw std::runtime_error(path.string() + ": cannot be read");
    return image;
}

void writeMemoryFile(const std::filesystem::path& path, std::span<const uint8_t> image)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out)
            throw std::runtime_error(temporary.string() + ": cannot be written");
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        throw std::runtime_error(path.string() + ": cannot be replaced");
    }
}

} // namespace qrv
