// xbase_bench FOLDER [ROWS]: times the table engine on a table shaped like quests
// (21 fields, 6 memos), opened shared as the system opens every table. The rows are
// made before the clock starts. Phases: append all (each append takes and releases
// the append lock, as the system appends), read all in natural order, random go +
// field reads, delete every 10th, pack; then the same appends into a second table
// locked whole first (d4lockAll). The tables stay in FOLDER.
// Index phases, on a third table with the seven tags of quests and the identifiers
// shuffled: append all, random seeks on QUEST_ID, a walk of every tag, reindex,
// delete every 10th, pack. Last, what the system calls of those indexed appends and
// of the seeks' record reads cost by themselves on this machine (no engine work), as
// floors for the append and seek figures.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/xbase/xbase.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::vector<xbase::FieldInfo> QuestsFields() {
  return {{"quest_id", 'C', 7, 0},   {"subtopicid", 'C', 7, 0}, {"difficulty", 'N', 1, 0}, {"user_id", 'C', 7, 0},
          {"descriptid", 'C', 7, 0}, {"table_id", 'C', 7, 0},   {"question", 'M', 10, 0},  {"exam_id", 'C', 7, 0},
          {"essay", 'N', 1, 0},      {"answer1", 'M', 10, 0},   {"answer2", 'M', 10, 0},   {"answer3", 'M', 10, 0},
          {"answer4", 'M', 10, 0},   {"answer5", 'M', 10, 0},   {"answer1pct", 'C', 7, 0}, {"answer2pct", 'C', 7, 0},
          {"answer3pct", 'C', 7, 0}, {"answer4pct", 'C', 7, 0}, {"answer5pct", 'C', 7, 0}, {"correctans", 'N', 1, 0},
          {"blockview", 'N', 1, 0}};
}

// One generated row: the text of every field in field order.
using Row = std::vector<std::string>;

std::string Words(std::mt19937& random, std::size_t length) {
  static const char* const kWords[] = {"which", "of", "the", "following", "is", "a", "prime", "number", "cell",
                                       "energy", "river", "delta", "why", "does", "water", "boil", "at", "sea"};
  std::string text;
  while (text.size() < length) {
    if (!text.empty()) text += ' ';
    text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
  }
  text.resize(length);
  return text;
}

std::string Id(long n) {
  char text[32];
  std::snprintf(text, sizeof text, "%07ld", n);
  return text;
}

std::vector<Row> MakeRows(long count) {
  std::mt19937 random(20261210);
  std::vector<Row> rows;
  rows.reserve(static_cast<std::size_t>(count));
  for (long i = 1; i <= count; ++i) {
    Row row;
    row.push_back(Id(i));
    row.push_back(Id(static_cast<long>(random() % 5000)));
    row.push_back(std::to_string(random() % 5));
    row.push_back(Id(static_cast<long>(random() % 50)));
    row.push_back(Id(static_cast<long>(random() % 2000)));
    row.push_back(Id(static_cast<long>(random() % 300)));
    row.push_back(Words(random, 80 + random() % 220));  // question
    row.push_back(Id(static_cast<long>(random() % 900)));
    row.push_back(std::to_string(random() % 2));
    for (int a = 0; a < 5; ++a) row.push_back(a == 4 && random() % 2 ? "" : Words(random, 8 + random() % 50));
    for (int a = 0; a < 5; ++a) row.push_back(Id(static_cast<long>(random() % 100000)));
    row.push_back(std::to_string(1 + random() % 5));
    row.push_back(std::to_string(random() % 2));
    rows.push_back(std::move(row));
  }
  return rows;
}

void Report(const char* phase, Clock::time_point start, long rows) {
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%-22s %8.3f s %12.0f rows/s\n", phase, seconds, seconds > 0 ? rows / seconds : 0.0);
  std::fflush(stdout);
}

std::uintmax_t IndexSize(const fs::path& folder, const std::string& name) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(folder / (name + ".cdx"), error);
  return error ? 0 : size;
}

void ReportSize(const char* phase, std::uintmax_t bytes) {
  std::printf("%-22s %10ju bytes\n", phase, bytes);
  std::fflush(stdout);
}

// What a fresh bulk build of the tags needs for the table as it stands: its records
// copied beside an index that was made empty, then reindexed.
std::uintmax_t FreshBuildSize(xbase::Code4 code, const fs::path& folder, const std::string& name,
                              const std::vector<xbase::TagInfo>& tags);

void RemoveTable(const fs::path& folder, const std::string& name) {
  std::error_code error;
  for (const char* ext : {".dbf", ".fpt", ".cdx"}) fs::remove(folder / (name + ext), error);
}

