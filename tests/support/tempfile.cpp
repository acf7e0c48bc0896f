#include "tests/support/tempfile.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

std::string test_temp_path(const char *stem)
{
    static std::atomic<unsigned> serial{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec)
        dir = ".";
    std::string name = std::string(stem) + "-" + std::to_string(stamp) + "-" + std::to_string(serial++);
    return (dir / name).string();
}

std::string test_temp_file(const char *stem, const std::string &bytes)
{
    std::string path = test_temp_path(stem);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string test_read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
