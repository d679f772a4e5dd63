#include "course_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>

#include "data/codebase.h"
#include "data/open_table.h"
#include "data/table_registry.h"
#include "host_run.h"
#include "platform/xbase/tag_check.h"
#include "platform/xbase/xbase.h"
#include "spawned_run.h"

namespace fs = std::filesystem;

namespace app_testing {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

long LiveRows(xbase::Data4 data) {
  long rows = 0;
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1))
    if (!xbase::d4deleted(data)) ++rows;
  return rows;
}

// Whether the run log holds the marker at a line's start after the first bytes
// (earlier runs' lines).
bool LogHas(const fs::path& runLog, std::uintmax_t from, const std::string& marker) {
  std::ifstream in(runLog, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(marker, 0) == 0) return true;
  return false;
}

}  // namespace

std::map<std::string, fs::path> Tables(const fs::path& folder) {
  std::map<std::string, fs::path> tables;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = Lower(entry.path().stem().string());
    if (Lower(entry.path().extension().string()) == ".dbf" && name != "status") tables[name] = entry.path();
  }
  return tables;
}

std::multiset<std::string> Rows(const fs::path& dbf) {
  std::multiset<std::string> rows;
  xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, dbf.string());
  EXPECT_NE(data, 0) << dbf;
  if (data == 0) return rows;
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    std::string row;
    for (int j = 1; j <= xbase::d4numFields(data); ++j) row += xbase::f4memoStr(xbase::d4fieldJ(data, j)) + "|";
    rows.insert(row);
  }
  for (const auto& tag : xbase::detail::CheckTags(data)) EXPECT_TRUE(tag.Problems().empty()) << dbf << " " << tag.Line();
  xbase::d4close(data);
  return rows;
}

std::map<std::string, std::multiset<std::string>> FolderRows(const fs::path& folder) {
  std::map<std::string, std::multiset<std::string>> rows;
  for (const auto& [name, path] : Tables(folder)) rows[name] = Rows(path);
  return rows;
}

std::map<std::string, std::string> FileBytes(const fs::path& folder, const std::vector<std::string>& extensions) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string ext = entry.path().extension().string();
    if (!extensions.empty() && std::find(extensions.begin(), extensions.end(), ext) == extensions.end()) continue;
    files[entry.path().filename().string()] = testing_support::ReadFile(entry.path());
  }
  return files;
}

std::map<std::string, long> CheckFolder(const fs::path& folder) {
  std::map<std::string, long> rows;
  for (const auto& [name, path] : Tables(folder)) {
    xbase::Data4 data = tolvarin::OpenTable(path.string(), 0, false, true);
    EXPECT_NE(data, 0) << path;
    if (data == 0) continue;
    for (const auto& tag : xbase::detail::CheckTags(data))
      EXPECT_TRUE(tag.Problems().empty()) << path << " " << tag.Line();
    rows[name + ".dbf"] = LiveRows(data);
    tolvarin::CloseTable(data);
  }
  return rows;
}

void ForgetBackupRecord(const fs::path& folder) {
  const fs::path ini = folder / "TOLVARIN.INI";
  std::string kept;
  bool keeping = true;
  for (const std::string& line : Lines(testing_support::ReadFile(ini))) {
    if (!line.empty() && line.front() == '[') keeping = line == "[Tolvarin]";
    if (keeping && !line.empty()) kept += line + "\r\n";
  }
  testing_support::WriteFile(ini, kept);
  fs::remove_all(folder / "CourseTables");
}

bool RunAndKillAt(const std::vector<std::string>& args, const fs::path& runLog, const std::string& marker,
                  std::chrono::microseconds pause, const std::vector<std::string>& environment) {
  std::error_code error;
  const std::uintmax_t earlier = fs::exists(runLog) ? fs::file_size(runLog, error) : 0;
  std::chrono::steady_clock::time_point seen{};
  const Ending ending = RunUntil(HostRun::Program(), args, [&] {
    if (seen == std::chrono::steady_clock::time_point{}) {
      if (!LogHas(runLog, earlier, marker)) return false;
      seen = std::chrono::steady_clock::now();
    }
    return std::chrono::steady_clock::now() >= seen + pause;
  }, environment);
  return ending.killed;
}

std::map<std::string, std::string> TreeBytes(const std::vector<fs::path>& folders) {
  std::map<std::string, std::string> files;
  for (const fs::path& folder : folders) {
    if (!fs::exists(folder)) continue;
    if (fs::is_regular_file(folder)) {
      files[folder.string()] = testing_support::ReadFile(folder);
      continue;
    }
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
      const std::string name = it->path().string();
      if (it->path().filename() == "tolvarin.log" || name.find("/logs/") != std::string::npos) continue;
      if (it->is_symlink())
        files[name] = "link to " + fs::read_symlink(it->path()).string();
      else if (it->is_regular_file())
        files[name] = testing_support::ReadFile(it->path());
    }
  }
  return files;
}

}  // namespace app_testing
