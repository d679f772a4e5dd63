#include "engine/package/backup_contents.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "core/files.h"
#include "core/paths.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "engine/package/backup_folder.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {
namespace fs = std::filesystem;
namespace {

constexpr const char* kFilesSection = "[Contents]";
constexpr const char* kRowsSection = "[Rows]";

const std::array<std::uint32_t, 256>& CrcTable() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

std::uint32_t Update(std::uint32_t crc, const char* data, std::size_t size) {
  const auto& table = CrcTable();
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
  return crc;
}

// The checksum of a file's bytes; nullopt when it cannot be read.
std::optional<std::uint32_t> FileCrc(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::uint32_t crc = 0xFFFFFFFFu;
  std::vector<char> buffer(1 << 16);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    crc = Update(crc, buffer.data(), static_cast<std::size_t>(in.gcount()));
    if (in.eof()) break;
  }
  if (in.bad()) return std::nullopt;
  return crc ^ 0xFFFFFFFFu;
}

bool IsDescription(const std::string& relative) {
  const std::string upper = ToUpper(relative);
  return upper == ToUpper(std::string(kDescriptionFile)) || upper == ToUpper(std::string(kDescriptionFile) + ".part");
}

std::string Hex(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// "the table quests" for a table's files, the file's own name otherwise.
std::string Named(const std::string& relative) {
  const std::string ext = ToUpper(GetFileExtension(relative));
  if (relative.find('/') == std::string::npos && (ext == "DBF" || ext == "CDX" || ext == "FPT") &&
      ToUpper(relative) != ToUpper(std::string(kVersionFile)))
    return "the table " + GetFileName(relative, false) + " (" + relative + ")";
  return "the file " + relative;
}

// The description file's lines without the record's sections.
std::vector<std::string> DescriptionLines(const std::string& text) {
  std::vector<std::string> lines;
  bool skipping = false;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = ToUpper(Trim(line));
    if (!trimmed.empty() && trimmed.front() == '[')
      skipping = trimmed == ToUpper(std::string(kFilesSection)) || trimmed == ToUpper(std::string(kRowsSection));
    if (!skipping) lines.push_back(line);
  }
  while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
  return lines;
}

}  // namespace

std::uint32_t Crc32(const std::string& bytes) { return Update(0xFFFFFFFFu, bytes.data(), bytes.size()) ^ 0xFFFFFFFFu; }

std::optional<std::uint32_t> FileChecksum(const std::string& path) { return FileCrc(path); }

std::map<std::string, long> LiveRows(const std::string& folder) {
  std::map<std::string, long> rows;
  for (const std::string& path : GetFilesInFolder(folder, kAttrNormal, "DBF")) {
    const std::string name = ToUpper(GetFileName(path, false));
    if (name == ToUpper(GetFileName(kVersionFile, false))) continue;
    if (fs::is_symlink(path)) continue;
    const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, path);
    if (data == 0) continue;
    long live = 0;
    xbase::d4tagSelect(data, 0);
    for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1))
      if (!xbase::d4deleted(data)) ++live;
    xbase::d4close(data);
    rows[name] = live;
  }
  return rows;
}

BackupContents MeasureBackupFolder(const std::string& folder) {
  BackupContents contents;
  const fs::path root = FindPath(folder);
  std::error_code ec;
  std::vector<fs::path> files;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file() && !it->is_symlink()) files.push_back(it->path());
  for (const fs::path& path : files) {
    const std::string relative = path.lexically_relative(root).generic_string();
    if (IsDescription(relative)) continue;
    const auto crc = FileCrc(path);
    contents.files.push_back({relative, fs::file_size(path, ec), crc.value_or(0)});
  }
  std::sort(contents.files.begin(), contents.files.end(),
            [](const RecordedFile& a, const RecordedFile& b) { return a.name < b.name; });
  contents.rows = LiveRows(folder);
  return contents;
}

