// Opening tables: names found without regard to case, other writers' forms, and the
// pending error code of every kind of bad file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include <filesystem>
#include <string>

#include "table_test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace xbase;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using xbase_test::AppendRow;
using xbase_test::Engine;

void PutLe(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Runs check as an unprivileged user (root may read and write every file): in a
// child process when the tests run as root. Returns check's result.
int AsUnprivileged(const fs::path& dir, const std::function<int()>& check) {
  if (geteuid() != 0) return check();
  fs::permissions(dir, fs::perms::all);
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    _exit(check());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

class TableOpen : public ::testing::Test {
 protected:
  // A good two-field table with three records and a memo; returns its bytes.
  std::string MakeGood(const std::string& name = "good") {
    Data4 data = d4create(engine.code(), (dir.path() / name).string(), {{"id", 'C', 4, 0}, {"m", 'M', 10, 0}}, {});
    EXPECT_NE(data, 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(AppendRow(data, {"r" + std::to_string(i), "memo"}), 0);
    d4close(data);
    return ReadFile(dir.path() / (name + ".dbf"));
  }
  int OpenCode(const std::string& name) {
    code4errorCode(engine.code(), 0);
    Data4 data = d4open(engine.code(), (dir.path() / name).string());
    if (data != 0) {
      d4close(data);
      return 0;
    }
    return code4errorCode(engine.code(), 0);
  }
  TempDir dir;
  Engine engine;
};

TEST_F(TableOpen, NamesAreFoundWithoutRegardToCase) {
  MakeGood("Quests");
  fs::rename(dir.path() / "Quests.fpt", dir.path() / "QUESTS.FPT");
  for (const char* name : {"QUESTS", "quests.DBF", "Quests.dbf"}) {
    Data4 data = d4open(engine.code(), (dir.path() / name).string());
    ASSERT_NE(data, 0) << name;
    EXPECT_EQ(d4fileName(data), (dir.path() / "Quests.dbf").string());
    ASSERT_EQ(d4top(data), 0);
    EXPECT_EQ(f4memoStr(d4field(data, "m")), "memo");
    d4close(data);
  }
}

TEST_F(TableOpen, PendingCodeIsReadOnceAndCleared) {
  EXPECT_EQ(d4open(engine.code(), (dir.path() / "missing.dbf").string()), 0);
  EXPECT_EQ(code4errorCode(engine.code(), 0), kErrorAccess);
  EXPECT_EQ(code4errorCode(engine.code(), 0), 0);
  EXPECT_EQ(code4errorCode(engine.code(), 7), 0);
  EXPECT_EQ(code4errorCode(engine.code(), 0), 7);
}

TEST_F(TableOpen, RefusedAccessGivesMinus60) {
  MakeGood();
  fs::permissions(dir.path() / "good.dbf", fs::perms::none);
  EXPECT_EQ(AsUnprivileged(dir.path(), [&] {
              Engine engine2;
              if (d4open(engine2.code(), (dir.path() / "good.dbf").string()) != 0) return 1;
              return code4errorCode(engine2.code(), 0) == kErrorAccess ? 0 : 2;
            }),
            0);
  fs::permissions(dir.path() / "good.dbf", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(OpenCode("good.dbf"), 0);
}

TEST_F(TableOpen, DamagedFilesGiveTheDamagedCode) {
  const std::string good = MakeGood();
  const std::size_t header = 32 + 2 * 32 + 1;
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  std::vector<Case> cases;
  cases.push_back({"text file", "Status of the last run: fine\r\nSecond line of text\r\n", kErrorDamaged});
  cases.push_back({"empty file", "", kErrorDamaged});
  cases.push_back({"header only half", good.substr(0, 20), kErrorDamaged});
  cases.push_back({"truncated records", good.substr(0, good.size() - 10), kErrorDamaged});
  std::string b = good;
  PutLe(b, 4, 4, 4);
  cases.push_back({"count past the end", b, kErrorDamaged});
  b = good;
  PutLe(b, 4, 0x7FFFFFFF, 4);
  cases.push_back({"huge count", b, kErrorDamaged});
  b = good;
  PutLe(b, 8, 32 + 32 + 1, 2);  // the second descriptor runs past the header
  cases.push_back({"descriptor past header", b, kErrorDamaged});
  b = good;
  PutLe(b, 8, 0xFFFF, 2);
  cases.push_back({"header past the end", b, kErrorDamaged});
  b = good;
  b[32 + 16] = 0;
  cases.push_back({"zero width", b, kErrorDamaged});
  b = good;
  PutLe(b, 10, 99, 2);
  cases.push_back({"record length differs", b, kErrorDamaged});
  b = good;
  b[header - 1] = 'X';
  cases.push_back({"no terminator", b, kErrorDamaged});
  b = good;
  b[0] = 0x04;
  cases.push_back({"unknown version", b, kErrorDamaged});
  b = good;
  b.resize(header + 2 * 15);  // two whole records, count 2 (fewer is fine)
  PutLe(b, 4, 2, 4);
  cases.push_back({"no end mark", b, 0});
  // The length must fit the count: the records, then less than a record (the end
  // mark, or the cut-off tail a repair leaves). A count too small would let the next
  // append overwrite the records beyond it.
  b = good;
  PutLe(b, 4, 2, 4);
  cases.push_back({"count one short", b, kErrorDamaged});
  b = good;
  PutLe(b, 4, 0, 4);
  cases.push_back({"count zero with records", b, kErrorDamaged});
  b = good.substr(0, header + 3 * 15);
  PutLe(b, 4, 2, 4);
  cases.push_back({"count one short, no end mark", b, kErrorDamaged});
  b = good.substr(0, header + 3 * 15);
  cases.push_back({"count right, no end mark", b, 0});
  b = good + "trailing garbage";  // with the end mark, more than a record
  cases.push_back({"trailing bytes", b, kErrorDamaged});
  b = good + std::string(14, 'g');  // with the end mark, a record's length
  cases.push_back({"a record's length of garbage", b, kErrorDamaged});
  b = good + std::string(13, 'g');
  cases.push_back({"less than a record of garbage", b, 0});
  b = good.substr(0, header + 2 * 15 + 7);
  PutLe(b, 4, 2, 4);
  cases.push_back({"part of a record after the count", b, 0});
  for (unsigned char version : {0x03, 0x83, 0xFB, 0x30, 0x31}) {
    b = good;
    b[0] = static_cast<char>(version);
    cases.push_back({"accepted version", b, 0});
  }
  for (const Case& c : cases) {
    WriteFile(dir.path() / "bad.dbf", c.bytes);
    fs::copy_file(dir.path() / "good.fpt", dir.path() / "bad.fpt", fs::copy_options::overwrite_existing);
    EXPECT_EQ(OpenCode("bad.dbf"), c.code) << c.what;
  }
}

TEST_F(TableOpen, MissingOrShortMemoFileGivesTheMemoCode) {
  MakeGood();
  fs::copy_file(dir.path() / "good.dbf", dir.path() / "nomemo.dbf");
  EXPECT_EQ(OpenCode("nomemo.dbf"), kErrorMemo);
  fs::copy_file(dir.path() / "good.dbf", dir.path() / "short.dbf");
  WriteFile(dir.path() / "short.fpt", std::string(100, '\0'));
  EXPECT_EQ(OpenCode("short.dbf"), kErrorMemo);
}

TEST_F(TableOpen, IndexFlagWithoutItsFileFailsOnlyWhenIndexesOpen) {
  std::string bytes = MakeGood();
  bytes[28] = 0x01;
  WriteFile(dir.path() / "good.dbf", bytes);
  EXPECT_EQ(OpenCode("good.dbf"), kErrorIndex);
  code4autoOpen(engine.code(), 0);
  EXPECT_EQ(OpenCode("good.dbf"), 0);
}

// The Visual FoxPro form: 4-byte memo pointers, field offsets and the backlink area.
TEST_F(TableOpen, ReadsTheVisualFoxProForm) {
  std::string dbf(392, '\0');
  dbf[0] = 0x30;
  PutLe(dbf, 4, 3, 4);
  PutLe(dbf, 8, 392, 2);
  PutLe(dbf, 10, 21, 2);
  dbf[28] = 0x02;
  const char* names[] = {"NAME", "PRICE", "NOTES"};
  const char types[] = {'C', 'N', 'M'};
  const int lengths[] = {10, 6, 4};
  const int offsets[] = {1, 11, 17};
  for (int i = 0; i < 3; ++i) {
    std::size_t at = 32 + 32 * static_cast<std::size_t>(i);
    dbf.replace(at, std::string(names[i]).size(), names[i]);
    dbf[at + 11] = types[i];
    PutLe(dbf, at + 12, static_cast<std::uint32_t>(offsets[i]), 4);
    dbf[at + 16] = static_cast<char>(lengths[i]);
    dbf[at + 17] = i == 1 ? 2 : 0;
  }
  dbf[128] = 0x0D;
  auto rec = [](const std::string& name, const std::string& price, std::uint32_t block, char del) {
    std::string r(1, del);
    r += name + std::string(10 - name.size(), ' ') + price;
    std::string p(4, '\0');
    PutLe(p, 0, block, 4);
    return r + p;
  };
  dbf += rec("PEAR", " 12.50", 8, ' ') + rec("APPLE", " -3.25", 0, ' ') + rec("APRICOT", "100.00", 9, '*') + "\x1A";
  WriteFile(dir.path() / "exvfp.dbf", dbf);
  std::string fpt(512, '\0');
  fpt[3] = 10;
  fpt[7] = 64;
  auto block = [](const std::string& text) {
    std::string b(8, '\0');
    b[3] = 1;
    b[7] = static_cast<char>(text.size());
    b += text;
    b.resize(64, '\0');
    return b;
  };
  fpt += block("Green and sweet") + block("Orange").substr(0, 14);
  WriteFile(dir.path() / "exvfp.fpt", fpt);

  Data4 data = d4open(engine.code(), (dir.path() / "exvfp").string());
  ASSERT_NE(data, 0) << code4errorCode(engine.code(), 0);
  EXPECT_EQ(d4numFields(data), 3);
  EXPECT_EQ(f4len(d4field(data, "notes")), 4);
  std::vector<std::string> seen;
  for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1)) {
    seen.push_back(f4str(d4field(data, "name")) + "|" + f4str(d4field(data, "price")) + "|" +
                   f4memoStr(d4field(data, "notes")) + (d4deleted(data) ? "|*" : ""));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"PEAR      | 12.50|Green and sweet", "APPLE     | -3.25|",
                                            "APRICOT   |100.00|Orange|*"}));
}

