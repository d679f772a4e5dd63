// FPT memo files: binary-safe texts, reuse of a run on rewrite, other writers'
// larger headers, and damaged pointers and lengths.
#include <gtest/gtest.h>

#include <cstdio>
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
using xbase_test::Be32;
using xbase_test::Engine;

class FptMemo : public ::testing::Test {
 protected:
  void SetUp() override {
    data = d4create(engine.code(), (dir.path() / "memo").string(),
                    {{"id", 'C', 3, 0}, {"text", 'M', 10, 0}, {"bin", 'M', 4, 0}}, {});
    ASSERT_NE(data, 0);
  }
  std::string Memo(long recno, const char* field = "text") {
    d4go(data, recno);
    return f4memoStr(d4field(data, field));
  }
  std::uint32_t Pointer(long recno) {
    d4go(data, recno);
    return static_cast<std::uint32_t>(std::stoul(f4str(d4field(data, "text"))));
  }
  TempDir dir;
  Engine engine;
  Data4 data = 0;
};

TEST_F(FptMemo, TextsAreBinarySafeInBothPointerWidths) {
  std::string binary;
  for (int c = 0; c < 256; ++c) binary += static_cast<char>(c);
  binary += std::string("\0\xFA\0", 3);
  std::string big(70000, 'x');
  ASSERT_EQ(AppendRow(data, {"a", binary, big}), 0);
  ASSERT_EQ(AppendRow(data, {"b", "", ""}), 0);
  ASSERT_EQ(d4close(data), 0);
  data = d4open(engine.code(), (dir.path() / "memo.dbf").string());
  EXPECT_EQ(Memo(1), binary);
  EXPECT_EQ(Memo(1, "bin"), big);
  EXPECT_EQ(f4memoLen(d4field(data, "bin")), 70000);
  EXPECT_EQ(Memo(2), "");
  EXPECT_EQ(f4str(d4field(data, "text")), std::string(10, ' '));  // "" stores no block
  EXPECT_EQ(f4str(d4field(data, "bin")), std::string(4, '\0'));
}

TEST_F(FptMemo, RewriteStaysInItsRunWhenItFitsAndMovesWhenItGrows) {
  ASSERT_EQ(AppendRow(data, {"a", std::string(50, 'a'), ""}), 0);
  ASSERT_EQ(AppendRow(data, {"b", "second", ""}), 0);
  EXPECT_EQ(Pointer(1), 8u);
  EXPECT_EQ(Pointer(2), 9u);

  ASSERT_EQ(d4go(data, 1), 0);
  ASSERT_EQ(f4memoAssign(d4field(data, "text"), std::string(56, 'b')), 0);  // 8 + 56 = one block
  ASSERT_EQ(d4flush(data), 0);
  EXPECT_EQ(Pointer(1), 8u);
  EXPECT_EQ(Memo(1), std::string(56, 'b'));

  ASSERT_EQ(f4memoAssign(d4field(data, "text"), std::string(150, 'c')), 0);
  ASSERT_EQ(d4flush(data), 0);
  EXPECT_EQ(Pointer(1), 10u);  // a new run at the end
  EXPECT_EQ(Memo(1), std::string(150, 'c'));
  EXPECT_EQ(Memo(2), "second");  // the neighbour is untouched
  std::string fpt = ReadFile(dir.path() / "memo.fpt");
  EXPECT_EQ(Be32(fpt, 0), 13u);  // 10 + ceil(158 / 64)

  ASSERT_EQ(f4memoAssign(d4field(data, "text"), ""), 0);
  ASSERT_EQ(d4flush(data), 0);
  EXPECT_EQ(f4str(d4field(data, "text")), std::string(10, ' '));
}

TEST_F(FptMemo, MemoCompressKeepsEveryLiveMemoAndShrinksTheFile) {
  for (int i = 0; i < 5; ++i) ASSERT_EQ(AppendRow(data, {"r", std::string(100, 'a' + i), "b"}), 0);
  for (long r = 1; r <= 5; ++r) {
    ASSERT_EQ(d4go(data, r), 0);
    f4memoAssign(d4field(data, "text"), std::string(300, 'A' + static_cast<char>(r)));
  }
  ASSERT_EQ(d4flush(data), 0);
  auto before = fs::file_size(dir.path() / "memo.fpt");
  ASSERT_EQ(d4memoCompress(data), 0);
  EXPECT_LT(fs::file_size(dir.path() / "memo.fpt"), before);
  for (long r = 1; r <= 5; ++r) {
    EXPECT_EQ(Memo(r), std::string(300, 'A' + static_cast<char>(r)));
    EXPECT_EQ(Memo(r, "bin"), "b");
  }
}

