#include "tests/support/temp_dir.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::random_device random;
    for (;;) {
        root_ = fs::temp_directory_path() / ("kestrane-test-" + std::to_string(random()));
        if (fs::create_directory(root_))
            break;
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string TempDir::Path(const std::string &name) const
{
    return (root_ / name).string();
}

std::vector<std::string> TempDir::Names() const
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(root_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<unsigned char> ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

bool FileExists(const std::string &path)
{
    return fs::exists(path);
}
