#include "engine/transfer/table_mapping.h"

#include "core/run_log.h"
#include "data/record_ops.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_windows.h"
#include "engine/transfer/transfer_state.h"

namespace tolvarin {
namespace {

// The eleven enabled tables in the order their entries are filled.
constexpr std::array<std::int32_t, 11> kFillOrder{10, 11, 7, 8, 1, 15, 2, 13, 5, 6, 14};

// The source and destination table of an entry.
struct Sides {
  TableRef src, dest;
  xbase::Field4 srcName = 0, destName = 0;
};

TableRef HeaderOf(const TableRef& header, xbase::Data4 data, xbase::Field4 key, xbase::Tag4 tag, const char* name) {
  TableRef ref = header;
  ref.Data = data;
  ref.KeyField = key;
  ref.KeyTag = tag;
  ref.TableName = name;
  return ref;
}

TableRef Header(const DatabaseSet& s, std::int32_t t) {
  switch (t) {
    case 1: return HeaderOf(s.Quests.Ref, s.Quests.Data, s.Quests.Quest_id, s.Quests.Quest_idTag, "QUESTS");
    case 2: return HeaderOf(s.Descript.Ref, s.Descript.Data, s.Descript.DescriptID, s.Descript.DescriptIDTag, "DESCRIPT");
    case 5: return HeaderOf(s.Exams.Ref, s.Exams.Data, s.Exams.Exam_id, s.Exams.Exam_idTag, "EXAMS");
    case 6: return HeaderOf(s.ExamQues.Ref, s.ExamQues.Data, s.ExamQues.Exam_Q_id, s.ExamQues.Exam_Q_idTag, "EXAMQUES");
    case 7: return HeaderOf(s.Sessions.Ref, s.Sessions.Data, s.Sessions.Session_id, s.Sessions.Session_idTag, "SESSIONS");
    case 8:
      return HeaderOf(s.SesQuests.Ref, s.SesQuests.Data, s.SesQuests.SesQues_id, s.SesQuests.SesQues_idTag, "SESQUESTS");
    case 10: return HeaderOf(s.Classes.Ref, s.Classes.Data, s.Classes.Class_id, s.Classes.Class_idTag, "CLASSES");
    case 11:
      return HeaderOf(s.Students.Ref, s.Students.Data, s.Students.Student_id, s.Students.Student_idTag, "STUDENTS");
    case 13:
      return HeaderOf(s.Templates.Ref, s.Templates.Data, s.Templates.TemplateID, s.Templates.TemplateIDTag, "TEMPLATES");
    case 14: return HeaderOf(s.PrintOpt.Ref, s.PrintOpt.Data, s.PrintOpt.Print_ID, s.PrintOpt.Print_idTag, "PRINTOPT");
    case 15: return HeaderOf(s.QuesType.Ref, s.QuesType.Data, s.QuesType.Quest_id, s.QuesType.Quest_idTag, "QUESTYPE");
    default: return TableRef{};
  }
}

xbase::Field4 NameField(const DatabaseSet& s, std::int32_t t) {
  switch (t) {
    case 5: return s.Exams.Name;
    case 7: return s.Sessions.Name;
    case 10: return s.Classes.Section;
    case 11: return s.Students.Last_name;
    case 13: return s.Templates.Name;
    default: return 0;
  }
}

// The referring fields of a table in one set, with the tables they name.
std::vector<std::pair<xbase::Field4, std::int32_t>> ReferenceFields(const DatabaseSet& s, std::int32_t t) {
  switch (t) {
    case 1:
      return {{s.Quests.DescriptID, 2}, {s.Quests.User_ID, 12}, {s.Quests.Exam_ID, 5}, {s.QuesType.Quest_id, 15}};
    case 5: return {{s.Exams.User_id, 12}, {s.Exams.Print_ID, 14}};
    case 6: return {{s.ExamQues.Exam_id, 5}, {s.ExamQues.Quest_id, 1}};
    case 8: return {{s.SesQuests.Session_id, 7}, {s.SesQuests.Quest_id, 1}};
    case 10: return {{s.Classes.User_id, 12}};
    case 11: return {{s.Students.Class_id, 10}};
    case 14: return {{s.PrintOpt.User_ID, 12}};
    default: return {};
  }
}

std::vector<ChildRelation> Relations(const DatabaseSet& s, std::int32_t t) {
  switch (t) {
    case 1:
      return {{2, s.Descript.Data, s.Quests.Quest_idTag, s.Quests.DescriptID, s.Descript.DescriptIDTag, s.Descript.DescriptID},
              {15, s.QuesType.Data, s.Quests.Quest_idTag, s.Quests.Quest_id, s.QuesType.Quest_idTag, s.QuesType.Quest_id}};
    case 5:
      return {{6, s.ExamQues.Data, s.Exams.Exam_idTag, s.Exams.Exam_id, s.ExamQues.Exam_idTag, s.ExamQues.Exam_Q_id}};
    case 6:
      return {{1, s.Quests.Data, s.ExamQues.Exam_Q_idTag, s.ExamQues.Quest_id, s.Quests.Quest_idTag, s.Quests.Quest_id}};
    case 7:
      return {{8, s.SesQuests.Data, s.Sessions.Session_idTag, s.Sessions.Session_id, s.SesQuests.Session_idTag,
               s.SesQuests.SesQues_id}};
    case 8: return {ChildRelation{9, 0, 0, 0, 0, 0}};
    default: return {};
  }
}

bool LogsRows(std::int32_t t) { return t == 1 || t == 5 || t == 7 || t == 11 || t == 13; }

// Builds the fifteen entries on the first call of either half.
void EnsureModel() {
  auto& model = TableMappings();
  if (model.size() == kTableCount + 1) return;
  model.assign(kTableCount + 1, TableMapping{});
  for (std::int32_t t = 1; t <= kTableCount; ++t) model[static_cast<std::size_t>(t)].TableNo = t;
}

void SizeReferences(TableMapping& m, std::size_t count) {
  if (m.References.size() != count) m.References.resize(count);
}

}  // namespace

void IdMap::Reset(std::int32_t low, std::int32_t high) {
  low_ = low;
  values_.assign(high >= low ? static_cast<std::size_t>(high - low) + 1 : 0, 0);
}

void IdMap::Clear() {
  low_ = 0;
  values_.clear();
}

std::vector<TableMapping>& TableMappings() {
  static std::vector<TableMapping> model;
  return model;
}

TableMapping& Mapping(std::int32_t tableNo) {
  EnsureModel();
  return TableMappings()[static_cast<std::size_t>(tableNo)];
}

void ResetTableMappings() { TableMappings().clear(); }

void InitSrcTableDefs() {
  EnsureModel();
  const DatabaseSet& s = Src();
  for (std::int32_t t : kFillOrder) {
    TableMapping& m = Mapping(t);
    m.TableNo = t;
    m.Src = Header(s, t);
    m.TableName = m.Src.TableName;
    m.SrcNameField = NameField(s, t);
    m.Enabled = true;
    m.LogRows = LogsRows(t);
    const auto refs = ReferenceFields(s, t);
    SizeReferences(m, refs.size());
    for (std::size_t i = 0; i < refs.size(); ++i) {
      m.References[i].SrcField = refs[i].first;
      m.References[i].RefTableNo = refs[i].second;
    }
    m.Children = Relations(s, t);
  }
  for (std::int32_t t : {9, 4, 3, 12}) {
    TableMapping& m = Mapping(t);
    m.TableNo = t;
    m.Enabled = false;
  }
  Mapping(kSesResultsTable).Src.Data = s.SesResults.Data;
  SetIdentifierWindows();
}

void InitDestTableDefs() {
  EnsureModel();
  const DatabaseSet& d = Dest();
  for (std::int32_t t : kFillOrder) {
    TableMapping& m = Mapping(t);
    m.TableNo = t;
    m.Dest = Header(d, t);
    m.DestNameField = NameField(d, t);
    const auto refs = ReferenceFields(d, t);
    SizeReferences(m, refs.size());
    for (std::size_t i = 0; i < refs.size(); ++i) m.References[i].DestField = refs[i].first;
  }
}

std::int32_t InitTableMapping(std::int32_t tableNo, IdMap& idMap) {
  TableMapping& m = Mapping(tableNo);
  const TableRef& src = m.Src;
  std::int32_t lowest = 1;
  if (src.Data != 0 && src.KeyTag != 0) {
    xbase::d4tagSelect(src.Data, src.KeyTag);
    if (xbase::d4top(src.Data) == xbase::kSuccess) lowest = static_cast<std::int32_t>(xbase::f4long(src.KeyField));
    if (xbase::d4bottom(src.Data) == xbase::kSuccess)
      idMap.Reset(lowest, static_cast<std::int32_t>(xbase::f4long(src.KeyField)));
    else
      idMap.Clear();
  } else {
    idMap.Clear();
  }
  WriteLog("Initialized table mapping for " + m.TableName + " with first ID: " + std::to_string(m.FirstNewID));
  return m.FirstNewID;
}

std::int32_t GetTableIDBound(std::int32_t tableNo, bool useSource, bool fromBottom, std::int32_t lowest,
                             std::int32_t highest) {
  const TableMapping& m = Mapping(tableNo);
  const TableRef& ref = useSource ? m.Src : m.Dest;
  // A table that is not open answers the range's lower bound.
  if (ref.Data == 0 || ref.KeyField == 0 || ref.KeyTag == 0) return lowest;
  return GetIDInRange(ref, fromBottom, lowest, highest);
}

TransferFlags& Transfer() {
  static TransferFlags flags;
  return flags;
}

}  // namespace tolvarin