// Types this system never writes still open and read as their raw bytes; a hidden
// system column is part of the record but not a field.
TEST_F(TableOpen, OtherFoxProTypesReadAsRawBytes) {
  struct Field {
    const char* name;
    char type;
    int length;
    int decimals;
    unsigned char flags;
  };
  const std::vector<Field> fields = {{"STAMP", 'T', 8, 0, 0}, {"RATE", 'B', 8, 2, 0}, {"PRICE", 'Y', 8, 4, 0},
                                     {"PIC", 'G', 4, 0, 0},   {"VAR", 'V', 6, 0, 0}, {"_NullFlags", '0', 1, 0, 0x05}};
  const int header = 32 + 32 * static_cast<int>(fields.size()) + 1 + 263;
  int reclen = 1;
  for (const Field& f : fields) reclen += f.length;
  std::string dbf(static_cast<std::size_t>(header), '\0');
  dbf[0] = 0x32;
  PutLe(dbf, 4, 1, 4);
  PutLe(dbf, 8, static_cast<std::uint32_t>(header), 2);
  PutLe(dbf, 10, static_cast<std::uint32_t>(reclen), 2);
  int offset = 1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    std::size_t at = 32 + 32 * i;
    dbf.replace(at, std::string(fields[i].name).size(), fields[i].name);
    dbf[at + 11] = fields[i].type;
    PutLe(dbf, at + 12, static_cast<std::uint32_t>(offset), 4);
    dbf[at + 16] = static_cast<char>(fields[i].length);
    dbf[at + 17] = static_cast<char>(fields[i].decimals);
    dbf[at + 18] = static_cast<char>(fields[i].flags);
    offset += fields[i].length;
  }
  dbf[32 + 32 * fields.size()] = 0x0D;
  std::string record(" ");
  record += std::string("\xB5\x8A\x25\x00\x84\xC6\xF3\x02", 8);  // 2024-01-31 13:45:30.500
  record += std::string("\x00\x00\x00\x00\x00\x00\xF8\x3F", 8);  // 1.5
  record += std::string("\x40\xE2\x01\x00\x00\x00\x00\x00", 8);  // 12.3456
  record += std::string(4, '\0');
  record += std::string("abc\0\0\x03", 6);
  record += std::string("\x01", 1);
  dbf += record + "\x1A";
  WriteFile(dir.path() / "vfp9.dbf", dbf);
  WriteFile(dir.path() / "vfp9.fpt", std::string("\0\0\0\x08\0\0\0\x40", 8) + std::string(504, '\0'));

  Data4 data = d4open(engine.code(), (dir.path() / "vfp9.dbf").string());
  ASSERT_NE(data, 0) << code4errorCode(engine.code(), 0);
  EXPECT_EQ(d4numFields(data), 5);  // _NullFlags is not a field
  EXPECT_EQ(d4field(data, "_NullFlags"), 0);
  ASSERT_EQ(d4top(data), 0);
  EXPECT_EQ(f4type(d4field(data, "stamp")), 'T');
  EXPECT_EQ(f4str(d4field(data, "stamp")), record.substr(1, 8));
  EXPECT_DOUBLE_EQ(f4double(d4field(data, "rate")), 1.5);
  EXPECT_DOUBLE_EQ(f4double(d4field(data, "price")), 12.3456);
  EXPECT_EQ(f4long(d4field(data, "price")), 12);
  EXPECT_EQ(f4memoStr(d4field(data, "pic")), "");
  EXPECT_EQ(f4str(d4field(data, "var")), std::string("abc\0\0\x03", 6));
  EXPECT_EQ(d4skip(data, 1), kEof);
}

TEST_F(TableOpen, ReadOnlyFilesOpenAndRefuseWrites) {
  MakeGood();
  fs::permissions(dir.path() / "good.dbf", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir.path() / "good.fpt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(AsUnprivileged(dir.path(), [&] {
              Engine engine2;
              Data4 data = d4open(engine2.code(), (dir.path() / "good.dbf").string());
              if (data == 0) return 1;
              if (d4top(data) != 0 || f4str(d4field(data, "id")) != "r0  ") return 2;
              if (f4memoStr(d4field(data, "m")) != "memo") return 3;
              if (f4assign(d4field(data, "id"), "x") != kErrorAccess) return 4;
              if (d4appendStart(data, 0) != kErrorAccess) return 5;
              if (d4delete(data) != kErrorAccess) return 6;
              if (d4lock(data, 1) != 0) return 7;
              return d4close(data) == 0 ? 0 : 8;
            }),
            0);
}

}  // namespace
