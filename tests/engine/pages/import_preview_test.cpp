// The import preview's lists, read from the maps of a real import before the copy.
#include "engine/pages/import_preview.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/settings.h"
#include "core/strings.h"
#include "data/key_text.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/table_mapping.h"
#include "../transfer/transfer_fixture.h"
#include "../transfer/transfer_run.h"

namespace transfer_test {
namespace {

using namespace tolvarin;

struct ListSource {
  std::int32_t kind;
  const char* table;
  const char* idField;
  const char* nameField;
};
// The lists in their order, with the table each one names its rows from.
constexpr ListSource kLists[] = {{11, "students", "student_id", "last_name"},
                                 {10, "classes", "class_id", "section"},
                                 {7, "sessions", "session_id", "name"},
                                 {13, "templates", "templateid", "name"},
                                 {5, "exams", "exam_id", "name"}};

class ImportPreviewTest : public TransferTest {};

// Kept identifiers (REMAPNOTHING) land on the destination's own rows; the default mode
// gives new ones: either way the names are those of the rows that arrive.
TEST_F(ImportPreviewTest, EntriesNameTheArrivingRowsAndMarkTheRowsTheyReplace) {
  for (const long mode : {1L, 3L}) {
    SCOPED_TRACE(mode);
    Settings().ImportMode = mode;
    course_maker::MadeCourse made;
    const std::string dest = MapImport(200, made);
    int replacing = 0;
    int renamed = 0;
    for (int index = 0; index < 5; ++index) {
      const ListSource& l = kLists[index];
      ASSERT_EQ(kPreviewListKinds[static_cast<std::size_t>(index)], l.kind);
      std::set<std::int32_t> destIds;  // the live rows: one marked deleted is replaced by no one's
      for (const Row& r : ReadLiveRows(dest, l.table)) destIds.insert(Num(r.at(l.idField)));
      std::map<std::int32_t, PreviewEntry> want;
      for (const Row& r : ReadRows(made.install.course, l.table)) {
        const std::int32_t old = Num(r.at(l.idField));
        const std::int32_t id = LookupNewID(l.kind, old);
        std::string text = r.at(l.nameField);
        if (id <= 0 || (l.kind == 13 && text.rfind('%', 0) == 0)) continue;
        if (l.kind == 11) text += ", " + PadRight(r.at("first_name"), 16);
        // A graded session's activity ("0000003%") arrives named after the session's new identifier.
        if (l.kind == 13 && text.size() == 8 && text.back() == '%') {
          const std::int32_t session = LookupNewID(7, Num(text.substr(0, 7)));
          renamed += session != Num(text.substr(0, 7));
          text = FormatID(session) + "%";
        }
        want[old] = {text, destIds.count(id) > 0};
      }
      const std::vector<PreviewEntry> got = ImportedItems(index);
      ASSERT_EQ(got.size(), want.size()) << l.table;
      ASSERT_FALSE(got.empty()) << l.table;
      auto it = want.begin();
      for (const PreviewEntry& e : got) {
        EXPECT_EQ(e.text, it->second.text) << l.table << " " << it->first;
        EXPECT_EQ(e.replacing, it->second.replacing) << l.table << " " << it->first;
        replacing += e.replacing;
        ++it;
      }
    }
    if (mode == 3) {
      EXPECT_GT(replacing, 0);
    } else {
      EXPECT_GT(renamed, 0);
    }

    std::vector<std::string> lines;
    const IdMap& map = Mapping(kQuestsTable).IDMap;
    for (std::int32_t old = map.low(); old <= map.high(); ++old)
      if (map.Get(old) > 0) lines.push_back(FormatID(old) + "       ->        " + FormatID(map.Get(old)));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(MappedQuestionLines(), lines);
    EXPECT_EQ(PreviewMessage(), "The following data will be imported into " + dest);
    EXPECT_TRUE(ImportedItems(5).empty());
    EXPECT_TRUE(ImportedItems(-1).empty());
    TearDown();
    SetUp();
  }
}

TEST_F(ImportPreviewTest, AQuestionMapOfNothingShowsNoLines) {
  course_maker::MadeCourse made;
  MapImport(100, made);
  Mapping(kQuestsTable).IDMap.Clear();
  EXPECT_TRUE(MappedQuestionLines().empty());
  EXPECT_EQ(PreviewItemText({"Period 1", true}), std::string("Period 1") + kPreviewReplacingMark);
  EXPECT_EQ(PreviewItemText({"Period 1", false}), "Period 1");
}

}  // namespace
}  // namespace transfer_test
