#include "data/source_tables.h"

#include <cstdint>
#include <fstream>
#include <optional>

#include "core/files.h"
#include "core/paths.h"
#include "core/strings.h"
#include "platform/xbase/dbf.h"
#include "platform/xbase/fpt.h"

namespace tolvarin {
namespace {

namespace xd = xbase::detail;

// A memo file's tail past the furthest memo its records reach may be abandoned runs
// of memos rewritten longer; as long again as what is reached, plus this, is allowed.
constexpr std::uint64_t kMemoSlack = 1 << 20;

std::uint64_t FileSize(std::ifstream& in) {
  in.seekg(0, std::ios::end);
  const auto size = in.tellg();
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

bool ReadAt(std::ifstream& in, std::uint64_t at, char* to, std::size_t count) {
  in.clear();
  in.seekg(static_cast<std::streamoff>(at));
  return static_cast<bool>(in.read(to, static_cast<std::streamsize>(count)));
}

std::uint32_t Be32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The memo file beside a table, opened for the checks.
struct MemoReader {
  std::string name;
  std::ifstream in;
  std::uint64_t size = 0;
  std::uint64_t blockSize = 1;
  bool usable = false;
  std::uint64_t reach = xd::kFptHeaderSize;  // the end of the furthest memo met

  // The end of the memo whose run starts at block, nothing when it does not lie whole
  // in the file (inside the header, past the end, or a length that runs past it).
  std::optional<std::uint64_t> End(std::uint32_t block) {
    const std::uint64_t at = block * blockSize;
    if (at < xd::kFptHeaderSize || at + 8 > size) return std::nullopt;
    unsigned char head[8];
    if (!ReadAt(in, at, reinterpret_cast<char*>(head), sizeof head)) return std::nullopt;
    const std::uint64_t end = at + 8 + Be32(head + 4);
    if (end > size) return std::nullopt;
    return end;
  }
};

void OpenMemo(const std::string& path, MemoReader& memo) {
  memo.name = GetFileName(path, true);
  memo.in.open(path, std::ios::binary);
  if (!memo.in) return;
  memo.size = FileSize(memo.in);
  unsigned char head[8];
  if (memo.size < xd::kFptHeaderSize || !ReadAt(memo.in, 0, reinterpret_cast<char*>(head), sizeof head)) return;
  const unsigned size = head[6] << 8 | head[7];
  memo.blockSize = size == 0 ? 1 : size;  // a block size of 0 means bytes
  memo.usable = true;
}

// The memo file of a table: the table's name with .fpt, found without regard to case.
std::string MemoPathFor(const std::string& dataPath) {
  const std::string folder = dataPath.substr(0, dataPath.find_last_of('/'));
  return FindPath(JoinPath(folder, GetFileName(dataPath, false) + ".fpt"));
}

void CheckTable(const std::string& path, std::vector<std::string>& problems) {
  const std::string name = GetFileName(path, true);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problems.push_back(name + " cannot be read");
    return;
  }
  const std::uint64_t fileSize = FileSize(in);
  std::string head(xd::kDbfHeaderSize, '\0');
  if (fileSize < head.size() || !ReadAt(in, 0, head.data(), head.size())) {
    problems.push_back(name + " is shorter than a table's header");
    return;
  }
  const std::size_t headerLength =
      static_cast<unsigned char>(head[8]) | static_cast<unsigned char>(head[9]) << 8;
  std::string header(std::min<std::uint64_t>(std::max<std::size_t>(headerLength, head.size()), fileSize), '\0');
  ReadAt(in, 0, header.data(), header.size());
  xd::DbfHeader dbf;
  std::string why;
  if (xd::ParseDbfHeader(header, static_cast<std::int64_t>(fileSize), dbf, &why) != xbase::kSuccess) {
    problems.push_back(name + " is not a table that can be read (" + why + ")");
    return;
  }
  if (xd::CheckRecordArea(dbf, static_cast<std::int64_t>(fileSize), &why) != xbase::kSuccess) {
    problems.push_back(name + " does not hold its " + std::to_string(dbf.count) + " records whole (" + why + ")");
    return;
  }

  std::vector<const xd::FieldDescriptor*> memoFields;
  for (const auto& field : dbf.fields)
    if (xd::MemoPointerWidth(field.layout) != 0) memoFields.push_back(&field);
  if (memoFields.empty()) return;

  MemoReader memo;
  const std::string memoPath = MemoPathFor(path);
  if (FileExists(memoPath)) OpenMemo(memoPath, memo);
  const std::string memoName = memo.name.empty() ? GetFileName(path, false) + ".fpt" : memo.name;

  long unreachable = 0;
  std::string first;
  std::string record(static_cast<std::size_t>(dbf.recordLength), '\0');
  for (long n = 1; n <= dbf.count; ++n) {
    const std::uint64_t at = static_cast<std::uint64_t>(dbf.headerLength) +
                             static_cast<std::uint64_t>(n - 1) * static_cast<std::uint64_t>(dbf.recordLength);
    if (!ReadAt(in, at, record.data(), record.size())) {
      problems.push_back(name + ": record " + std::to_string(n) + " cannot be read");
      return;
    }
    const bool live = record[0] != '*';
    for (const xd::FieldDescriptor* field : memoFields) {
      const int width = xd::MemoPointerWidth(field->layout);
      std::uint32_t block = 0;
      const bool parsed = xd::ParseMemoPointer(
          std::string_view(record).substr(static_cast<std::size_t>(field->layout.offset), static_cast<std::size_t>(width)),
          block);
      if (parsed && block == 0) continue;
      std::optional<std::uint64_t> end;
      if (parsed && memo.usable) end = memo.End(block);
      if (end) {
        memo.reach = std::max(memo.reach, *end);
        continue;
      }
      if (!live) continue;  // a deleted row is never copied; its lost memo harms nothing
      if (++unreachable == 1)
        first = "the memo of record " + std::to_string(n) + " (" + field->layout.name + ")";
    }
  }
  if (unreachable != 0) {
    std::string problem = memoName + ": ";
    if (!memo.usable)
      problem += memo.in.is_open() || FileExists(memoPath) ? "the memo file is shorter than its header"
                                                           : "the memo file is missing";
    else
      problem += first + " does not lie whole in the file";
    if (unreachable > 1) problem += " (" + std::to_string(unreachable) + " memos in all)";
    problems.push_back(problem);
    return;
  }
  if (memo.usable && memo.size > 2 * memo.reach + kMemoSlack)
    problems.push_back(memoName + ": " + std::to_string(memo.size) + " bytes, far more than its records reach (" +
                       std::to_string(memo.reach) + ")");
}

}  // namespace

std::vector<std::string> SourceTableProblems(const std::string& folder) {
  std::vector<std::string> problems;
  for (const std::string& path : GetFilesInFolder(FindPath(folder), kAttrNormal, "DBF")) {
    if (ToUpper(GetFileName(path, true)) == "STATUS.DBF") continue;  // the version file, initialisation text
    CheckTable(path, problems);
  }
  return problems;
}

std::string SummarizeProblems(const std::vector<std::string>& problems, std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < problems.size() && i < shown; ++i) text += (i ? "\n" : "") + problems[i];
  if (problems.size() > shown) text += "\n(and " + std::to_string(problems.size() - shown) + " more)";
  return text;
}

}  // namespace tolvarin
