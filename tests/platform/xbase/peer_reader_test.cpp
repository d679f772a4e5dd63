// Tables must open in other FoxPro-compatible software with every record, field and
// memo intact. The other reader here is pgdbf (Debian's DBF+FPT to PostgreSQL
// converter): its `\COPY ... FROM STDIN` block holds one tab-separated line per live
// record. First the comparison is proven on the tables another writer made (pgdbf and
// our engine must read the same thing from them), then tables our engine writes,
// rewrites, deletes from and packs are read back by pgdbf against the values the test
// put in, without asking our engine.
//
// What pgdbf prints for a stored field (found on its real output, see PeerCell):
//   C  the bytes with trailing spaces cut (leading spaces, tabs and other bytes kept)
//   N  the text with spaces cut on both sides; all spaces prints NULL (\N)
//   D  YYYY-MM-DD; all spaces prints NULL
//   L  t for T t Y y, f for anything else (blank and ? included)
//   M  the memo bytes up to the first NUL byte, trailing spaces cut; an empty memo is ""
// Text is printed as raw bytes (no code page translation); only \ TAB LF CR are escaped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/xbase.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace xbase;
using Cell = std::optional<std::string>;  // nullopt: pgdbf printed NULL
using Row = std::vector<Cell>;

bool PgdbfOnPath() {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::istringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && ::access((fs::path(dir) / "pgdbf").c_str(), X_OK) == 0) return true;
  }
  return false;
}

// The file of the folder named `name` without regard to case, or "" when there is none.
fs::path FindNoCase(const fs::path& folder, const std::string& name) {
  auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (lower(entry.path().filename().string()) == lower(name)) return entry.path();
  }
  return {};
}

std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (char c = text[++i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'v': out += '\v'; break;
      default: out += c; break;  // backslash itself
    }
  }
  return out;
}

// The rows of pgdbf's COPY block for the table `base` (.dbf and, when there, .fpt).
std::vector<Row> PeerRows(const fs::path& folder, const std::string& base, std::string& error) {
  const fs::path dbf = FindNoCase(folder, base + ".dbf");
  const fs::path fpt = FindNoCase(folder, base + ".fpt");
  std::string command = "pgdbf";
  if (!fpt.empty()) command += " -m '" + fpt.string() + "'";
  command += " '" + dbf.string() + "' 2>&1";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    error = "cannot run " + command;
    return {};
  }
  std::array<char, 65536> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  if (pclose(pipe) != 0) {
    error = command + " failed: " + out.substr(0, 500);
    return {};
  }
  std::vector<Row> rows;
  std::istringstream lines(out);
  std::string line;
  bool inCopy = false;
  while (std::getline(lines, line)) {
    if (!inCopy) {
      inCopy = line.rfind("\\COPY ", 0) == 0;
      continue;
    }
    if (line == "\\.") return rows;
    Row row;
    std::size_t start = 0;
    for (;;) {
      std::size_t tab = line.find('\t', start);
      std::string_view cell = std::string_view(line).substr(start, tab == std::string::npos ? tab : tab - start);
      row.push_back(cell == "\\N" ? Cell{} : Cell{Unescape(cell)});
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    rows.push_back(std::move(row));
  }
  error = "no complete COPY block in pgdbf's output: " + out.substr(0, 500);
  return {};
}

