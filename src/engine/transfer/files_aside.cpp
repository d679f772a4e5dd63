#include "engine/transfer/files_aside.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "engine/transfer/database_sets.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

std::vector<StagedFile>& Aside() {
  static std::vector<StagedFile> files;
  return files;
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

std::string AsidePathFor(const std::string& target) {
  const fs::path path(target);
  const DatabaseSet& dest = Dest();
  const fs::path folder = SameFolder(path.parent_path(), dest.CourseFolder) ? fs::path(dest.TablesFolder)
                                                                            : path.parent_path();
  return (folder / (path.filename().string() + kAsideSuffix)).string();
}

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void Remove(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

// Written, closed and read back whole; a later write of the same target replaces
// the earlier one.
bool Put(const std::string& target, const std::string& bytes) {
  const std::string aside = AsidePathFor(target);
  bool ok = true;
  {
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ok = !out.fail();
  }
  std::string back;
  if (!ok || !ReadWhole(aside, back) || back != bytes) {
    Remove(aside);
    return false;
  }
  for (StagedFile& file : Aside())
    if (file.target == target) {
      file.staged = aside;
      return true;
    }
  Aside().push_back({aside, target});
  return true;
}

}  // namespace

bool WritingAside() { return !Dest().TablesFolder.empty(); }

bool CopyAside(const std::string& source, const std::string& target) {
  std::string bytes;
  return ReadWhole(source, bytes) && Put(target, bytes);
}

bool WriteAside(const std::string& target, const std::string& text) { return Put(target, text); }

const std::vector<StagedFile>& FilesAside() { return Aside(); }

void DropFilesAside() {
  for (const StagedFile& file : Aside()) Remove(file.staged);
  Aside().clear();
}

void ForgetFilesAside() { Aside().clear(); }

}  // namespace tolvarin