// The index phases (see the top). Returns false when a phase fails.
bool IndexPhases(xbase::Code4 code, const fs::path& folder, const std::vector<Row>& rows) {
  const long count = static_cast<long>(rows.size());
  const std::vector<xbase::TagInfo> tags = {
      {"DIFFICULTY", "difficulty", "", 0, 0}, {"QUEST_ID", "quest_id", "", 0, 0}, {"SUBTOPICID", "subtopicid", "", 0, 0},
      {"USER_ID", "user_id", "", 0, 0},       {"ESSAY", "essay", "", 0, 0},       {"TABLE_ID", "table_id", "", 0, 0},
      {"DESCRIPTID", "descriptid", "", 0, 0}};
  RemoveTable(folder, "quests_tags");
  xbase::Data4 data = xbase::d4create(code, (folder / "quests_tags").string(), QuestsFields(), tags);
  if (data == 0) return false;
  std::vector<long> ids(static_cast<std::size_t>(count));
  for (long i = 0; i < count; ++i) ids[static_cast<std::size_t>(i)] = i + 1;
  std::mt19937 random(42);
  std::shuffle(ids.begin(), ids.end(), random);
  const int fieldCount = xbase::d4numFields(data);
  std::vector<xbase::Field4> fields;
  std::vector<char> types;
  for (int j = 1; j <= fieldCount; ++j) {
    fields.push_back(xbase::d4fieldJ(data, j));
    types.push_back(xbase::f4type(fields.back()));
  }

  auto start = Clock::now();
  for (long i = 0; i < count; ++i) {
    const Row& row = rows[static_cast<std::size_t>(i)];
    xbase::d4appendStart(data, 0);
    for (int j = 0; j < fieldCount; ++j) {
      const std::string& value = j == 0 ? Id(ids[static_cast<std::size_t>(i)]) : row[static_cast<std::size_t>(j)];
      if (types[static_cast<std::size_t>(j)] == 'M') {
        xbase::f4memoAssign(fields[static_cast<std::size_t>(j)], value);
      } else if (types[static_cast<std::size_t>(j)] == 'N') {
        xbase::f4assignInt(fields[static_cast<std::size_t>(j)], std::atoi(value.c_str()));
      } else {
        xbase::f4assign(fields[static_cast<std::size_t>(j)], value);
      }
    }
    if (xbase::d4append(data) != xbase::kSuccess) return false;
  }
  Report("index: append", start, count);
  ReportSize("index: size, appended", IndexSize(folder, "quests_tags"));

  xbase::d4tagSelect(data, xbase::d4tag(data, "QUEST_ID"));
  start = Clock::now();
  long found = 0;
  for (long i = 0; i < count; ++i) {
    if (xbase::d4seek(data, Id(1 + static_cast<long>(random() % static_cast<unsigned long>(count)))) == 0) ++found;
  }
  Report("index: seeks", start, count);
  if (found != count) std::fprintf(stderr, "xbase_bench: %ld of %ld seeks found\n", found, count);

  start = Clock::now();
  long steps = 0;
  for (xbase::Tag4 tag = xbase::d4tagNext(data, 0); tag; tag = xbase::d4tagNext(data, tag)) {
    xbase::d4tagSelect(data, tag);
    for (int rc = xbase::d4top(data); rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) ++steps;
  }
  Report("index: walk every tag", start, steps);
  if (steps != 7 * count) std::fprintf(stderr, "xbase_bench: walked %ld entries\n", steps);

  start = Clock::now();
  if (xbase::d4reindex(data) != xbase::kSuccess) return false;
  Report("index: reindex", start, count);
  ReportSize("index: size, reindexed", IndexSize(folder, "quests_tags"));

  xbase::d4tagSelect(data, 0);
  start = Clock::now();
  long deleted = 0;
  for (long recno = 10; recno <= count; recno += 10, ++deleted) {
    xbase::d4go(data, recno);
    xbase::d4delete(data);
  }
  xbase::d4flush(data);
  Report("index: delete every 10th", start, deleted);

  start = Clock::now();
  if (xbase::d4pack(data) != xbase::kSuccess) return false;
  Report("index: pack", start, count);
  if (xbase::d4recCount(data) != count - deleted) std::fprintf(stderr, "xbase_bench: wrong count after pack\n");
  xbase::d4close(data);
  const std::uintmax_t packed = IndexSize(folder, "quests_tags");
  const std::uintmax_t fresh = FreshBuildSize(code, folder, "quests_tags", tags);
  ReportSize("index: size, packed", packed);
  if (fresh > 0) {
    ReportSize("floor: size, fresh", fresh);
    std::printf("%-22s %10.3f\n", "index: packed / fresh", static_cast<double>(packed) / static_cast<double>(fresh));
  }
  return true;
}