std::string TrimRight(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// What pgdbf prints for a field of the type holding these stored bytes (a memo: its text).
Cell PeerCell(char type, std::string stored) {
  const bool blank = stored.find_first_not_of(' ') == std::string::npos;
  switch (type) {
    case 'N':
      if (blank) return {};
      return TrimRight(stored.substr(stored.find_first_not_of(' ')));
    case 'D':
      if (blank) return {};
      return stored.substr(0, 4) + "-" + stored.substr(4, 2) + "-" + stored.substr(6, 2);
    case 'L':
      return std::string(stored == "T" || stored == "t" || stored == "Y" || stored == "y" ? "t" : "f");
    case 'M':
      // pgdbf takes the memo as a C string: a memo holding a NUL byte ends there for it,
      // so only the part before the first NUL can be compared (the peer tables' binary
      // "whole document" memos hold such bytes).
      return TrimRight(stored.substr(0, stored.find('\0')));
    default:
      return TrimRight(stored);
  }
}

std::string Show(const Cell& cell) {
  if (!cell) return "NULL";
  std::string out;
  for (unsigned char c : cell->substr(0, 120)) {
    if (c == '\\') out += "\\\\";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else out += static_cast<char>(c);
  }
  if (cell->size() > 120) out += "... (" + std::to_string(cell->size()) + " bytes)";
  return out;
}

// Expected live rows against pgdbf's rows, one failure per differing field (at most 20).
void ExpectRows(const std::string& table, const std::vector<std::string>& names,
                const std::vector<long>& recnos, const std::vector<Row>& expected, const std::vector<Row>& peer) {
  EXPECT_EQ(peer.size(), expected.size()) << table << ": live records pgdbf printed";
  int failures = 0;
  for (std::size_t r = 0; r < std::min(peer.size(), expected.size()) && failures < 20; ++r) {
    if (peer[r].size() != expected[r].size()) {
      ADD_FAILURE() << table << " record " << recnos[r] << ": pgdbf printed " << peer[r].size() << " fields, expected "
                    << expected[r].size();
      ++failures;
      continue;
    }
    for (std::size_t f = 0; f < names.size(); ++f) {
      if (peer[r][f] == expected[r][f]) continue;
      std::size_t at = 0;
      if (peer[r][f] && expected[r][f]) {
        while (at < peer[r][f]->size() && at < expected[r][f]->size() && (*peer[r][f])[at] == (*expected[r][f])[at]) ++at;
      }
      ADD_FAILURE() << table << " record " << recnos[r] << " field " << names[f] << ": pgdbf read " << Show(peer[r][f])
                    << "\n  expected " << Show(expected[r][f]) << "\n  (first difference at byte " << at << ")";
      if (++failures == 20) break;
    }
  }
}

std::string Base(const fs::path& dbf) { return dbf.stem().string(); }

// --- 1. the comparison on the tables another writer made ------------------

class PeerFixtureReader : public ::testing::TestWithParam<const char*> {};

TEST_P(PeerFixtureReader, PgdbfAndOurEngineReadTheSameLiveRecords) {
  if (!PgdbfOnPath()) GTEST_SKIP() << "pgdbf is not on PATH";
  const fs::path folder = testing_support::SharedDir() / "fixtures/xbase" / GetParam();
  std::vector<fs::path> tables;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string ext = entry.path().extension().string();
    if (ext == ".dbf" || ext == ".DBF") tables.push_back(entry.path());
  }
  ASSERT_EQ(tables.size(), 26u) << folder;
  std::string types;
  Code4 code = d4init();
  for (const fs::path& dbf : tables) {
    const std::string table = std::string(GetParam()) + "/" + dbf.filename().string();
    Data4 data = d4open(code, dbf.string());
    ASSERT_NE(data, 0) << table << ": our engine does not open it";
    std::vector<std::string> names;
    for (int j = 1; j <= d4numFields(data); ++j) {
      names.push_back(f4name(d4fieldJ(data, j)));
      if (types.find(f4type(d4fieldJ(data, j))) == std::string::npos) types += f4type(d4fieldJ(data, j));
    }
    std::vector<Row> ours;
    std::vector<long> recnos;
    for (long recno = 1; recno <= d4recCount(data); ++recno) {
      ASSERT_EQ(d4go(data, recno), 0) << table << " record " << recno;
      if (d4deleted(data)) continue;
      Row row;
      for (int j = 1; j <= d4numFields(data); ++j) {
        Field4 field = d4fieldJ(data, j);
        row.push_back(PeerCell(f4type(field), f4type(field) == 'M' ? f4memoStr(field) : f4str(field)));
      }
      ours.push_back(std::move(row));
      recnos.push_back(recno);
    }
    EXPECT_EQ(d4close(data), 0);
    EXPECT_GT(recnos.size(), 0u) << table;
    std::string error;
    std::vector<Row> peer = PeerRows(folder, Base(dbf), error);
    ASSERT_TRUE(error.empty()) << table << ": " << error;
    ExpectRows(table, names, recnos, ours, peer);
  }
  d4initUndo(code);
  // The peer tables hold every field type the system uses.
  for (char type : std::string("CNDLM")) EXPECT_NE(types.find(type), std::string::npos) << type;
}

