#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("tolvarin-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path SharedDir() {
  const char* env = std::getenv("TOLVARIN_SHARED");
  const fs::path shared = env && *env ? fs::path(env) : fs::path(TOLVARIN_SHARED_DEFAULT);
  // Without it every fixture read fails further on, far from the cause.
  std::error_code error;
  if (!fs::is_directory(shared / "fixtures", error)) {
    throw std::runtime_error("the shared test material is missing: no folder " + (shared / "fixtures").string() +
                             " (set TOLVARIN_SHARED to the folder that holds fixtures/)");
  }
  return shared;
}

fs::path TolvarinBinary() {
  if (const char* env = std::getenv("TOLVARIN_BINARY"); env && *env) return env;
  return "tolvarin";
}

fs::path CopyFolder(const fs::path& from, const fs::path& dest) {
  fs::create_directories(dest);
  for (const auto& entry : fs::directory_iterator(from)) {
    if (!entry.is_regular_file()) continue;
    fs::path target = dest / entry.path().filename();
    fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  }
  return dest;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace testing_support

// The leak checker's suppressions for the test programs: tests/lsan-qt.supp, read
// when the checker first needs it (at the end of the program). Kept in this file
// so that every program that uses the support links it.
extern "C" const char* __lsan_default_suppressions() {
  static const std::string text = [] {
    std::ifstream in(TOLVARIN_LSAN_SUPPRESSIONS);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }();
  return text.c_str();
}