std::uintmax_t FreshBuildSize(xbase::Code4 code, const fs::path& folder, const std::string& name,
                              const std::vector<xbase::TagInfo>& tags) {
  const std::string fresh = name + "_fresh";
  RemoveTable(folder, fresh);
  xbase::Data4 empty = xbase::d4create(code, (folder / fresh).string(), QuestsFields(), tags);
  if (empty == 0) return 0;
  xbase::d4close(empty);
  std::error_code error;
  for (const char* ext : {".dbf", ".fpt"})
    fs::copy_file(folder / (name + ext), folder / (fresh + ext), fs::copy_options::overwrite_existing, error);
  xbase::Data4 data = error ? 0 : xbase::d4open(code, (folder / fresh).string());
  const bool built = data != 0 && xbase::d4reindex(data) == xbase::kSuccess;
  if (data != 0) xbase::d4close(data);
  const std::uintmax_t size = built ? IndexSize(folder, fresh) : 0;
  RemoveTable(folder, fresh);
  return size;
}

// What the system calls of the indexed appends cost on this machine by themselves,
// without the engine: per append the table's header lock, the index lock and its
// release, the memo write, the record write and the header lock's release, on scratch
// files in the folder. The engine's indexed append cannot take less than this.
void SystemCallFloor(const fs::path& folder, long count) {
  auto open = [&](const char* name) {
    return ::open((folder / name).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  };
  const int dbf = open("floor.dbf"), fpt = open("floor.fpt"), cdx = open("floor.cdx");
  auto lock = [](int fd, short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0x7FFFFFFE;
    range.l_len = 1;
    return fcntl(fd, F_SETLK, &range) == 0;
  };
  const std::string record(144, ' '), memo(576, 'm');
  bool ok = dbf >= 0 && fpt >= 0 && cdx >= 0;
  auto start = Clock::now();
  for (long i = 0; ok && i < count; ++i) {
    ok = lock(dbf, F_WRLCK) && lock(cdx, F_WRLCK) && lock(cdx, F_UNLCK) &&
         pwrite(fpt, memo.data(), memo.size(), 512 + i * 576) == static_cast<ssize_t>(memo.size()) &&
         pwrite(dbf, record.data(), record.size(), 706 + i * 143) == static_cast<ssize_t>(record.size()) &&
         lock(dbf, F_UNLCK);
  }
  if (ok) Report("floor: system calls", start, count);
  for (int fd : {dbf, fpt, cdx})
    if (fd >= 0) ::close(fd);
  std::error_code error;
  for (const char* name : {"floor.dbf", "floor.fpt", "floor.cdx"}) fs::remove(folder / name, error);
}

// The same for the seeks: as many reads of a record at a random place in the index
// phases' table (as the pack left it) as the seek phase made seeks, for every seek
// reads the record it finds.
void RecordReadFloor(const fs::path& folder, long reads) {
  const int fd = ::open((folder / "quests_tags.dbf").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  unsigned char header[12] = {};
  const bool read = pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
  const long count = header[4] | header[5] << 8 | header[6] << 16 | static_cast<long>(header[7]) << 24;
  const long headerLength = header[8] | header[9] << 8, recordLength = header[10] | header[11] << 8;
  std::mt19937 random(11);
  std::string record(static_cast<std::size_t>(recordLength), ' ');
  bool ok = read && count > 0 && recordLength > 0;
  auto start = Clock::now();
  for (long i = 0; ok && i < reads; ++i) {
    const long recno = static_cast<long>(random() % static_cast<unsigned long>(count));
    ok = pread(fd, record.data(), record.size(), headerLength + recno * recordLength) ==
         static_cast<ssize_t>(record.size());
  }
  if (ok) Report("floor: record reads", start, reads);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: xbase_bench FOLDER [ROWS]\n");
    return 2;
  }
  const fs::path folder = argv[1];
  const long count = argc > 2 ? std::atol(argv[2]) : 100000;
  std::error_code error;
  fs::create_directories(folder, error);
  const std::vector<Row> rows = MakeRows(count);

  xbase::Code4 code = xbase::d4init();
  xbase::code4autoOpen(code, 1);
  xbase::code4errOff(code, 1);
  xbase::code4optimize(code, 1);
  xbase::code4accessMode(code, 0);

  RemoveTable(folder, "quests_bench");
  xbase::Data4 data = xbase::d4create(code, (folder / "quests_bench").string(), QuestsFields(), {});
  if (data == 0) {
    std::fprintf(stderr, "xbase_bench: cannot create the table (code %d)\n", xbase::code4errorCode(code, 0));
    return 1;
  }
  const int fieldCount = xbase::d4numFields(data);
  std::vector<xbase::Field4> fields;
  std::vector<char> types;
  for (int j = 1; j <= fieldCount; ++j) {
    fields.push_back(xbase::d4fieldJ(data, j));
    types.push_back(xbase::f4type(fields.back()));
  }

  auto appendAll = [&](xbase::Data4 table) {
    for (const Row& row : rows) {
      xbase::d4appendStart(table, 0);
      for (int j = 0; j < fieldCount; ++j) {
        const std::string& value = row[static_cast<std::size_t>(j)];
        xbase::Field4 field = xbase::d4fieldJ(table, j + 1);
        if (types[static_cast<std::size_t>(j)] == 'M') {
          xbase::f4memoAssign(field, value);
        } else if (types[static_cast<std::size_t>(j)] == 'N') {
          xbase::f4assignInt(field, std::atoi(value.c_str()));
        } else {
          xbase::f4assign(field, value);
        }
      }
      if (xbase::d4append(table) != xbase::kSuccess) return false;
    }
    return true;
  };

  // 1. Append every row.
  auto start = Clock::now();
  for (const Row& row : rows) {
    xbase::d4appendStart(data, 0);
    for (int j = 0; j < fieldCount; ++j) {
      const std::string& value = row[static_cast<std::size_t>(j)];
      if (types[static_cast<std::size_t>(j)] == 'M') {
        xbase::f4memoAssign(fields[static_cast<std::size_t>(j)], value);
      } else if (types[static_cast<std::size_t>(j)] == 'N') {
        xbase::f4assignInt(fields[static_cast<std::size_t>(j)], std::atoi(value.c_str()));
      } else {
        xbase::f4assign(fields[static_cast<std::size_t>(j)], value);
      }
    }
    if (xbase::d4append(data) != xbase::kSuccess) {
      std::fprintf(stderr, "xbase_bench: append failed\n");
      return 1;
    }
  }
  Report("append", start, count);

  // 2. Read every record and every field, memos included, in natural order.
  start = Clock::now();
  std::size_t bytes = 0;
  long seen = 0;
  for (int rc = xbase::d4top(data); rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) {
    for (int j = 0; j < fieldCount; ++j) {
      bytes += types[static_cast<std::size_t>(j)] == 'M' ? xbase::f4memoStr(fields[static_cast<std::size_t>(j)]).size()
                                                         : xbase::f4str(fields[static_cast<std::size_t>(j)]).size();
    }
    ++seen;
  }
  Report("read natural order", start, seen);
  if (seen != count) std::fprintf(stderr, "xbase_bench: read %ld of %ld records\n", seen, count);

  // 3. Random go, then the identifier, a number and the question.
  std::mt19937 random(7);
  start = Clock::now();
  for (long i = 0; i < count; ++i) {
    long recno = 1 + static_cast<long>(random() % static_cast<unsigned long>(count));
    xbase::d4go(data, recno);
    bytes += xbase::f4str(fields[0]).size();
    bytes += static_cast<std::size_t>(xbase::f4long(fields[2]));
    bytes += xbase::f4memoStr(fields[6]).size();
  }
  Report("random go + fields", start, count);

  // 4. Delete every 10th record.
  start = Clock::now();
  long deleted = 0;
  for (long recno = 10; recno <= count; recno += 10) {
    xbase::d4go(data, recno);
    xbase::d4delete(data);
    ++deleted;
  }
  xbase::d4flush(data);
  Report("delete every 10th", start, deleted);

  // 5. Pack.
  start = Clock::now();
  if (xbase::d4pack(data) != xbase::kSuccess) std::fprintf(stderr, "xbase_bench: pack failed\n");
  Report("pack", start, count);
  if (xbase::d4recCount(data) != count - deleted) std::fprintf(stderr, "xbase_bench: wrong count after pack\n");

  xbase::d4close(data);

  // 6. The same appends with the table locked whole.
  RemoveTable(folder, "quests_locked");
  xbase::Data4 locked = xbase::d4create(code, (folder / "quests_locked").string(), QuestsFields(), {});
  start = Clock::now();
  if (xbase::d4lockAll(locked) != xbase::kSuccess || !appendAll(locked)) {
    std::fprintf(stderr, "xbase_bench: locked append failed\n");
    return 1;
  }
  xbase::d4unlock(locked);
  Report("append, table locked", start, count);
  xbase::d4close(locked);

  // 7. The index phases.
  if (!IndexPhases(code, folder, rows)) {
    std::fprintf(stderr, "xbase_bench: an index phase failed\n");
    return 1;
  }
  SystemCallFloor(folder, count);
  RecordReadFloor(folder, count);
  xbase::d4initUndo(code);
  std::printf("checksum %zu\n", bytes);
  return 0;
}
