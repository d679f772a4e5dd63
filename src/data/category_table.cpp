#include "data/category_table.h"

#include <array>

#include "core/paths.h"
#include "core/strings.h"
#include "core/text_cipher.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/record_ops.h"
#include "data/standards.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

constexpr std::int32_t kUnitRootParent = 1;  // a unit's node hangs under node 1 of tree 1
constexpr std::int32_t kStandardsTree = 1;
constexpr std::int32_t kUnnumberedOrderBase = 800;

bool SkippedIdentifier(std::int32_t id) { return id == 999 || id == 998; }

}  // namespace

CategoryTable::~CategoryTable() {
  child_.reset();
  CloseTable(data_);
}

void CategoryTable::Init(const std::string& folder, CategoryTable* parent, const LevelNames& level) {
  CloseTable(data_);
  data_ = OpenTable(JoinPath(folder, level.file), 0, false, false);
  tableName_ = level.name;
  parent_ = parent;
  base_ = level.base;
  idField_ = xbase::d4field(data_, level.idField);
  idTag_ = xbase::d4tag(data_, level.idField);
  parentField_ = level.parentField ? xbase::d4field(data_, level.parentField) : 0;
  parentTag_ = level.parentField ? xbase::d4tag(data_, level.parentField) : 0;
  descriptionField_ = xbase::d4field(data_, "descript");
  descriptionTag_ = xbase::d4tag(data_, "descript");
  unnumberedCounts_.clear();
  DetectNumberingStyle();
}

void CategoryTable::InitAsUnitsTable(const std::string& folder) {
  Init(folder, nullptr, {"units.dbf", "units", 1000, "unit_id", nullptr});
  child_ = std::make_unique<CategoryTable>();
  child_->InitAsChaptersTable(folder, this);
}

void CategoryTable::InitAsChaptersTable(const std::string& folder, CategoryTable* parent) {
  Init(folder, parent, {"chapters.dbf", "chapters", 2000, "chapter_id", "unit_id"});
  child_ = std::make_unique<CategoryTable>();
  child_->InitAsTopicsTable(folder, this);
}

void CategoryTable::InitAsTopicsTable(const std::string& folder, CategoryTable* parent) {
  Init(folder, parent, {"topics.dbf", "topics", 3000, "topic_id", "chapter_id"});
  child_ = std::make_unique<CategoryTable>();
  child_->InitAsSubTopicTable(folder, this);
}

void CategoryTable::InitAsSubTopicTable(const std::string& folder, CategoryTable* parent) {
  Init(folder, parent, {"subtopic.dbf", "subtopic", 4000, "subtopicid", "topic_id"});
  child_.reset();
}

std::int32_t CategoryTable::GetMapping(std::int32_t id) const { return id + base_; }

void CategoryTable::DetectNumberingStyle() {
  static constexpr std::array<std::array<const char*, 3>, 3> kStyles{{
      {"1", "2", "3"},
      {"A", "B", "C"},
      {"I", "II", "III"},
  }};
  std::array<std::array<bool, 3>, 3> found{};
  numberingStyle_ = ' ';
  if (data_ == 0) return;

  xbase::d4tagSelect(data_, descriptionTag_);
  int code = xbase::d4top(data_);
  while (code == xbase::kSuccess) {
    const std::string head = Trim(tolvarin::f4str(descriptionField_)).substr(0, 6);
    if (head.find_first_of(").") != std::string::npos) {
      for (std::size_t s = 0; s < kStyles.size(); ++s) {
        for (std::size_t l = 0; l < 3; ++l) {
          if (head.starts_with(kStyles[s][l])) found[s][l] = true;
        }
      }
      for (std::size_t s = 0; s < kStyles.size(); ++s) {
        if (found[s][0] && found[s][1] && found[s][2]) {
          numberingStyle_ = kStyles[s][0][0];
          return;
        }
      }
    }
    code = xbase::d4skip(data_, 1);
  }
}

std::string CategoryTable::GetTrimmedDescription(std::int32_t& sortOrder) { return TrimDescription(sortOrder, true); }

std::string CategoryTable::TrimDescription(std::int32_t& sortOrder, bool countUnnumbered) {
  const std::string text = Trim(tolvarin::f4str(descriptionField_));
  const std::string head = text.substr(0, 6);
  std::size_t labelEnd = head.find('.');
  if (labelEnd == std::string::npos) labelEnd = head.find(')');
  if (labelEnd == std::string::npos) labelEnd = head.find(' ');

  sortOrder = 0;
  if (labelEnd != std::string::npos) {
    sortOrder = ParseOutlineNumber(std::string(1, numberingStyle_), text.substr(0, labelEnd));
  }
  if (sortOrder > 0) return Trim(text.substr(labelEnd + 1));

  const std::string parentKey = parentField_ != 0 ? tolvarin::f4str(parentField_) : std::string("0000000");
  std::int32_t& count = unnumberedCounts_[parentKey];
  if (countUnnumbered) ++count;
  sortOrder = kUnnumberedOrderBase + count;
  return text;
}

void CategoryTable::CopyToStandard() { CopyToStandardTree(Catalogue().Standard); }

bool CategoryTable::CopyToStandardTree(const StandardRecord& nodes) {
  if (data_ == 0 || nodes.Data == 0) return true;
  bool written = true;
  xbase::d4tagSelect(data_, idTag_);
  // The walk follows this level's own moves only: a parent lookup that finds
  // nothing must not end the copy early.
  int code = Engine().LastEngineCode = xbase::d4top(data_);
  while (code == xbase::kSuccess) {
    const auto id = static_cast<std::int32_t>(xbase::f4long(idField_));
    if (!SkippedIdentifier(id)) {
      const std::int32_t nodeID = GetMapping(id);
      std::int32_t order = 0;
      const std::string description = GetTrimmedDescription(order);
      bool copy = true;

      // A subtopic that only repeats its topic adds nothing to the tree.
      if (!child_ && parent_ != nullptr && parent_->data_ != 0) {
        if (SeekTag(parent_->data_, parent_->idTag_, tolvarin::f4str(parentField_))) {
          std::int32_t parentOrder = 0;
          if (EqualsNoCase(parent_->TrimDescription(parentOrder, false), description)) copy = false;
        }
      }
      if (copy && EqualsNoCase(description, "major exams")) copy = false;
      // A node the table holds already (an earlier copy) is not written twice, also
      // where the table's key was not made to refuse it.
      if (copy && HoldsNode(nodes, kStandardsTree, nodeID)) copy = false;

      if (copy) {
        const std::int32_t parentNode =
            parent_ != nullptr ? parent_->GetMapping(static_cast<std::int32_t>(xbase::f4long(parentField_)))
                               : kUnitRootParent;
        AppendBlank(nodes.Data);
        xbase::f4assignLong(nodes.Tree_id, kStandardsTree);
        xbase::f4assignLong(nodes.Node_id, nodeID);
        xbase::f4assignLong(nodes.Parent_id, parentNode);
        xbase::f4assignLong(nodes.Order, order);
        tolvarin::f4assign(nodes.Descript, description);
        Engine().LastEngineCode = xbase::d4append(nodes.Data);
        written = written && Engine().LastEngineCode == xbase::kSuccess;
      }
    }
    code = Engine().LastEngineCode = xbase::d4skip(data_, 1);
  }
  return written;
}

}  // namespace tolvarin
