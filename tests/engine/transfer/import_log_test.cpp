// The import log: its block from a real import's maps, appending, and a file that
// cannot be written.
#include "engine/transfer/import_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "core/paths.h"
#include "core/settings.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/table_mapping.h"
#include "support/test_support.h"
#include "transfer_fixture.h"

namespace transfer_test {
namespace {

namespace fs = std::filesystem;
using namespace tolvarin;

class ImportLogTest : public TransferTest {};

std::string Pairs(const IdMap& map) {
  std::string text;
  for (std::int32_t old = map.low(); !map.Empty() && old <= map.high(); ++old)
    if (map.Get(old) != 0) text += ImportLogPair(old, map.Get(old)) + "\r\n";
  return text;
}

TEST_F(ImportLogTest, PairsAreWrittenAsAPrintListOfTwoNumbers) {
  struct Case {
    long oldID, newID;
    const char* line;
  };
  for (const Case& c : {Case{12, 20001, " 12  20001 "}, Case{7, 7, " 7  7 "}, Case{-3, 4, "-3  4 "}, Case{5, -1, " 5 -1 "}})
    EXPECT_EQ(ImportLogPair(c.oldID, c.newID), c.line);
}

TEST_F(ImportLogTest, EachImportAppendsOneBlockOfItsMaps) {
  course_maker::MadeCourse made;
  const std::string dest = MapImport(200, made);
  const std::string pairs = Pairs(Mapping(kQuestsTable).IDMap);
  ASSERT_FALSE(pairs.empty());
  ASSERT_FALSE(Pairs(ImageMap()).empty());
  const std::string block = ImportLogBlock("Ann Teacher", "2026-12-11 03:04:05");
  EXPECT_EQ(block, "-----------------------------------------------------\r\nDate:2026-12-11 03:04:05\r\n"
                   "Imported by: Ann Teacher\r\nQUESTS\r\n" + pairs + "DESCRIPT\r\n" +
                       Pairs(Mapping(kDescriptTable).IDMap) + "Images\r\n" + Pairs(ImageMap()));

  EXPECT_EQ(GetImportLogPath(), dest + "/importlog.txt");
  const std::size_t shown = presenter_->Shown().size();
  presenter_->Push("Ann Teacher");
  presenter_->Push("");  // the second operator cancels the name
  ASSERT_TRUE(WriteImportLog());
  ASSERT_TRUE(WriteImportLog());
  ASSERT_EQ(presenter_->Shown().size(), shown + 2);
  EXPECT_EQ(presenter_->Shown()[shown].kind, "Input");
  EXPECT_EQ(presenter_->Shown()[shown].box.title, kImportLogTitle);
  EXPECT_EQ(presenter_->Shown()[shown].box.text, kImportLogPrompt);
  const std::string text = testing_support::ReadFile(GetImportLogPath());
  const std::regex shape("-{53}\r\nDate:\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\nImported by: Ann Teacher\r\nQUESTS\r\n[\\s\\S]*"
                         "-{53}\r\nDate:[^\r]*\r\nImported by: \r\nQUESTS\r\n[\\s\\S]*");
  EXPECT_TRUE(std::regex_match(text, shape));
  const std::size_t second = text.find("\r\n-----") + 2;
  ASSERT_GT(second, 2u);
  EXPECT_EQ(text.substr(text.find("QUESTS"), second - text.find("QUESTS")), block.substr(block.find("QUESTS")));
  EXPECT_EQ(text.substr(text.find("QUESTS", second)), block.substr(block.find("QUESTS")));

  // A migration logs into its target course; a log that cannot be written is said and not fatal.
  Settings().ImportMode = 6;
  Paths().BackupPath = temp_.path().string();
  EXPECT_EQ(GetImportLogPath(), temp_.path().string() + "/importlog.txt");
  fs::create_directory(temp_.path() / "importlog.txt");
  EXPECT_FALSE(WriteImportLog());
  EXPECT_EQ(presenter_->Shown().back().box.text,
            "The import log \"" + GetImportLogPath() + "\" could not be written. The import goes on without it.");
}

}  // namespace
}  // namespace transfer_test
