#pragma once
// One level of the old four-level classification outline (units, chapters, topics,
// subtopics), chained to the level above and below. It maps the old identifiers into
// standards tree 1, strips outline labels ("A.", "2)", "IV.") from the descriptions
// into sort orders, and copies its rows into a node table.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "data/table_records.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

class CategoryTable {
 public:
  CategoryTable() = default;
  ~CategoryTable();
  CategoryTable(const CategoryTable&) = delete;
  CategoryTable& operator=(const CategoryTable&) = delete;

  xbase::Data4 TableHandle() const { return data_; }
  const std::string& TableName() const { return tableName_; }
  CategoryTable* Parent() const { return parent_; }
  CategoryTable* Child() const { return child_.get(); }
  std::int32_t Base() const { return base_; }
  xbase::Field4 IdField() const { return idField_; }
  xbase::Field4 ParentField() const { return parentField_; }
  xbase::Field4 DescriptionField() const { return descriptionField_; }
  xbase::Tag4 IdTag() const { return idTag_; }
  xbase::Tag4 ParentTag() const { return parentTag_; }
  xbase::Tag4 DescriptionTag() const { return descriptionTag_; }
  // "1", "A", "I", or ' ' when the level is not numbered.
  char NumberingStyle() const { return numberingStyle_; }

  // Each opens folder/<level>.dbf, binds the level and creates the level below with
  // itself as parent, so InitAsUnitsTable opens all four levels.
  void InitAsUnitsTable(const std::string& folder);
  void InitAsChaptersTable(const std::string& folder, CategoryTable* parent);
  void InitAsTopicsTable(const std::string& folder, CategoryTable* parent);
  void InitAsSubTopicTable(const std::string& folder, CategoryTable* parent);

  // The node identifier of an old identifier of this level: id + base.
  std::int32_t GetMapping(std::int32_t id) const;
  // The current row's description without its outline label, and its sort order:
  // the label's number, or 801, 802, ... for the unnumbered items of one parent.
  std::string GetTrimmedDescription(std::int32_t& sortOrder);
  // Appends this level's rows to the course's standards node table.
  void CopyToStandard();
  // Appends this level's rows to the given node table as nodes of tree 1.
  bool CopyToStandardTree(const StandardRecord& nodes);

 private:
  struct LevelNames {
    const char* file;
    const char* name;
    std::int32_t base;
    const char* idField;
    const char* parentField;  // nullptr for units
  };
  void Init(const std::string& folder, CategoryTable* parent, const LevelNames& level);
  void DetectNumberingStyle();
  // countUnnumbered: whether an unnumbered item takes the next order of its parent.
  std::string TrimDescription(std::int32_t& sortOrder, bool countUnnumbered);

  xbase::Data4 data_ = 0;
  std::string tableName_;
  CategoryTable* parent_ = nullptr;
  std::unique_ptr<CategoryTable> child_;
  std::int32_t base_ = 0;
  xbase::Field4 idField_ = 0, parentField_ = 0, descriptionField_ = 0;
  xbase::Tag4 idTag_ = 0, parentTag_ = 0, descriptionTag_ = 0;
  char numberingStyle_ = ' ';
  std::map<std::string, std::int32_t> unnumberedCounts_;
};

}  // namespace tolvarin
