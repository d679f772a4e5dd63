#include "construction/classification.h"

#include <memory>
#include <set>

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

// The node of tree 1 a row of the old outline lives under: its own node, or, when
// its level did not copy it (a subtopic repeating its topic, a skipped item), the
// node of the nearest level above that holds it. 0 when there is none.
std::int32_t NodeOfOutlineRow(CategoryTable* level, const std::string& id, const StandardRecord& nodes) {
  std::string key = id;
  for (; level != nullptr && level->TableHandle() != 0; level = level->Parent()) {
    if (!SeekTag(level->TableHandle(), level->IdTag(), key)) return 0;
    const std::int32_t node = level->GetMapping(static_cast<std::int32_t>(TextValue(key)));
    if (SeekTag(nodes.Data, nodes.StandardIDTag, StandardKeyString(1, node))) return node;
    if (level->ParentField() == 0) return 0;
    key = f4str(level->ParentField());
  }
  return 0;
}

// Every link of tree 1 names a node the table holds.
bool EveryLinkResolves(const StanQuesRecord& links, const StandardRecord& nodes) {
  xbase::d4tagSelect(links.Data, 0);
  for (int rc = xbase::d4top(links.Data); rc == xbase::kSuccess; rc = xbase::d4skip(links.Data, 1)) {
    if (xbase::d4deleted(links.Data) || xbase::f4long(links.Tree_id) != 1) continue;
    const auto node = static_cast<std::int32_t>(xbase::f4long(links.Node_id));
    if (!SeekTag(nodes.Data, nodes.StandardIDTag, StandardKeyString(1, node))) return false;
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

bool ConvertClassification(const std::string& folder) {
  WriteLog("Copying old UCTS structure");
  StandardRecord nodes;
  OpenStandardTable(folder, "", nodes);
  if (nodes.Data == 0) return true;
  // Nodes of tree 1 the folder held before: a subtopic of such a number is that node.
  std::set<std::int32_t> heldNodes;
  xbase::d4tagSelect(nodes.Data, 0);
  for (int rc = xbase::d4top(nodes.Data); rc == xbase::kSuccess; rc = xbase::d4skip(nodes.Data, 1)) {
    if (!xbase::d4deleted(nodes.Data) && xbase::f4long(nodes.Tree_id) == 1) {
      heldNodes.insert(static_cast<std::int32_t>(xbase::f4long(nodes.Node_id)));
    }
  }
  AppendBlank(nodes.Data);
  xbase::f4assignLong(nodes.Tree_id, 1);
  xbase::f4assignLong(nodes.Node_id, 1);
  xbase::f4assignLong(nodes.Parent_id, 0);
  xbase::f4assignLong(nodes.Order, 0);
  f4assign(nodes.Descript, "Corvane Classification");
  Engine().LastEngineCode = xbase::d4append(nodes.Data);  // the unique key refuses a second root

  // The old outline becomes the nodes of tree 1 (a second run's copies are refused
  // by the unique key).
  std::unique_ptr<CategoryTable> units;
  CategoryTable* subtopics = nullptr;
  if (HasOldClassification(folder)) {
    units = std::make_unique<CategoryTable>();
    units->InitAsUnitsTable(folder);
    for (CategoryTable* level = units.get(); level != nullptr; level = level->Child()) {
      level->CopyToStandardTree(nodes);
      subtopics = level;
    }
  }

  QuestsRecord quests;
  StanQuesRecord links;
  OpenQuestsTable(folder, quests);
  OpenStanQuesTable(folder, links);
  bool linked = true;
  if (quests.Data != 0 && links.Data != 0) {
    xbase::d4tagSelect(quests.Data, 0);
    for (int rc = xbase::d4top(quests.Data); rc == xbase::kSuccess; rc = xbase::d4skip(quests.Data, 1)) {
      if (xbase::d4deleted(quests.Data)) continue;
      const std::string subtopic = f4str(quests.SubTopicID);
      const std::int32_t value = static_cast<std::int32_t>(TextValue(subtopic));
      if (value <= 0) continue;
      const std::int32_t node = heldNodes.count(value) ? value : NodeOfOutlineRow(subtopics, subtopic, nodes);
      if (node > 0) AddStanQuesRow(links, 1, node, static_cast<std::int32_t>(TextValue(f4str(quests.Quest_id))));
    }
    linked = EveryLinkResolves(links, nodes);
  }
  units.reset();
  CloseTableRecord(links);
  CloseTableRecord(quests);
  CloseTableRecord(nodes);
  return linked;
}

}  // namespace tolvarin
