// A transfer killed while it writes the destination leaves every table openable and
// clean after the automatic repair, with every row the destination held before.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "construction/schema.h"
#include "core/settings.h"
#include "data/open_table.h"
#include "data/table_registry.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/row_copy.h"
#include "engine/transfer/selection.h"
#include "platform/xbase/tag_check.h"
#include "transfer_fixture.h"
#include "transfer_run.h"

namespace transfer_test {
namespace {

namespace fs = std::filesystem;
using namespace tolvarin;

class KilledCopyTest : public TransferTest {};

TEST_F(KilledCopyTest, EveryTableOpensCleanAndKeepsItsRowsAfterAKill) {
  const auto made = Fresh({.seed = 1, .questions = 2000});
  int kills = 0;
  // Kill points: rows of the source's questions already appended to the destination.
  for (const std::uintmax_t rows : {20u, 400u, 1500u}) {
    SCOPED_TRACE("killed after about " + std::to_string(rows) + " questions");
    const std::string dest = course_maker::AddCourse(made.install, "Target" + std::to_string(rows), 5, "Target");
    const auto own = course_maker::FillCourse(dest, {.seed = 2, .questions = 300});
    std::set<std::int32_t> deleted;  // rows the teacher deleted may go with a repair
    for (const auto& q : own.questions)
      if (q.deleted) deleted.insert(q.id);
    std::map<std::string, std::size_t> before;
    for (const auto& def : TableDefs())
      if (!def.Skip && def.Kind == kKindCourse) before[def.TableName] = ReadRows(dest, def.TableName).size();
    const auto questionsBefore = ReadRows(dest, "quests");
    const std::uintmax_t start = fs::file_size(dest + "/quests.dbf");
    UseCourse(made.install, dest);
    Settings().Operation = 2;

    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      OpenSource(made.install.course);
      OpenDestination(dest);
      SelectAllRecords();
      if (BuildMappings()) CopyTables();
      _exit(0);
    }
    // Record length of quests: 1 + the fields' widths.
    const std::uintmax_t threshold = start + rows * 135;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
      if (waitpid(child, &status, WNOHANG) == child) {
        ended = true;
        break;
      }
      std::error_code ec;
      if (fs::file_size(dest + "/quests.dbf", ec) >= threshold) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (!ended) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    }
    if (WIFSIGNALED(status)) ++kills;

    for (const auto& [table, count] : before) {
      const std::string path = dest + "/" + table + ".dbf";
      xbase::Data4 data = OpenTable(path);
      ASSERT_NE(data, 0) << table;
      for (const auto& check : xbase::detail::CheckTags(data))
        EXPECT_TRUE(check.Problems().empty()) << table << ": " << check.Line();
      CloseTable(data);
      EXPECT_GE(ReadRows(dest, table).size() + (table == "quests" ? deleted.size() : 0), count) << table;
    }
    // A repaired table holds "0" where a character field was blank (the repair's copy).
    const auto normal = [](Row row) {
      for (auto& [name, value] : row)
        if (value == "0") value.clear();
      return row;
    };
    std::vector<Row> after;
    for (const Row& row : ReadRows(dest, "quests")) after.push_back(normal(row));
    for (const Row& row : questionsBefore)
      if (!deleted.count(Num(row.at("quest_id")))) {
        EXPECT_TRUE(std::find(after.begin(), after.end(), normal(row)) != after.end()) << row.at("quest_id");
      }
  }
  EXPECT_GE(kills, 1);
}

}  // namespace
}  // namespace transfer_test
