#include "construction/classification.h"

#include <memory>

#include "construction/table_swap.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "data/category_table.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/standards.h"

namespace tolvarin {
namespace {

bool SeekNumber(xbase::Data4 data, xbase::Tag4 tag, std::int32_t value) {
  xbase::d4tagSelect(data, tag);
  return xbase::d4seekDouble(data, value) == xbase::kSuccess;
}

bool HasOldClassification(const std::string& folder) {
  for (const char* level : {"units", "chapters", "topics", "subtopic"}) {
    if (!TableFileExists(folder, level)) return false;
  }
  return true;
}

}  // namespace

void AddStanQuesRow(const StanQuesRecord& links, std::int32_t tree, std::int32_t node, std::int32_t question) {
  if (links.Data == 0) return;
  if (SeekNumber(links.Data, links.Quest_idTag, question)) {
    do {
      if (xbase::f4long(links.Tree_id) == tree && xbase::f4long(links.Node_id) == node) return;
    } while (xbase::d4skip(links.Data, 1) == xbase::kSuccess && !xbase::d4eof(links.Data) &&
             xbase::f4long(links.Quest_id) == question);
  }
  xbase::d4tagSelect(links.Data, 0);
  AppendBlank(links.Data);
  xbase::f4assignLong(links.Tree_id, tree);
  xbase::f4assignLong(links.Node_id, node);
  xbase::f4assignLong(links.Quest_id, question);
  Engine().LastEngineCode = xbase::d4append(links.Data);
}

void ConvertClassification(const std::string& folder) {
  WriteLog("Copying old UCTS structure");
  StandardRecord nodes;
  OpenStandardTable(folder, "", nodes);
  if (nodes.Data == 0) return;
  AppendBlank(nodes.Data);
  xbase::f4assignLong(nodes.Tree_id, 1);
  xbase::f4assignLong(nodes.Node_id, 1);
  xbase::f4assignLong(nodes.Parent_id, 0);
  xbase::f4assignLong(nodes.Order, 0);
  f4assign(nodes.Descript, "Corvane Classification");
  Engine().LastEngineCode = xbase::d4append(nodes.Data);  // the unique key refuses a second root

  QuestsRecord quests;
  StanQuesRecord links;
  OpenQuestsTable(folder, quests);
  OpenStanQuesTable(folder, links);
  // The old outline is opened only when a subtopic has no node of its number.
  std::unique_ptr<CategoryTable> units;
  CategoryTable* subtopics = nullptr;
  if (quests.Data != 0 && links.Data != 0) {
    xbase::d4tagSelect(quests.Data, 0);
    for (int rc = xbase::d4top(quests.Data); rc == xbase::kSuccess; rc = xbase::d4skip(quests.Data, 1)) {
      if (xbase::d4deleted(quests.Data)) continue;
      const std::string subtopic = f4str(quests.SubTopicID);
      const std::int32_t value = static_cast<std::int32_t>(TextValue(subtopic));
      std::int32_t node = 0;
      if (SeekTag(nodes.Data, nodes.StandardIDTag, StandardKeyString(1, value))) {
        node = value;
      } else {
        if (!units && HasOldClassification(folder)) {
          units = std::make_unique<CategoryTable>();
          units->InitAsUnitsTable(folder);
          subtopics = units->Child() && units->Child()->Child() ? units->Child()->Child()->Child() : nullptr;
        }
        if (subtopics != nullptr && subtopics->TableHandle() != 0 &&
            SeekTag(subtopics->TableHandle(), subtopics->IdTag(), subtopic)) {
          node = subtopics->GetMapping(value);
        }
      }
      if (node > 0) AddStanQuesRow(links, 1, node, static_cast<std::int32_t>(TextValue(f4str(quests.Quest_id))));
    }
  }
  units.reset();
  CloseTableRecord(links);
  CloseTableRecord(quests);
  CloseTableRecord(nodes);
}

}  // namespace tolvarin
