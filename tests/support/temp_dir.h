// A fresh directory per test, removed with everything in it afterwards, and
// whole files read and written.
#pragma once
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

class TempDir {
  public:
    TempDir() { std::filesystem::create_directories(root_); }
    ~TempDir() { std::filesystem::remove_all(root_, ignored_); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &Root() const { return root_; }
    std::string Path(const std::string &name) const { return (root_ / name).string(); }
    std::vector<std::string> Names() const  // sorted
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(root_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::filesystem::path root_ =
        std::filesystem::temp_directory_path() / ("kestrane-test-" + std::to_string(std::random_device()()));
    std::error_code ignored_;
};

inline std::vector<unsigned char> ReadBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}