// A memo file whose writer keeps 1024 header bytes with its own marker: its memos
// read, and ours are added after its blocks without touching its header.
TEST(FptForeignHeader, LargerHeadersAreReadAndKept) {
  TempDir dir;
  testing_support::CopyFolder(testing_support::SharedDir() / "fixtures/xbase/peer-made-flexmemo", dir.path());
  const fs::path fptPath = dir.path() / "descript.fpt";
  const std::string before = ReadFile(fptPath);
  ASSERT_EQ(before.substr(512, 9), "FlexFile3");
  Engine engine;
  code4autoOpen(engine.code(), 0);
  Data4 data = d4open(engine.code(), (dir.path() / "DESCRIPT.DBF").string());
  ASSERT_NE(data, 0) << code4errorCode(engine.code(), 0);
  ASSERT_EQ(d4go(data, 2), 0);
  EXPECT_EQ(f4memoStr(d4field(data, "descript")), "mormi\r\nmika satr");
  ASSERT_EQ(AppendRow(data, {"9999999", "added by us", "0000001", "1"}), 0);
  ASSERT_EQ(d4close(data), 0);
  const std::string after = ReadFile(fptPath);
  EXPECT_EQ(after.substr(4, 1020), before.substr(4, 1020));
  EXPECT_EQ(after.substr(0, before.size()).substr(1024), before.substr(1024));  // old blocks untouched
  EXPECT_GE(Be32(after, 0), Be32(before, 0));
  data = d4open(engine.code(), (dir.path() / "descript.dbf").string());
  ASSERT_EQ(d4bottom(data), 0);
  EXPECT_EQ(f4memoStr(d4field(data, "descript")), "added by us");
  // Compression would move blocks the other writer's free list names: not done.
  ASSERT_EQ(d4memoCompress(data), 0);
  EXPECT_EQ(ReadFile(fptPath), after);
}

// Damaged pointers and lengths read as "" and never crash or read outside the file.
TEST_F(FptMemo, DamagedPointersAndLengthsReadEmpty) {
  ASSERT_EQ(AppendRow(data, {"a", "fine", ""}), 0);
  ASSERT_EQ(AppendRow(data, {"b", "second", ""}), 0);
  ASSERT_EQ(d4close(data), 0);
  const fs::path dbfPath = dir.path() / "memo.dbf";
  const fs::path fptPath = dir.path() / "memo.fpt";
  std::string dbf = ReadFile(dbfPath);
  const std::size_t header = 32 + 3 * 32 + 1;
  const std::size_t reclen = 1 + 3 + 10 + 4;
  // Record 1: block far past the end; record 2: garbage digits.
  dbf.replace(header + 4, 10, "    999999");
  dbf.replace(header + reclen + 4, 10, "   12x4   ");
  WriteFile(dbfPath, dbf);
  std::string fpt = ReadFile(fptPath);
  Engine engine2;
  Data4 d = d4open(engine2.code(), dbfPath.string());
  ASSERT_NE(d, 0);
  EXPECT_EQ(code4errorCode(engine2.code(), 0), 0);
  d4go(d, 1);
  EXPECT_EQ(f4memoStr(d4field(d, "text")), "");
  EXPECT_EQ(code4errorCode(engine2.code(), 0), kErrorMemo);
  d4go(d, 2);
  EXPECT_EQ(f4memoStr(d4field(d, "text")), "");
  EXPECT_EQ(code4errorCode(engine2.code(), 0), kErrorMemo);
  EXPECT_EQ(f4memoStr(d4field(d, "bin")), "");  // a blank pointer is no damage
  EXPECT_EQ(code4errorCode(engine2.code(), 0), 0);
  d4close(d);

  // A length that runs past the end of the file.
  dbf.replace(header + 4, 10, "         8");
  WriteFile(dbfPath, dbf);
  fpt[512 + 4] = '\x7F';
  WriteFile(fptPath, fpt);
  d = d4open(engine2.code(), dbfPath.string());
  ASSERT_NE(d, 0);
  d4go(d, 1);
  EXPECT_EQ(f4memoStr(d4field(d, "text")), "");
  EXPECT_EQ(f4memoLen(d4field(d, "text")), 0);
  EXPECT_EQ(code4errorCode(engine2.code(), 0), kErrorMemo);
  d4close(d);

  // The dump names the damage.
  fs::path tool = fs::read_symlink("/proc/self/exe").parent_path().parent_path().parent_path().parent_path() / "bin/xbdump";
  if (fs::exists(tool)) {
    FILE* pipe = popen(("'" + tool.string() + "' '" + dir.str() + "'").c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    EXPECT_NE(out.find("PROBLEM memo.dbf record 1 damaged memo TEXT"), std::string::npos) << out;
    EXPECT_NE(out.find("NOT-CLEAN"), std::string::npos);
  }
}

// A next free block far past the end (a damaged header) must not send the new memo
// there: it goes to the end of the file.
TEST_F(FptMemo, DamagedNextFreeBlockDoesNotSendWritesPastTheEnd) {
  ASSERT_EQ(AppendRow(data, {"a", "first", ""}), 0);
  ASSERT_EQ(d4close(data), 0);
  const fs::path fptPath = dir.path() / "memo.fpt";
  std::string fpt = ReadFile(fptPath);
  const auto size = fpt.size();
  fpt[0] = '\x7F';  // next free block 0x7F000009
  WriteFile(fptPath, fpt);
  data = d4open(engine.code(), (dir.path() / "memo.dbf").string());
  ASSERT_EQ(AppendRow(data, {"b", "second", ""}), 0);
  EXPECT_EQ(Pointer(2), 9u);
  EXPECT_EQ(Memo(2), "second");
  EXPECT_EQ(Memo(1), "first");
  EXPECT_LE(fs::file_size(fptPath), size + 128);
  EXPECT_EQ(Be32(ReadFile(fptPath), 0), 10u);
}

}  // namespace
