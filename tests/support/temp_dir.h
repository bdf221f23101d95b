// A fresh directory per test, removed with everything in it afterwards.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string Path(const std::string &name) const;
    std::vector<std::string> Names() const;  // sorted
    const std::filesystem::path &Root() const { return root_; }

  private:
    std::filesystem::path root_;
};

std::vector<unsigned char> ReadBytes(const std::string &path);
void WriteBytes(const std::string &path, const std::vector<unsigned char> &bytes);
bool FileExists(const std::string &path);
