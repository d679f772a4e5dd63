#include "engine/transfer/node_matching.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/standards.h"
#include "data/standards_folder_fixture.h"

namespace tolvarin {
namespace {

using testing_support::Node;
using testing_support::StandardsFolder;

std::string Key(long node) { return StandardKeyString(1, static_cast<std::int32_t>(node)); }

// The backup's teacher nodes: 20001 under the publisher's node 7, 20002 under 20001.
const std::vector<Node> kBackup = {{1, 7, 0, 1, "Cells"}, {1, 20001, 7, 1, "My unit"}, {1, 20002, 20001, 1, "My lesson"}};

TEST(MatchNodesAlreadyThere, FindsTheNodesARestoreCopiedBeforeByTheirPlaceInTheTree) {
  const struct {
    const char* name;
    std::vector<Node> course;
    std::map<std::string, std::string> expected;
    std::vector<Node> backup = kBackup;
    std::vector<std::string> keys = {Key(20002), Key(20001)};  // child first, as the selection lists them
  } cases[] = {
      {"under the same numbers", kBackup, {{Key(20001), Key(20001)}, {Key(20002), Key(20002)}}},
      {"under other numbers, beside another node of the first number",
       {{1, 7, 0, 1, "Cells"}, {1, 20001, 7, 2, "Someone else's"}, {1, 20031, 7, 1, "My unit"},
        {1, 20032, 20031, 1, "My lesson"}},
       {{Key(20001), Key(20031)}, {Key(20002), Key(20032)}}},
      {"a lesson under another unit is another lesson",
       {{1, 7, 0, 1, "Cells"}, {1, 20005, 7, 1, "Other unit"}, {1, 20002, 20005, 1, "My lesson"}},
       {}},
      {"a node of the same text in another order is another node", {{1, 7, 0, 1, "Cells"}, {1, 20001, 7, 2, "My unit"}},
       {}},
      {"only the unit is there yet (a run killed after it)", {{1, 7, 0, 1, "Cells"}, {1, 20001, 7, 1, "My unit"}},
       {{Key(20001), Key(20001)}}},
      {"two backup nodes alike meet the one there once",
       {{1, 7, 0, 1, "Cells"}, {1, 20001, 7, 1, "My unit"}},
       {{Key(20001), Key(20001)}},
       {{1, 7, 0, 1, "Cells"}, {1, 20001, 7, 1, "My unit"}, {1, 20003, 7, 1, "My unit"}},
       {Key(20001), Key(20003)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StandardsFolder backup, course;
    backup.Fill(c.backup, {});
    course.Fill(c.course, {});
    EXPECT_EQ(MatchNodesAlreadyThere(backup.nodes, course.nodes, c.keys), c.expected);
  }
}

}  // namespace
}  // namespace tolvarin
