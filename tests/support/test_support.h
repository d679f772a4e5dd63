#pragma once
// Small helpers every test folder shares.
#include <filesystem>
#include <string>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// ../shared beside the project's root (TOLVARIN_SHARED overrides it). Throws, naming the
// folder, when it holds no fixtures/.
std::filesystem::path SharedDir();
// The built tolvarin program (TOLVARIN_BINARY, set by the test runner).
std::filesystem::path TolvarinBinary();

// Copies a fixture folder into dest (made writable), returns dest.
std::filesystem::path CopyFolder(const std::filesystem::path& from, const std::filesystem::path& dest);

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace testing_support
