#include "data/open_table.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "data/codebase.h"
#include "platform/xbase/tag_check.h"
#include "table_fixture.h"

namespace fs = std::filesystem;

namespace tolvarin {
namespace {

using tolvarin_test::ReadBytes;
using tolvarin_test::TableFolderTest;

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(FindBytes, FindsTheTextWithItsNul) {
  using namespace std::string_literals;
  EXPECT_EQ(FindBytes("NAME", Bytes("xxNAME\0yy"s)), 2);
  EXPECT_EQ(FindBytes("NAME", Bytes("NAME\0"s)), 0);
  // Without the NUL after it the name is a prefix of another name, not a match.
  EXPECT_EQ(FindBytes("NAME", Bytes("NAMES\0"s)), -1);
  EXPECT_EQ(FindBytes("NAME", Bytes("")), -1);
  EXPECT_EQ(FindBytes("NAME", Bytes("NAM")), -1);
}

TEST(FindBytes, RestartsRightAfterAPartialMatch) {
  using namespace std::string_literals;
  // A partial match that fails on the byte where the real match starts.
  EXPECT_EQ(FindBytes("AAB", Bytes("AAAB\0"s)), 1);
  // A later field's name follows the NUL padding of the name before it.
  EXPECT_EQ(FindBytes("\0ID"s, Bytes("SESSION\0\0ID\0"s)), 8);
  EXPECT_EQ(FindBytes("\0TYPE"s, Bytes("\x40"s + std::string(14, '\0') + "TYPE"s + "\0"s)), 14);
}

TEST(FindBytes, LongTextsAreSearchedAsTheyAreAndFromAPosition) {
  using namespace std::string_literals;
  const std::string sixteen = "ABCDEFGHIJKLMNOP";
  EXPECT_EQ(FindBytes(sixteen, Bytes("--" + sixteen)), 2);
  EXPECT_EQ(FindBytes("AB", Bytes("AB\0AB\0"s), 1), 3);
  EXPECT_EQ(FindBytes("AB", Bytes("AB\0AB\0"s), 4), -1);
}

TEST(FindBytes, AgreesWithASubstringSearchOnFixtureHeaders) {
  for (const char* table : {"quests", "templates", "users", "sesquests", "memoattributes"}) {
    const auto bytes = ReadBytes(TableFolderTest::Fixtures() / (std::string(table) + ".dbf"));
    const std::string text(bytes.begin(), bytes.end());
    for (const char* name : {"USER_ID", "QUEST_ID", "BLOB", "ANSWER5PCT", "ATTR_VALUE", "ORDER"}) {
      const std::string needle = std::string(1, '\0') + name + std::string(1, '\0');
      const auto expected = text.find(needle);
      EXPECT_EQ(FindBytes(needle.substr(0, needle.size() - 1), bytes),
                expected == std::string::npos ? -1 : static_cast<std::int32_t>(expected))
          << table << " " << name;
    }
  }
}

class OpenTableTest : public TableFolderTest {};

TEST_F(OpenTableTest, MissingTableIsMadeFromItsBlankCopyAndOpened) {
  MakeBlank("users");
  MakeBlank("quests");
  fs::remove(blank_ / "users.fpt");  // users has no memo file; nothing is said about one
  const xbase::Data4 users = OpenTable((course_ / "users.dbf").string());
  ASSERT_NE(users, 0);
  EXPECT_EQ(xbase::d4recCount(users), 0);
  EXPECT_NE(xbase::d4tag(users, "USER_ID"), 0);
  EXPECT_TRUE(fs::exists(course_ / "users.cdx"));
  xbase::d4close(users);

  const xbase::Data4 quests = OpenTable((course_ / "quests.dbf").string());
  ASSERT_NE(quests, 0);
  EXPECT_TRUE(fs::exists(course_ / "quests.fpt"));
  xbase::d4close(quests);
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(OpenTableTest, HealthyTableOpensAsItIs) {
  CopyFixture("quests", course_);
  const auto before = LiveRecords(Fixtures() / "quests.dbf");
  const auto bytesBefore = ReadBytes(course_ / "quests.dbf");
  const xbase::Data4 data = OpenTable((course_ / "QUESTS.DBF").string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(LiveRecords(data), before);
  xbase::d4close(data);
  EXPECT_EQ(ReadBytes(course_ / "quests.dbf"), bytesBefore);
  EXPECT_TRUE(BoxTexts().empty());
}

// A writer killed in the middle of an update leaves the index marked; the open
// rebuilds the index from the table's own records, without the repair's detour
// through the blank copy: the data file is not rewritten and nothing is asked.
TEST_F(OpenTableTest, AnIndexLeftMarkedByAKilledWriterIsRebuiltFromTheTableItself) {
  CopyFixture("quests", course_);
  MakeBlank("quests");
  const auto before = LiveRecords(Fixtures() / "quests.dbf");
  const auto bytesBefore = ReadBytes(course_ / "quests.dbf");
  auto cdx = ReadBytes(course_ / "quests.cdx");
  cdx[28] = 1;  // the update-in-progress mark
  tolvarin_test::WriteBytes(course_ / "quests.cdx", cdx);
  const xbase::Code4 code = xbase::d4init();
  EXPECT_EQ(xbase::d4open(code, (course_ / "quests.dbf").string()), 0);
  EXPECT_EQ(xbase::code4errorCode(code, 0), xbase::kErrorIndex);
  xbase::d4initUndo(code);

  const xbase::Data4 data = OpenTable((course_ / "quests.dbf").string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(LiveRecords(data), before);
  EXPECT_NE(xbase::d4tag(data, "QUEST_ID"), 0);
  for (const auto& check : xbase::detail::CheckTags(data)) EXPECT_TRUE(check.Problems().empty()) << check.name;
  xbase::d4close(data);
  EXPECT_EQ(ReadBytes(course_ / "quests.dbf"), bytesBefore);
  EXPECT_FALSE(fs::exists(course_ / "quests_fix.dbf"));
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(OpenTableTest, MissingBlankCopyIsReported) {
  CopyFixture("users", blank_);
  fs::remove(blank_ / "users.cdx");
  CopyBlankTable(course_.string(), "users", 0);
  EXPECT_TRUE(fs::exists(course_ / "users.dbf"));
  EXPECT_FALSE(fs::exists(course_ / "users.cdx"));
  const auto texts = BoxTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "Unable to locate blank users.cdx file.");
  EXPECT_EQ(presenter_->Shown()[0].box.icon, kIconStop);

  CopyBlankTable(course_.string(), "nosuch", 0, blank_.string());
  const auto more = BoxTexts();
  ASSERT_EQ(more.size(), 3u);
  EXPECT_EQ(more[1], "Unable to locate blank nosuch.dbf file.");
  EXPECT_EQ(more[2], "Unable to locate blank nosuch.cdx file.");
}

TEST_F(OpenTableTest, CopyBlankTableReplacesAndCanEmptyTheCopy) {
  CopyFixture("quests", blank_);  // a "blank" that still holds rows
  CopyFixture("users", course_);
  fs::path other = temp_.path() / "other";
  CopyBlankTable(course_.string(), "quests", 1, blank_.string());
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, (course_ / "quests.dbf").string());
  ASSERT_NE(data, 0);
  EXPECT_EQ(xbase::d4recCount(data), 0);
  xbase::d4close(data);
  EXPECT_EQ(ReadBytes(blank_ / "quests.dbf"), ReadBytes(Fixtures() / "quests.dbf"));
}

// A blank copy killed at any step leaves the table as it was, missing, or whole and
// empty; the next open gives a table that reads clean.
TEST_F(OpenTableTest, ABlankCopyKilledAtAnyStepLeavesATableTheNextOpenMakesWhole) {
  MakeBlank("quests");
  const auto rows = LiveRecords(Fixtures() / "quests.dbf");
  struct Case {
    const char* step;
    bool oldTableKept;  // else the new, empty copy (or no data file, which the open makes)
  } cases[] = {{"blank copy written", true},
               {"blank quests.fpt placed", false},
               {"blank quests.cdx placed", false},
               {"blank quests.dbf placed", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    CopyFixture("quests", course_);  // the table the copy replaces
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SetRepairStepHook([step = std::string(c.step)](const std::string& name) {
        if (name == step) raise(SIGKILL);
      });
      CopyBlankTable(course_.string(), "quests", 1);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    if (c.oldTableKept) {
      EXPECT_EQ(ReadBytes(course_ / "quests.dbf"), ReadBytes(Fixtures() / "quests.dbf"));
    } else if (fs::exists(course_ / "quests.dbf")) {
      EXPECT_EQ(ReadBytes(course_ / "quests.dbf"), ReadBytes(blank_ / "quests.dbf"));
    }
    const xbase::Data4 data = OpenTable((course_ / "quests.dbf").string(), 0, false, true);
    ASSERT_NE(data, 0);
    EXPECT_EQ(LiveRecords(data), c.oldTableKept ? rows : std::vector<std::string>{});
    for (const auto& check : xbase::detail::CheckTags(data)) EXPECT_TRUE(check.Problems().empty()) << check.name;
    xbase::d4close(data);
    for (const auto& entry : fs::directory_iterator(course_)) fs::remove(entry.path());
  }
  EXPECT_TRUE(BoxTexts().empty());
}

// A blank copy that cannot be written beside its place puts nothing in place.
TEST_F(OpenTableTest, ABlankCopyThatCannotBeWrittenLeavesTheTableAsItWas) {
  MakeBlank("quests");
  CopyFixture("quests", course_);
  fs::create_directories(course_ / "quests_blank.cdx" / "in-the-way");
  CopyBlankTable(course_.string(), "quests", 0);
  for (const char* file : {"quests.dbf", "quests.cdx", "quests.fpt"})
    EXPECT_EQ(ReadBytes(course_ / file), ReadBytes(Fixtures() / file)) << file;
  EXPECT_FALSE(fs::exists(course_ / "quests_blank.tmp"));
}

// What an in-place copy of a blank table stopped on the way left holds no row: the
// open makes the table again. Any other short data file goes to the repair, which
// keeps it as it is.
TEST_F(OpenTableTest, ADataFileNoRowCanBeInIsTheMissingTableItStandsFor) {
  MakeBlank("quests");
  const auto blank = ReadBytes(blank_ / "quests.dbf");
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool madeAgain;
  } cases[] = {
      {"empty", {}, true},
      {"the first bytes of the blank header", {blank.begin(), blank.begin() + 40}, true},
      {"all of the blank but its last byte", {blank.begin(), blank.end() - 1}, true},
      {"other bytes", Bytes("not a table, and no blank copy's first bytes"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dbf = course_ / "quests.dbf";
    tolvarin_test::WriteBytes(dbf, c.bytes);
    const xbase::Data4 data = OpenTable(dbf.string(), 0, false, true);
    if (c.madeAgain) {
      ASSERT_NE(data, 0);
      EXPECT_EQ(xbase::d4recCount(data), 0);
      for (const auto& check : xbase::detail::CheckTags(data)) EXPECT_TRUE(check.Problems().empty()) << check.name;
      xbase::d4close(data);
    } else {
      EXPECT_EQ(data, 0);
      EXPECT_EQ(ReadBytes(dbf), c.bytes);
    }
    for (const auto& entry : fs::directory_iterator(course_)) fs::remove(entry.path());
  }
  EXPECT_TRUE(BoxTexts().empty());

  // A memo file beside an empty data file may hold the texts of rows lost with it: it
  // is kept.
  CopyFixture("quests", course_);
  tolvarin_test::WriteBytes(course_ / "quests.dbf", {});
  const xbase::Data4 data = OpenTable((course_ / "quests.dbf").string(), 0, false, true);
  ASSERT_NE(data, 0);
  xbase::d4close(data);
  EXPECT_EQ(ReadBytes(course_ / "quests_memo_1.fpt"), ReadBytes(Fixtures() / "quests.fpt"));
  EXPECT_EQ(ReadBytes(course_ / "quests.fpt"), ReadBytes(blank_ / "quests.fpt"));
}

TEST_F(OpenTableTest, CopyAndDeleteTableFilesAsASet) {
  const fs::path to = temp_.path() / "to";
  fs::create_directories(to);
  CopyFixture("quests", course_);
  CopyFixture("users", course_);
  testing_support::WriteFile(to / "users.dbf", "old");
  CopyTableFiles(course_.string(), to.string(), "quests");
  CopyTableFiles(course_.string(), to.string(), "users");
  for (const char* file : {"quests.dbf", "quests.cdx", "quests.fpt", "users.dbf", "users.cdx"})
    EXPECT_EQ(ReadBytes(to / file), ReadBytes(course_ / file)) << file;
  EXPECT_FALSE(fs::exists(to / "users.fpt"));

  DeleteTableFiles(to.string(), "quests");
  DeleteTableFiles(to.string(), "USERS");
  EXPECT_TRUE(fs::is_empty(to));
}

TEST_F(OpenTableTest, ReportOpenFailureNamesTheLastPathFor15001Only) {
  CopyFixture("users", course_);
  MakeBlank("users");
  const xbase::Data4 data = OpenTable((course_ / "users.dbf").string(), 0, true, false);
  ASSERT_NE(data, 0);
  xbase::d4close(data);
  ReportOpenFailure(15000);
  EXPECT_TRUE(BoxTexts().empty());
  ReportOpenFailure(15001);
  const auto texts = BoxTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "Unable to open file " + (course_ / "users.dbf").string() + ". The file is missing or in use.");
  EXPECT_EQ(Engine().LastEngineCode, 1);
}

// A table the system refuses to open is not touched: the user is told. Run as
// another user in a child process, so that permissions apply even to root.
TEST_F(OpenTableTest, UnreadableTableGivesTheAccessMessageAndIsNotRepaired) {
  CopyFixture("users", course_);
  MakeBlank("users");
  const fs::path dbf = course_ / "users.dbf";
  const auto before = ReadBytes(dbf);
  fs::permissions(dbf, fs::perms::none);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && setuid(65534) != 0) _exit(10);
    const xbase::Data4 data = OpenTable(dbf.string());
    if (data != 0) _exit(11);
    const auto texts = BoxTexts();
    if (texts.size() != 1) _exit(12);
    const std::string expected = "The program could not access the file: " + dbf.string() +
                                 "\r\n\r\nIt is possible that your account does not have full permissions for this file.";
    if (texts[0] != expected) _exit(13);
    if (presenter_->Shown()[0].box.icon != kIconStop) _exit(14);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  fs::permissions(dbf, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ReadBytes(dbf), before);
  EXPECT_FALSE(fs::exists(course_ / "users_fix.dbf"));
}

}  // namespace
}  // namespace tolvarin
