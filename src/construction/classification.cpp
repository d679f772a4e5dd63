#include "construction/classification.h"

#include <memory>
#include <set>

#include "construction/construction_run.h"
#include "construction/table_swap.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
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
    if (HoldsNode(nodes, 1, node)) return node;
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
    if (!HoldsNode(nodes, 1, node)) return false;
  }
  return true;
}

// The root of tree 1 as the conversion writes it: a node of that place and text is
// the conversion's, not a node the folder held.
constexpr const char* kRootText = "Corvane Classification";

bool IsConvertedRoot(const StandardRecord& nodes) {
  return xbase::f4long(nodes.Node_id) == 1 && xbase::f4long(nodes.Parent_id) == 0 &&
         Trim(f4str(nodes.Descript)) == kRootText;
}

// Copies folder/<name>.* into the stage, or the blank table where the folder has
// none; false unless the copy holds every row.
bool StageTable(const std::string& folder, const std::string& stage, const std::string& name) {
  if (!TableFileExists(folder, name)) {
    return PlaceBlankTable(JoinPath(Paths().DatabasesRoot, "Blank"), stage, name);
  }
  CopyFilesByPattern(JoinPath(FindPath(folder), name + ".*"), stage, true, false);
  xbase::Data4 original = OpenForUpgrade(TableFilePath(folder, name, ".dbf"));
  xbase::Data4 copy = OpenForUpgrade(TableFilePath(stage, name, ".dbf"));
  const bool whole = original != 0 && copy != 0 && xbase::d4recCount(original) == xbase::d4recCount(copy);
  if (original != 0) CloseTable(original);
  if (copy != 0) CloseTable(copy);
  return whole;
}

}  // namespace

bool AddStanQuesRow(const StanQuesRecord& links, std::int32_t tree, std::int32_t node, std::int32_t question) {
  if (links.Data == 0) return false;
  const auto same = [&] {
    return !xbase::d4deleted(links.Data) && xbase::f4long(links.Tree_id) == tree &&
           xbase::f4long(links.Node_id) == node && xbase::f4long(links.Quest_id) == question;
  };
  if (links.Quest_idTag != 0) {
    if (SeekNumber(links.Data, links.Quest_idTag, question)) {
      do {
        if (same()) return true;
      } while (xbase::d4skip(links.Data, 1) == xbase::kSuccess && !xbase::d4eof(links.Data) &&
               xbase::f4long(links.Quest_id) == question);
    }
  } else {
    xbase::d4tagSelect(links.Data, 0);
    for (int rc = xbase::d4top(links.Data); rc == xbase::kSuccess; rc = xbase::d4skip(links.Data, 1)) {
      if (same()) return true;
    }
  }
  xbase::d4tagSelect(links.Data, 0);
  AppendBlank(links.Data);
  xbase::f4assignLong(links.Tree_id, tree);
  xbase::f4assignLong(links.Node_id, node);
  xbase::f4assignLong(links.Quest_id, question);
  Engine().LastEngineCode = xbase::d4append(links.Data);
  return Engine().LastEngineCode == xbase::kSuccess;
}

bool ConvertClassification(const std::string& folder, const std::string& stage) {
  WriteLog("Copying old UCTS structure");
  if (stage.empty() || !CreateFolderTree(stage)) return false;
  DeleteFolderFiles(stage, false, "");
  if (!StageTable(folder, stage, "standard") || !StageTable(folder, stage, "StanQues")) return false;

  StandardRecord nodes;
  OpenStandardTable(stage, "", nodes);
  if (nodes.Data == 0) return false;
  // Nodes of tree 1 the folder held: a subtopic of such a number is that node.
  std::set<std::int32_t> heldNodes;
  xbase::d4tagSelect(nodes.Data, 0);
  for (int rc = xbase::d4top(nodes.Data); rc == xbase::kSuccess; rc = xbase::d4skip(nodes.Data, 1)) {
    if (!xbase::d4deleted(nodes.Data) && xbase::f4long(nodes.Tree_id) == 1 && !IsConvertedRoot(nodes)) {
      heldNodes.insert(static_cast<std::int32_t>(xbase::f4long(nodes.Node_id)));
    }
  }
  bool written = true;
  if (!HoldsNode(nodes, 1, 1)) {
    AppendBlank(nodes.Data);
    xbase::f4assignLong(nodes.Tree_id, 1);
    xbase::f4assignLong(nodes.Node_id, 1);
    xbase::f4assignLong(nodes.Parent_id, 0);
    xbase::f4assignLong(nodes.Order, 0);
    f4assign(nodes.Descript, kRootText);
    Engine().LastEngineCode = xbase::d4append(nodes.Data);
    written = Engine().LastEngineCode == xbase::kSuccess;
  }

  // The old outline becomes the nodes of tree 1 (nodes there already are left).
  std::unique_ptr<CategoryTable> units;
  CategoryTable* subtopics = nullptr;
  if (HasOldClassification(folder)) {
    units = std::make_unique<CategoryTable>();
    units->InitAsUnitsTable(folder);
    for (CategoryTable* level = units.get(); level != nullptr; level = level->Child()) {
      written = level->CopyToStandardTree(nodes) && written;
      subtopics = level;
    }
  }

  QuestsRecord quests;
  StanQuesRecord links;
  OpenQuestsTable(folder, quests);
  OpenStanQuesTable(stage, links);
  bool linked = quests.Data != 0 && links.Data != 0;
  if (linked) {
    xbase::d4tagSelect(quests.Data, 0);
    for (int rc = xbase::d4top(quests.Data); rc == xbase::kSuccess; rc = xbase::d4skip(quests.Data, 1)) {
      if (xbase::d4deleted(quests.Data)) continue;
      const std::string subtopic = f4str(quests.SubTopicID);
      const std::int32_t value = static_cast<std::int32_t>(TextValue(subtopic));
      if (value <= 0) continue;
      const std::int32_t node = heldNodes.count(value) ? value : NodeOfOutlineRow(subtopics, subtopic, nodes);
      if (node <= 0) continue;
      written = AddStanQuesRow(links, 1, node, static_cast<std::int32_t>(TextValue(f4str(quests.Quest_id)))) && written;
    }
    linked = EveryLinkResolves(links, nodes);
  }
  units.reset();
  CloseTableRecord(links);
  CloseTableRecord(quests);
  CloseTableRecord(nodes);
  return written && linked;
}

}  // namespace tolvarin