INSTANTIATE_TEST_SUITE_P(PeerFixtures, PeerFixtureReader, ::testing::Values("peer-made", "peer-made-flexmemo"),
                         [](const auto& info) { return std::string(info.param) == "peer-made" ? "PeerMade" : "FlexMemo"; });

// --- 2. tables our engine writes ------------------------------------------

// Deterministic on every platform (the standard distributions are not).
class Dice {
 public:
  explicit Dice(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Next(std::uint32_t below) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33) % below;
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::string_view, 12> kWords = {"kel", "Napti", "\xE9t\xE9", "quaru", "Gr\xFC\xDF", "mor",
                                                     "den\\ka", "\xA7" "12", "zo\xFF", "hos.", "Tin", "1984"};

// Text of at least `length` bytes that ends in a word. Memos written here never end in a
// blank nor hold a NUL, so pgdbf's trimming hides none of their bytes.
std::string Text(Dice& dice, std::size_t length, bool lines) {
  std::string text;
  while (text.size() < length) {
    if (!text.empty()) {
      std::uint32_t gap = dice.Next(12);
      text += lines && gap == 0 ? "\r\n" : lines && gap == 1 ? "\t" : gap == 2 ? "  " : " ";
    }
    text += kWords[dice.Next(kWords.size())];
  }
  return text;
}

std::string Memo(Dice& dice) {
  switch (dice.Next(8)) {
    case 0: case 1: return "";
    case 2: case 3: return Text(dice, 1 + dice.Next(50), true);            // in one 64-byte block
    case 4: case 5: return Text(dice, 60 + dice.Next(3000), true);         // several blocks
    case 6: return Text(dice, 10 * 1024 + dice.Next(8000), true);          // over 10 KB
    default: return std::string(1, "\x01\x7F\x80\xFF"[dice.Next(4)]) + Text(dice, 5 + dice.Next(200), true);
  }
}

// A value for the field in the form it is stored (C text, N text with its decimals that
// the field right-aligns, D YYYYMMDD or "", L T/F or ""); PeerCell turns it into pgdbf's.
std::string Value(Dice& dice, const FieldInfo& field) {
  switch (field.type) {
    case 'M': return Memo(dice);
    case 'D': {
      if (dice.Next(4) == 0) return "";
      char date[16];
      std::snprintf(date, sizeof date, "%04u%02u%02u", 1901 + dice.Next(150), 1 + dice.Next(12), 1 + dice.Next(28));
      return date;
    }
    case 'L': return std::string(dice.Next(5) == 0 ? "" : dice.Next(2) ? "T" : "F");
    case 'N': {
      if (dice.Next(6) == 0) return "";
      int digits = field.length - (field.decimals ? field.decimals + 1 : 0);
      const bool negative = digits > 1 && dice.Next(3) == 0;
      if (negative) --digits;  // room for the sign
      std::uint32_t below = 1;
      for (int i = 0; i < std::min(digits, 9); ++i) below *= 10;
      std::string text = std::to_string(dice.Next(below));
      if (field.decimals) {
        std::string fraction = std::to_string(dice.Next(100000));
        fraction.resize(field.decimals, '0');
        text += "." + fraction;
      }
      return negative ? "-" + text : text;
    }
    default: {
      if (dice.Next(8) == 0) return "";
      std::string text = Text(dice, 1 + dice.Next(field.length), false);
      if (text.size() > static_cast<std::size_t>(field.length)) text.resize(field.length);
      if (dice.Next(10) == 0) text = " " + text.substr(0, field.length - 1);  // leading blank stays
      return text;
    }
  }
}

struct WrittenTable {
  const char* name;
  std::vector<FieldInfo> fields;
  std::vector<TagInfo> tags;
  int records;
  bool pack;  // pack and compress the memo file at the end
};

WrittenTable QuestsShaped() {
  return {"quests",
          {{"QUEST_ID", 'C', 7}, {"SUBTOPICID", 'C', 7}, {"DIFFICULTY", 'N', 1}, {"USER_ID", 'C', 7},
           {"QUESTION", 'M', 10}, {"ESSAY", 'N', 1}, {"ANSWER1", 'M', 10}, {"ANSWER2", 'M', 10},
           {"ANSWER3", 'M', 10}, {"ANSWER4", 'M', 10}, {"ANSWER5", 'M', 10}, {"ANSWER1PCT", 'C', 7},
           {"CORRECTANS", 'N', 1}, {"SCORE", 'N', 9, 2}, {"TIME", 'N', 20}, {"CREATED", 'D', 8},
           {"ACTIVE", 'L', 1}},
          {{"QUEST_ID", "QUEST_ID", ""}, {"USER_ID", "USER_ID", ""}, {"SUBTOPICID", "SUBTOPICID+QUEST_ID", ""}},
          320,
          true};
}

WrittenTable TemplatesShaped() {
  return {"templates",
          {{"TEMPLATEID", 'C', 7}, {"NAME", 'C', 254}, {"AREA_ID", 'C', 7}, {"BLOB", 'M', 4}, {"COMMENT", 'C', 254},
           {"NOTES", 'M', 4}, {"ORDER", 'N', 4}},
          {},
          260,
          false};
}

class PeerWrittenTable : public ::testing::TestWithParam<WrittenTable (*)()> {};

TEST_P(PeerWrittenTable, PgdbfReadsEveryLiveRecordAsWritten) {
  if (!PgdbfOnPath()) GTEST_SKIP() << "pgdbf is not on PATH";
  const WrittenTable written = GetParam()();
  testing_support::TempDir dir;
  const std::string path = (dir.path() / written.name).string();
  Dice dice(written.records);
  struct Record {
    std::vector<std::string> values;
    bool deleted = false;
  };
  std::vector<Record> records(written.records);
  auto assignAll = [&](Data4 data, const std::vector<std::string>& values, const std::string& where) {
    for (std::size_t f = 0; f < written.fields.size(); ++f) {
      ASSERT_EQ(f4memoAssign(d4fieldJ(data, static_cast<int>(f) + 1), values[f]), 0) << where << written.fields[f].name;
    }
  };

  Code4 code = d4init();
  Data4 data = d4create(code, path, written.fields, written.tags);
  ASSERT_NE(data, 0);
  for (int r = 0; r < written.records; ++r) {
    for (const FieldInfo& field : written.fields) records[r].values.push_back(Value(dice, field));
    ASSERT_EQ(d4appendStart(data, 0), 0);
    assignAll(data, records[r].values, "append " + std::to_string(r + 1) + " ");
    ASSERT_EQ(d4append(data), 0) << "record " << r + 1;
  }
  ASSERT_EQ(d4close(data), 0);

  // A second session: rewrite every fourth record (memos grow, shrink, empty out or
  // fill), delete every seventh, then pack.
  data = d4open(code, path + ".dbf");
  ASSERT_NE(data, 0);
  auto blocks = [](const std::string& memo) { return (8 + memo.size() + 63) / 64; };
  int grown = 0;
  int shrunk = 0;
  for (int r = 0; r < written.records; ++r) {
    if (r % 4 == 1) {
      ASSERT_EQ(d4go(data, r + 1), 0);
      for (std::size_t f = 0; f < written.fields.size(); ++f) {
        if (written.fields[f].type != 'M' && dice.Next(3) != 0) continue;
        std::string value = Value(dice, written.fields[f]);
        const std::string& old = records[r].values[f];
        if (written.fields[f].type == 'M' && !old.empty() && !value.empty()) {
          grown += blocks(value) > blocks(old);
          shrunk += blocks(value) < blocks(old);
        }
        records[r].values[f] = value;
      }
      assignAll(data, records[r].values, "rewrite " + std::to_string(r + 1) + " ");
    }
    if (r % 7 == 3) {
      ASSERT_EQ(d4go(data, r + 1), 0);
      ASSERT_EQ(d4delete(data), 0);
      records[r].deleted = true;
    }
  }
  EXPECT_GT(grown, 5) << "memos rewritten into more blocks";
  EXPECT_GT(shrunk, 5) << "memos rewritten into fewer blocks";
  if (written.pack) {
    ASSERT_EQ(d4pack(data), 0);
    ASSERT_EQ(d4memoCompress(data), 0);
  }
  ASSERT_EQ(d4close(data), 0);
  d4initUndo(code);

  // The live rows hold every kind of value this check is about.
  auto held = [&](char type, auto&& is) {
    for (const Record& record : records) {
      for (std::size_t f = 0; f < written.fields.size(); ++f) {
        if (!record.deleted && written.fields[f].type == type && is(record.values[f])) return true;
      }
    }
    return false;
  };
  auto has = [](std::string_view part) { return [part](const std::string& v) { return v.find(part) != v.npos; }; };
  EXPECT_TRUE(held('M', [](const std::string& v) { return v.empty(); })) << "empty memo";
  EXPECT_TRUE(held('M', [](const std::string& v) { return v.size() > 10 * 1024; })) << "memo over 10 KB";
  EXPECT_TRUE(held('M', [](const std::string& v) { return v.size() > 200 && v.size() < 4000; })) << "multi-block memo";
  for (std::string_view part : {"\r\n", "\t", "\xE9", "\\"}) EXPECT_TRUE(held('M', has(part))) << Show(std::string(part));
  EXPECT_TRUE(held('C', has("\xFF"))) << "8-bit text";
  EXPECT_TRUE(held('N', has("-"))) << "negative number";
  EXPECT_TRUE(held('N', [](const std::string& v) { return v.empty(); })) << "blank number";
  if (std::any_of(written.fields.begin(), written.fields.end(), [](const FieldInfo& f) { return f.type == 'D'; })) {
    EXPECT_TRUE(held('D', [](const std::string& v) { return v.empty(); })) << "blank date";
    EXPECT_TRUE(held('D', [](const std::string& v) { return v.size() == 8; })) << "set date";
    for (std::string logical : {"", "T", "F"}) {
      EXPECT_TRUE(held('L', [&](const std::string& v) { return v == logical; })) << "logical " << logical;
    }
  }

  std::vector<std::string> names;
  for (const FieldInfo& field : written.fields) names.push_back(field.name);
  std::vector<Row> expected;
  std::vector<long> recnos;
  for (int r = 0; r < written.records; ++r) {
    if (records[r].deleted) continue;
    Row row;
    for (std::size_t f = 0; f < written.fields.size(); ++f) row.push_back(PeerCell(written.fields[f].type, records[r].values[f]));
    expected.push_back(std::move(row));
    recnos.push_back(r + 1);  // numbered as appended, also after the pack
  }
  std::string error;
  std::vector<Row> peer = PeerRows(dir.path(), written.name, error);
  ASSERT_TRUE(error.empty()) << written.name << ": " << error;
  ExpectRows(written.name, names, recnos, expected, peer);
}

INSTANTIATE_TEST_SUITE_P(PeerWritten, PeerWrittenTable, ::testing::Values(&QuestsShaped, &TemplatesShaped),
                         [](const auto& info) { return std::string(info.param().name); });

}  // namespace