bool WriteBackupContents(const std::string& folder, const BackupContents& contents) {
  const std::string final = FindPath(JoinPath(folder, kDescriptionFile));
  std::string text;
  {
    std::ifstream in(final, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  }
  std::string out;
  for (const std::string& line : DescriptionLines(text)) out += line + "\r\n";
  out += std::string("\r\n") + kFilesSection + "\r\n";
  for (const RecordedFile& file : contents.files)
    out += file.name + "=" + std::to_string(file.size) + " " + Hex(file.checksum) + "\r\n";
  out += std::string("\r\n") + kRowsSection + "\r\n";
  for (const auto& [table, rows] : contents.rows) out += table + "=" + std::to_string(rows) + "\r\n";

  const std::string part = final + ".part";
  {
    std::ofstream file(part, std::ios::binary | std::ios::trunc);
    file << out;
    file.flush();
    if (!file) {
      DeleteFile(part);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(part, final, ec);
  if (ec) DeleteFile(part);
  return !ec;
}

std::optional<BackupContents> ReadBackupContents(const std::string& folder) {
  std::ifstream in(FindPath(JoinPath(folder, kDescriptionFile)), std::ios::binary);
  if (!in) return std::nullopt;
  BackupContents contents;
  bool recorded = false;
  enum { None, Files, Rows } section = None;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty()) continue;
    if (trimmed.front() == '[') {
      const std::string upper = ToUpper(trimmed);
      section = upper == ToUpper(std::string(kFilesSection))  ? Files
                : upper == ToUpper(std::string(kRowsSection)) ? Rows
                                                              : None;
      recorded = recorded || section != None;
      continue;
    }
    const std::size_t eq = trimmed.rfind('=');
    if (section == None || eq == std::string::npos) continue;
    const std::string key = trimmed.substr(0, eq);
    const std::string value = trimmed.substr(eq + 1);
    if (section == Files) {
      RecordedFile file{key, 0, 0};
      std::istringstream fields(value);
      std::string size, sum;
      fields >> size >> sum;
      file.size = std::strtoull(size.c_str(), nullptr, 10);
      file.checksum = static_cast<std::uint32_t>(std::strtoul(sum.c_str(), nullptr, 16));
      contents.files.push_back(file);
    } else {
      contents.rows[ToUpper(key)] = std::strtol(value.c_str(), nullptr, 10);
    }
  }
  if (!recorded) return std::nullopt;
  return contents;
}

std::vector<std::string> ContentsProblems(const std::string& folder, const BackupContents& recorded) {
  std::vector<std::string> problems;
  const fs::path root = FindPath(folder);
  for (const RecordedFile& file : recorded.files) {
    // A recorded name that climbs out of the folder is no part of it.
    const fs::path relative = fs::path(file.name).lexically_normal();
    if (relative.is_absolute() || relative.empty() || *relative.begin() == "..") {
      problems.push_back(Named(file.name) + " lies outside the backup folder");
      continue;
    }
    const fs::path path = FindPath((root / relative).string());
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status)) {
      problems.push_back(Named(file.name) + " is missing");
    } else if (!fs::is_regular_file(status)) {
      problems.push_back(Named(file.name) + " is not a file of the backup folder");
    } else if (fs::file_size(path, ec) != file.size || FileCrc(path) != std::optional<std::uint32_t>(file.checksum)) {
      problems.push_back(Named(file.name) + " is damaged");
    }
  }
  return problems;
}

std::vector<std::string> MissingRows(const std::string& folder, const BackupContents& recorded) {
  std::vector<std::string> problems;
  const std::map<std::string, long> now = LiveRows(folder);
  for (const auto& [table, rows] : recorded.rows) {
    const auto found = now.find(table);
    const long live = found == now.end() ? 0 : found->second;
    if (live < rows)
      problems.push_back("the table " + table + " holds " + std::to_string(live) + " of its " + std::to_string(rows) +
                         " rows");
  }
  return problems;
}

}  // namespace tolvarin
