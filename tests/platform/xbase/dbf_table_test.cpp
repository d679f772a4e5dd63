// The DBF half of the engine: bytes on disk, the record buffer, natural order and
// its codes, delete and pack, handles.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "table_test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace xbase;
using testing_support::ReadFile;
using testing_support::TempDir;
using xbase_test::AppendRow;
using xbase_test::Engine;
using xbase_test::Le32;

class DbfTable : public ::testing::Test {
 protected:
  Data4 Create(const std::string& name, const std::vector<FieldInfo>& fields) {
    Data4 data = d4create(engine.code(), (dir.path() / name).string(), fields, {});
    EXPECT_NE(data, 0) << "pending " << code4errorCode(engine.code(), 0);
    return data;
  }
  std::string Bytes(const std::string& name) { return ReadFile(dir.path() / name); }

  TempDir dir;
  Engine engine;
};

TEST_F(DbfTable, CreateWritesTheFoxPro2HeaderAndAnEmptyMemoFile) {
  Data4 data = Create("Mixed.dbf", xbase_test::MixedFields());
  ASSERT_EQ(d4close(data), 0);
  std::string dbf = Bytes("Mixed.dbf");
  const int header = 32 + 7 * 32 + 1;
  const int reclen = 1 + 10 + 6 + 10 + 4 + 1 + 8 + 4;
  ASSERT_EQ(dbf.size(), static_cast<std::size_t>(header + 1));
  EXPECT_EQ(static_cast<unsigned char>(dbf[0]), 0xF5);
  EXPECT_EQ(Le32(dbf, 4), 0u);
  EXPECT_EQ(static_cast<unsigned char>(dbf[8]) | static_cast<unsigned char>(dbf[9]) << 8, header);
  EXPECT_EQ(static_cast<unsigned char>(dbf[10]) | static_cast<unsigned char>(dbf[11]) << 8, reclen);
  EXPECT_EQ(dbf[28], '\0');  // no production index asked for
  EXPECT_EQ(dbf.substr(32, 11), std::string("NAME\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(dbf[32 + 11], 'C');
  EXPECT_EQ(dbf[32 + 16], 10);
  EXPECT_EQ(dbf.substr(64, 6), std::string("PRICE\0", 6));
  EXPECT_EQ(dbf[64 + 16], 6);
  EXPECT_EQ(dbf[64 + 17], 2);
  EXPECT_EQ(dbf[96 + 11], 'M');
  EXPECT_EQ(dbf[96 + 16], 10);
  EXPECT_EQ(dbf[32 + 6 * 32 + 16], 4);  // BLOB keeps its binary pointer width
  EXPECT_EQ(dbf[header - 1], '\x0D');
  EXPECT_EQ(dbf[header], '\x1A');

  std::string fpt = Bytes("Mixed.fpt");
  ASSERT_EQ(fpt.size(), 512u);
  EXPECT_EQ(xbase_test::Be32(fpt, 0), 8u);  // next free block
  EXPECT_EQ(xbase_test::Be32(fpt, 4), 64u); // block size

  Data4 plain = Create("plain", {{"id", 'C', 7, 0}, {"n", 'N', 3, 0}});
  ASSERT_EQ(d4close(plain), 0);
  EXPECT_EQ(static_cast<unsigned char>(Bytes("plain.dbf")[0]), 0x03);
  EXPECT_FALSE(fs::exists(dir.path() / "plain.fpt"));
}

TEST_F(DbfTable, CreateRefusesBadDefinitionsAndAnExistingTable) {
  const std::vector<std::vector<FieldInfo>> bad = {
      {},
      {{"", 'C', 5, 0}},
      {{"elevenchars", 'C', 5, 0}},
      {{"a", 'C', 255, 0}},
      {{"a", 'C', 0, 0}},
      {{"a", 'Q', 5, 0}},
      {{"a", 'C', 5, 0}, {"A", 'N', 3, 0}},
  };
  int i = 0;
  for (const auto& fields : bad) {
    EXPECT_EQ(d4create(engine.code(), (dir.path() / ("bad" + std::to_string(i++))).string(), fields, {}), 0);
    EXPECT_LT(code4errorCode(engine.code(), 0), 0);
  }
  Data4 data = Create("keep.dbf", {{"a", 'C', 5, 0}});
  ASSERT_EQ(AppendRow(data, {"x"}), 0);
  d4close(data);
  EXPECT_EQ(d4create(engine.code(), (dir.path() / "KEEP.DBF").string(), {{"b", 'N', 2, 0}}, {}), 0);
  EXPECT_EQ(code4errorCode(engine.code(), 0), kErrorCreate);
  data = d4open(engine.code(), (dir.path() / "keep").string());
  EXPECT_EQ(d4recCount(data), 1);
}

TEST_F(DbfTable, AppendWritesRecordsCountMemoPointersAndTheEndMark) {
  Data4 data = Create("ex.dbf", {{"name", 'C', 10, 0}, {"price", 'N', 6, 2}, {"notes", 'M', 10, 0}, {"blob", 'M', 4, 0}});
  ASSERT_EQ(AppendRow(data, {"PEAR", "12.50", "Green and sweet", std::string("a\0b", 3)}), 0);
  ASSERT_EQ(AppendRow(data, {"APPLE", "-3.25", "", ""}), 0);
  EXPECT_EQ(d4recNo(data), 2);
  ASSERT_EQ(d4close(data), 0);

  std::string dbf = Bytes("ex.dbf");
  const std::size_t header = 32 + 4 * 32 + 1;
  const std::size_t reclen = 1 + 10 + 6 + 10 + 4;
  ASSERT_EQ(dbf.size(), header + 2 * reclen + 1);
  EXPECT_EQ(Le32(dbf, 4), 2u);
  EXPECT_EQ(dbf.substr(header, reclen - 4), " PEAR       12.50         8");
  EXPECT_EQ(Le32(dbf, header + 27), 9u);  // the binary pointer: the next run
  EXPECT_EQ(dbf.substr(header + reclen, reclen), std::string(" APPLE      -3.25          ") + std::string(4, '\0'));
  EXPECT_EQ(dbf.back(), '\x1A');
  EXPECT_GE(static_cast<unsigned char>(dbf[2]), 1);  // month of the last update

  std::string fpt = Bytes("ex.fpt");
  EXPECT_EQ(xbase_test::Be32(fpt, 0), 10u);
  EXPECT_EQ(xbase_test::Be32(fpt, 512), 1u);   // text block
  EXPECT_EQ(xbase_test::Be32(fpt, 516), 15u);  // its length
  EXPECT_EQ(fpt.substr(520, 15), "Green and sweet");
  EXPECT_EQ(fpt.substr(576 + 8, 3), std::string("a\0b", 3));
}

TEST_F(DbfTable, FieldsReadBackByExactWidthAndConvert) {
  Data4 data = Create("conv", {{"text", 'C', 7, 0},
                               {"num", 'N', 6, 0},
                               {"money", 'N', 8, 2},
                               {"flag", 'L', 1, 0},
                               {"day", 'D', 8, 0},
                               {"whole", 'I', 4, 0},
                               {"doc", 'X', 10, 0}});
  ASSERT_EQ(d4appendStart(data, 0), 0);
  Field4 text = d4field(data, "TEXT");
  Field4 num = d4field(data, "num");
  Field4 money = d4field(data, "Money");
  Field4 flag = d4field(data, "flag");
  Field4 day = d4field(data, "day");
  Field4 whole = d4field(data, "whole");
  Field4 doc = d4field(data, "doc");
  EXPECT_EQ(d4field(data, "nosuch"), 0);
  EXPECT_EQ(d4numFields(data), 7);
  EXPECT_EQ(d4fieldJ(data, 1), text);
  EXPECT_EQ(d4fieldJ(data, 8), 0);
  EXPECT_EQ(d4fieldJ(data, 0), 0);
  EXPECT_EQ(f4type(whole), 'I');
  EXPECT_EQ(f4type(doc), 'X');
  EXPECT_EQ(f4name(money), "MONEY");

  // Blank record: every field blank.
  EXPECT_EQ(f4str(text), "       ");
  EXPECT_EQ(f4str(num), "      ");
  EXPECT_EQ(f4long(num), 0);
  EXPECT_EQ(f4str(whole), std::string(4, '\0'));
  EXPECT_EQ(f4memoStr(doc), "");

  ASSERT_EQ(f4assign(text, "12"), 0);
  EXPECT_EQ(f4str(text), "12     ");
  ASSERT_EQ(f4assign(text, "much too long"), 0);
  EXPECT_EQ(f4str(text), "much to");
  ASSERT_EQ(f4assign(num, "42"), 0);
  EXPECT_EQ(f4str(num), "    42");
  ASSERT_EQ(f4assignLong(num, -1234), 0);
  EXPECT_EQ(f4str(num), " -1234");
  EXPECT_EQ(f4long(num), -1234);
  ASSERT_EQ(f4assignLong(num, 1234567), 0);
  EXPECT_EQ(f4str(num), "******");
  ASSERT_EQ(f4assignInt(num, 7), 0);
  EXPECT_EQ(f4str(num), "     7");
  EXPECT_EQ(f4int(num), 7);
  ASSERT_EQ(f4assignInt(text, 70000), 0);
  EXPECT_EQ(f4str(text), "  70000");
  EXPECT_EQ(f4long(text), 70000);
  ASSERT_EQ(f4assignDouble(money, 12.5), 0);
  EXPECT_EQ(f4str(money), "   12.50");
  ASSERT_EQ(f4assignLong(money, 3), 0);
  EXPECT_EQ(f4str(money), "    3.00");
  EXPECT_DOUBLE_EQ(f4double(money), 3.0);
  ASSERT_EQ(f4assign(money, " -7.25 "), 0);
  EXPECT_EQ(f4str(money), "   -7.25");
  EXPECT_EQ(f4long(money), -7);
  for (const char* yes : {"T", "t", "Y", "y"}) {
    f4assign(flag, yes);
    EXPECT_TRUE(f4true(flag)) << yes;
  }
  for (const char* no : {"F", "n", " ", "?"}) {
    f4assign(flag, no);
    EXPECT_FALSE(f4true(flag)) << no;
  }
  ASSERT_EQ(f4assign(day, "20000101"), 0);
  EXPECT_EQ(f4long(day), 2451545);
  ASSERT_EQ(f4assignLong(day, 2460341), 0);
  EXPECT_EQ(f4str(day), "20240131");
  ASSERT_EQ(f4assignLong(whole, -2), 0);
  EXPECT_EQ(f4str(whole), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(f4long(whole), -2);
  ASSERT_EQ(f4memoAssign(doc, std::string("bin\0\xFA", 5)), 0);
  ASSERT_EQ(f4memoAssign(text, "via memo"), 0);  // a non-memo field takes it as f4assign
  EXPECT_EQ(f4str(text), "via mem");
  ASSERT_EQ(d4append(data), 0);
  ASSERT_EQ(d4close(data), 0);

  data = d4open(engine.code(), (dir.path() / "CONV.DBF").string());
  ASSERT_NE(data, 0);
  ASSERT_EQ(d4top(data), 0);
  doc = d4field(data, "doc");
  EXPECT_EQ(f4memoStr(doc), std::string("bin\0\xFA", 5));
  EXPECT_EQ(f4memoLen(doc), 5);
  EXPECT_EQ(f4long(d4field(data, "whole")), -2);
  EXPECT_EQ(f4str(d4field(data, "money")), "   -7.25");
  EXPECT_EQ(f4str(d4field(data, "text")), "via mem");
}

TEST_F(DbfTable, AssignFieldCopiesBetweenFieldsOfOneType) {
  Data4 from = Create("from", {{"a", 'C', 5, 0}, {"n", 'N', 4, 0}, {"m", 'M', 10, 0}});
  Data4 to = Create("to", {{"a", 'C', 5, 0}, {"n", 'N', 4, 0}, {"m", 'M', 4, 0}, {"wide", 'C', 8, 0}});
  ASSERT_EQ(AppendRow(from, {"abc", "12", "memo text"}), 0);
  ASSERT_EQ(d4appendStart(to, 0), 0);
  EXPECT_EQ(f4assignField(d4field(to, "a"), d4field(from, "a")), 0);
  EXPECT_EQ(f4assignField(d4field(to, "n"), d4field(from, "n")), 0);
  EXPECT_EQ(f4assignField(d4field(to, "m"), d4field(from, "m")), 0);
  EXPECT_EQ(f4assignField(d4field(to, "wide"), d4field(from, "a")), 0);
  ASSERT_EQ(d4append(to), 0);
  EXPECT_EQ(f4str(d4field(to, "a")), "abc  ");
  EXPECT_EQ(f4str(d4field(to, "n")), "  12");
  EXPECT_EQ(f4memoStr(d4field(to, "m")), "memo text");
  EXPECT_EQ(f4str(d4field(to, "wide")), "abc     ");
  EXPECT_EQ(f4assignField(0, d4field(from, "a")), kErrorHandle);
}

// A byte copy of a memo pointer would leave two records on one run, and rewriting
// one in place would change the other: memo fields are copied as text.
TEST_F(DbfTable, AssignFieldGivesACopiedMemoItsOwnRun) {
  Data4 data = Create("share", {{"m", 'M', 10, 0}});
  ASSERT_EQ(AppendRow(data, {"the first record's memo"}), 0);
  Data4 other = d4open(engine.code(), (dir.path() / "share.dbf").string());
  ASSERT_EQ(d4top(other), 0);
  ASSERT_EQ(d4appendStart(data, 0), 0);
  ASSERT_EQ(f4assignField(d4field(data, "m"), d4field(other, "m")), 0);
  ASSERT_EQ(d4append(data), 0);
  EXPECT_NE(f4str(d4field(data, "m")), f4str(d4field(other, "m")));
  ASSERT_EQ(f4memoAssign(d4field(data, "m"), "short"), 0);  // fits the run: rewritten in place
  ASSERT_EQ(d4flush(data), 0);
  ASSERT_EQ(d4go(other, 1), 0);
  EXPECT_EQ(f4memoStr(d4field(other, "m")), "the first record's memo");
}

class Navigation : public DbfTable {
 protected:
  void SetUp() override {
    data = Create("nav", {{"id", 'N', 3, 0}});
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(AppendRow(data, {std::to_string(i)}), 0);
  }
  long Id() { return f4long(d4field(data, "id")); }
  Data4 data = 0;
};

TEST_F(Navigation, CodesAtBothEndsAndOutOfRange) {
  EXPECT_EQ(d4top(data), 0);
  EXPECT_EQ(d4recNo(data), 1);
  EXPECT_EQ(d4skip(data, -1), kBof);
  EXPECT_TRUE(d4bof(data));
  EXPECT_EQ(d4recNo(data), 1);  // stays on the first record
  EXPECT_EQ(d4skip(data, 1), 0);
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(d4bottom(data), 0);
  EXPECT_EQ(d4recNo(data), 3);
  EXPECT_EQ(d4skip(data, 1), kEof);
  EXPECT_TRUE(d4eof(data));
  EXPECT_EQ(d4recNo(data), 0);
  EXPECT_EQ(d4skip(data, 1), kEof);
  EXPECT_EQ(d4skip(data, -1), 0);  // back from the end onto the last record
  EXPECT_EQ(d4recNo(data), 3);
  EXPECT_EQ(d4go(data, 2), 0);
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(d4go(data, 0), kErrorRecord);
  EXPECT_EQ(d4go(data, 4), kErrorRecord);
  EXPECT_EQ(d4recNo(data), 2);  // a refused go leaves the position
  EXPECT_EQ(d4goEof(data), kEof);
  EXPECT_EQ(d4recNo(data), 0);
  EXPECT_TRUE(d4eof(data));
  EXPECT_EQ(d4recCount(data), 3);
  // A record started and left unappended: the skip goes from where the table was.
  ASSERT_EQ(d4appendStart(data, 0), 0);
  EXPECT_EQ(d4skip(data, -1), 0);
  EXPECT_EQ(d4recNo(data), 3);
  ASSERT_EQ(d4appendStart(data, 0), 0);
  EXPECT_EQ(d4skip(data, -1), 0);
  EXPECT_EQ(d4recNo(data), 2);
  EXPECT_EQ(d4recCount(data), 3);
}

TEST_F(DbfTable, EmptyTableHasNoCurrentRecord) {
  Data4 data = Create("empty", {{"id", 'C', 3, 0}});
  EXPECT_EQ(d4recNo(data), 0);
  EXPECT_EQ(d4top(data), kEof);
  EXPECT_TRUE(d4eof(data));
  EXPECT_TRUE(d4bof(data));
  EXPECT_EQ(d4bottom(data), kEof);
  EXPECT_EQ(d4recNo(data), 0);
  EXPECT_EQ(d4skip(data, 1), kEof);
  EXPECT_EQ(d4delete(data), kErrorRecord);
  EXPECT_EQ(f4assign(d4field(data, "id"), "x"), kErrorRecord);
  EXPECT_EQ(d4recCount(data), 0);
}

TEST_F(Navigation, ChangedRecordIsWrittenBackWhenTheEngineLeavesIt) {
  const std::string path = (dir.path() / "nav.dbf").string();
  Data4 other = d4open(engine.code(), path);  // a second handle reads the file
  ASSERT_NE(other, 0);
  auto seen = [&](long recno) {
    d4go(other, recno);
    return f4long(d4field(other, "id"));
  };
  ASSERT_EQ(d4go(data, 1), 0);
  f4assignLong(d4field(data, "id"), 10);
  EXPECT_EQ(seen(1), 1);  // not yet
  ASSERT_EQ(d4skip(data, 1), 0);
  EXPECT_EQ(seen(1), 10);  // skip

  f4assignLong(d4field(data, "id"), 20);
  ASSERT_EQ(d4go(data, 3), 0);
  EXPECT_EQ(seen(2), 20);  // go

  f4assignLong(d4field(data, "id"), 30);
  ASSERT_EQ(d4appendStart(data, 0), 0);
  EXPECT_EQ(seen(3), 30);  // append start
  EXPECT_EQ(d4recNo(data), 0);
  ASSERT_EQ(d4top(data), 0);  // leaving the started record drops it
  EXPECT_EQ(d4recCount(data), 3);

  f4assignLong(d4field(data, "id"), 11);
  ASSERT_EQ(d4flush(data), 0);
  EXPECT_EQ(seen(1), 11);  // flush

  ASSERT_EQ(d4go(data, 2), 0);
  f4assignLong(d4field(data, "id"), 22);
  ASSERT_EQ(d4close(data), 0);
  EXPECT_EQ(seen(2), 22);  // close
}

TEST_F(DbfTable, DeletedRecordsStayVisibleUntilPack) {
  Data4 data = Create("del", {{"id", 'N', 3, 0}, {"memo", 'M', 10, 0}});
  for (int i = 1; i <= 5; ++i) ASSERT_EQ(AppendRow(data, {std::to_string(i), "memo " + std::to_string(i)}), 0);
  for (long recno : {1L, 4L}) {
    ASSERT_EQ(d4go(data, recno), 0);
    ASSERT_EQ(d4delete(data), 0);
    EXPECT_TRUE(d4deleted(data));
  }
  ASSERT_EQ(d4go(data, 2), 0);
  ASSERT_EQ(d4delete(data), 0);
  ASSERT_EQ(d4recall(data), 0);
  EXPECT_FALSE(d4deleted(data));
  ASSERT_EQ(d4top(data), 0);
  EXPECT_TRUE(d4deleted(data));
  EXPECT_EQ(d4recCount(data), 5);

  ASSERT_EQ(d4pack(data), 0);
  EXPECT_EQ(d4recCount(data), 3);
  std::vector<long> ids;
  std::vector<std::string> memos;
  for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1)) {
    ids.push_back(f4long(d4field(data, "id")));
    memos.push_back(f4memoStr(d4field(data, "memo")));
    EXPECT_FALSE(d4deleted(data));
  }
  EXPECT_EQ(ids, (std::vector<long>{2, 3, 5}));
  EXPECT_EQ(memos, (std::vector<std::string>{"memo 2", "memo 3", "memo 5"}));
  ASSERT_EQ(d4close(data), 0);
  std::string dbf = Bytes("del.dbf");
  const std::size_t header = 32 + 2 * 32 + 1;
  EXPECT_EQ(dbf.size(), header + 3 * 14 + 1);
  EXPECT_EQ(Le32(dbf, 4), 3u);
  EXPECT_EQ(dbf.back(), '\x1A');
}

TEST_F(DbfTable, DeleteEachThenPackEmptiesTheTable) {
  Data4 data = Create("zap", {{"id", 'C', 4, 0}});
  for (int i = 0; i < 7; ++i) ASSERT_EQ(AppendRow(data, {"r" + std::to_string(i)}), 0);
  for (int rc = d4top(data); rc == 0; rc = d4skip(data, 1)) ASSERT_EQ(d4delete(data), 0);
  ASSERT_EQ(d4pack(data), 0);
  EXPECT_EQ(d4recCount(data), 0);
  EXPECT_EQ(d4top(data), kEof);
  ASSERT_EQ(AppendRow(data, {"new"}), 0);
  EXPECT_EQ(d4recNo(data), 1);
  ASSERT_EQ(d4close(data), 0);
  EXPECT_EQ(Bytes("zap.dbf").size(), static_cast<std::size_t>(32 + 32 + 1 + 5 + 1));
}

TEST_F(DbfTable, ZeroAndClosedHandlesAnswerErrors) {
  Data4 data = Create("h", {{"id", 'C', 3, 0}});
  Field4 field = d4field(data, "id");
  ASSERT_EQ(d4close(data), 0);
  for (Data4 bad : {Data4{0}, data, Data4{999999}}) {
    EXPECT_EQ(d4top(bad), kErrorHandle);
    EXPECT_EQ(d4skip(bad, 1), kErrorHandle);
    EXPECT_EQ(d4go(bad, 1), kErrorHandle);
    EXPECT_EQ(d4append(bad), kErrorHandle);
    EXPECT_EQ(d4pack(bad), kErrorHandle);
    EXPECT_EQ(d4lock(bad, 1), kErrorHandle);
    EXPECT_EQ(d4close(bad), kErrorHandle);
    EXPECT_EQ(d4recNo(bad), kErrorHandle);
    EXPECT_EQ(d4field(bad, "id"), 0);
    EXPECT_EQ(d4fileName(bad), "");
  }
  for (Field4 bad : {Field4{0}, field}) {
    EXPECT_EQ(f4type(bad), '\0');
    EXPECT_EQ(f4str(bad), "");
    EXPECT_EQ(f4assign(bad, "x"), kErrorHandle);
    EXPECT_EQ(f4memoStr(bad), "");
    EXPECT_EQ(f4long(bad), 0);
  }
  // Handles are never handed out twice.
  Data4 again = d4open(engine.code(), (dir.path() / "h.dbf").string());
  EXPECT_NE(again, data);
  EXPECT_NE(d4field(again, "id"), field);
  EXPECT_EQ(d4initUndo(0), kErrorHandle);
  EXPECT_EQ(code4errorCode(0, 0), kErrorHandle);
}

TEST_F(DbfTable, ContextFlagsReturnThePreviousValueAndEndingClosesTables) {
  Code4 code = d4init();
  EXPECT_EQ(code4autoOpen(code, 0), 1);
  EXPECT_EQ(code4autoOpen(code, 1), 0);
  EXPECT_EQ(code4errOff(code, 1), 0);
  Data4 data = d4create(code, (dir.path() / "ctx").string(), {{"a", 'C', 2, 0}}, {});
  ASSERT_NE(data, 0);
  EXPECT_EQ(d4code(data), code);
  EXPECT_EQ(d4fileName(data), (dir.path() / "ctx.dbf").string());
  ASSERT_EQ(d4appendStart(data, 0), 0);
  f4assign(d4field(data, "a"), "zz");
  ASSERT_EQ(d4append(data), 0);
  f4assign(d4field(data, "a"), "yy");  // changed, not yet written
  EXPECT_EQ(d4initUndo(code), 0);
  EXPECT_EQ(d4top(data), kErrorHandle);
  Data4 reopened = d4open(engine.code(), (dir.path() / "ctx").string());
  ASSERT_EQ(d4top(reopened), 0);
  EXPECT_EQ(f4str(d4field(reopened, "a")), "yy");
  EXPECT_EQ(d4initUndo(code), kErrorHandle);
}

TEST(DateFormat, PicturesAndDayNumbers) {
  EXPECT_EQ(date4format("20240131", "MM/DD/YY"), "01/31/24");
  EXPECT_EQ(date4format("20240131", "CCYYMMDD"), "20240131");
  EXPECT_EQ(date4format("20240131", "DD.MM.CCYY"), "31.01.2024");
  EXPECT_EQ(date4format("20240131", "MMM DD"), "Jan 31");
  EXPECT_EQ(date4format("        ", "MM/DD/YY"), "  /  /  ");
  EXPECT_EQ(date4long("20000101"), 2451545);
  EXPECT_EQ(date4long("19700101"), 2440588);
  EXPECT_EQ(date4long("        "), 0);
  EXPECT_EQ(date4long("2024x131"), 0);
}

}  // namespace
