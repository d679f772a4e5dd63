#include "engine/transfer/selection.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/xml.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "data/record_ops.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/table_mapping.h"
#include "engine/transfer/transfer_state.h"

namespace tolvarin {
namespace {

using transfer::Number;
using transfer::Seek;

constexpr std::int32_t kPublisherThreshold = 20000;
constexpr std::int32_t kGradebookClass = 10000;  // classes the gradebook made
constexpr std::int32_t kGradebookClassOrder = 100000;

struct Lists {
  std::vector<std::int32_t> images;
  std::vector<std::string> nodes;
  std::unordered_set<std::string> nodeSet;
  std::vector<std::string> results;
  std::unordered_map<std::string, int> resultIndex;
};

Lists& L() {
  static Lists lists;
  return lists;
}

// The value of a field on every row with the key in the tag, in tag order; with
// liveOnly, rows marked deleted are passed over.
std::vector<std::int32_t> Matches(xbase::Data4 data, xbase::Tag4 tag, const std::string& key, xbase::Field4 field,
                                  bool liveOnly = false) {
  std::vector<std::int32_t> values;
  if (!Seek(data, tag, key)) return values;
  do {
    if (!liveOnly || !xbase::d4deleted(data)) values.push_back(Number(field));
  } while (xbase::d4seekNext(data, key) == xbase::kSuccess);
  return values;
}

std::vector<std::int32_t> LinkedIDs(std::int32_t id, xbase::Data4 data, xbase::Tag4 tag, xbase::Field4 field) {
  std::vector<std::int32_t> values = Matches(data, tag, FormatID(id), field);
  while (!values.empty() && values.back() == 0) values.pop_back();
  return values;
}

}  // namespace

const std::vector<std::int32_t>& SelectedImageIDs() { return L().images; }
const std::vector<std::string>& StandardNodeKeys() { return L().nodes; }
const std::vector<std::string>& SessionResultKeys() { return L().results; }

void ResetSelections() {
  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    Mapping(t).SelectedIDs.clear();
    Mapping(t).SelectedSet.clear();
  }
  L() = Lists{};
}

void SelectID(std::int32_t tableNo, std::int32_t id) {
  WriteDebugLog("Select ID:" + std::to_string(tableNo) + " : " + std::to_string(id));
  if (id == 0 || tableNo < 1 || tableNo > kTableCount) return;
  TableMapping& m = Mapping(tableNo);
  if (!m.Enabled) return;
  if (!m.SelectedSet.insert(id).second) return;
  m.SelectedIDs.push_back(id);

  // Copied: the recursive selections below may re-fill the model's relations.
  const std::vector<ChildRelation> children = m.Children;
  for (const ChildRelation& r : children) {
    if (r.ChildTableNo < 1 || r.ChildTableNo > kTableCount || !Mapping(r.ChildTableNo).Enabled) continue;
    if (!Seek(m.Src.Data, r.ParentTag, FormatID(id))) continue;
    const std::int32_t value = Number(r.ParentKeyField);
    // Rows that hang below this one (an exam's exam questions, a session's session
    // questions) come only when they are live; a row this one names (its question,
    // its description) comes as it is, since this row needs it.
    const bool dependants = r.ParentKeyField == m.Src.KeyField;
    // Every match is read before the first descent moves the tables.
    for (std::int32_t child : Matches(r.ChildData, r.ChildTag, FormatID(value), r.ChildIDField, dependants))
      SelectID(r.ChildTableNo, child);
  }
  SelectRelatedIDs(tableNo, id);
}

void SelectRelatedIDs(std::int32_t tableNo, std::int32_t id) {
  if (tableNo < 1 || tableNo > kTableCount || !Mapping(tableNo).Enabled) return;
  DatabaseSet& s = Src();
  const std::string key = FormatID(id);
  switch (tableNo) {
    case kQuestsTable:
      if (Seek(s.Quests.Data, s.Quests.Quest_idTag, key))
        for (int k = 1; k <= s.Quests.AnswerCount; ++k) AddUniqueImageID(Number(s.Quests.AnswerPctField(k)));
      break;
    case kDescriptTable:
      if (Seek(s.Descript.Data, s.Descript.DescriptIDTag, key)) AddUniqueImageID(Number(s.Descript.Image_id));
      break;
    case kExamsTable:
      if (Seek(s.Exams.Data, s.Exams.Exam_idTag, key)) SelectID(kPrintOptTable, Number(s.Exams.Print_ID));
      break;
    case kSessionsTable: {
      if (!Seek(s.Sessions.Data, s.Sessions.Session_idTag, key)) break;
      if (Settings().Interactive && TextValue(FindGradebookLink("")) >= kGradebookClass) {
        Mapping(kSessionsTable).SelectedIDs.back() = 0;  // a gradebook's session stays out
        break;
      }
      std::vector<std::int32_t> activities;
      const xbase::Data4 t = s.Templates.Data;
      if (t == 0) break;
      xbase::d4tagSelect(t, 0);
      for (int rc = xbase::d4top(t); rc == xbase::kSuccess; rc = xbase::d4skip(t, 1))
        if (!xbase::d4deleted(t) && Trim(f4str(s.Templates.Name)) == key + "%")
          activities.push_back(Number(s.Templates.TemplateID));
      for (std::int32_t a : activities) SelectID(kTemplatesTable, a);
      break;
    }
    case kSesQuestsTable: {
      const xbase::Data4 r = s.SesResults.Data;
      if (!Seek(r, s.SesResults.SesQues_idTag, key)) break;
      std::vector<std::string> students;
      do {
        if (!xbase::d4deleted(r)) students.push_back(f4str(s.SesResults.Student_id));
      } while (xbase::d4seekNext(r, key) == xbase::kSuccess);
      for (const std::string& student : students) AddUniqueString(key + student);
      break;
    }
    default: break;
  }
}

void SelectAllRecords() {
  ResetSelections();
  InitSrcTableDefs();
  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    if (t == kExamQuesTable || t == kSesQuestsTable || t == kSesResultsTable) continue;
    const TableMapping& m = Mapping(t);
    if (!m.Enabled || m.Src.Data == 0 || m.Src.KeyTag == 0) continue;
    const xbase::Data4 data = m.Src.Data;
    xbase::d4tagSelect(data, m.Src.KeyTag);
    int rc = 0;
    if (Settings().Operation == 1) {
      rc = xbase::d4seek(data, FormatID(m.SrcFirstID));
      if (rc == xbase::kAfter) rc = xbase::kSuccess;
    } else {
      rc = xbase::d4top(data);
    }
    // The identifiers are read first: selecting moves the very table being walked.
    // Rows the teacher deleted stay behind.
    std::vector<std::int32_t> ids;
    for (; rc == xbase::kSuccess; rc = xbase::d4skip(data, 1))
      if (!xbase::d4deleted(data)) ids.push_back(Number(m.Src.KeyField));
    for (std::int32_t id : ids) SelectID(t, id);
  }
  OrderClassSelection();
  const RunSettings& s = Settings();
  if (!(!Transfer().ImportClassificationTree && s.Operation != 1 && s.Interactive)) SelectStandardNodes();
}

void SelectStandardNodes() {
  DatabaseSet& s = Src();
  const std::vector<std::int32_t> questions = Mapping(kQuestsTable).SelectedIDs;
  for (std::int32_t q : questions) {
    if (q == 0) continue;
    const std::string key = std::to_string(q);
    if (!Seek(s.StanQues.Data, s.StanQues.Quest_idTag, key)) continue;
    std::vector<StandardKey> nodes;
    do nodes.push_back(MakeStandardKey(static_cast<std::int16_t>(Number(s.StanQues.Tree_id)), Number(s.StanQues.Node_id)));
    while (xbase::d4seekNext(s.StanQues.Data, key) == xbase::kSuccess);
    for (const StandardKey& node : nodes) AddStandardNodeWithParents(node);
  }
}

void AddStandardNodeWithParents(const StandardKey& start) {
  DatabaseSet& s = Src();
  StandardKey key = start;
  // A walk up the tree; a loop in damaged parent links ends at the first node met twice.
  for (;;) {
    if (key.NodeID < kPublisherThreshold && Settings().OfficeMode != 1 && Settings().StandardImportMode != 1) return;
    const std::string text = StandardKeyToString(key);
    if (!L().nodeSet.insert(text).second) return;
    L().nodes.push_back(text);
    if (!Seek(s.Standard.Data, s.Standard.StandardIDTag, text)) return;
    key.NodeID = Number(s.Standard.Parent_id);
  }
}

void AddUniqueImageID(std::int32_t imageID) {
  if (imageID == 0) return;
  auto& images = L().images;
  const auto at = std::lower_bound(images.begin(), images.end(), imageID);
  if (at == images.end() || *at != imageID) images.insert(at, imageID);
}

int AddUniqueString(const std::string& key) {
  Lists& l = L();
  const auto found = l.resultIndex.find(key);
  if (found != l.resultIndex.end()) return found->second;
  l.results.push_back(key);
  const int index = static_cast<int>(l.results.size());
  l.resultIndex.emplace(key, index);
  return index;
}

void OrderClassSelection() {
  auto& ids = Mapping(kClassesTable).SelectedIDs;
  std::size_t front = 0;  // the first entry is not tested
  for (std::size_t i = 1; i < ids.size(); ++i) {
    if (ids[i] <= kGradebookClassOrder) continue;
    const std::int32_t moved = ids[i];
    std::move_backward(ids.begin() + static_cast<std::ptrdiff_t>(front), ids.begin() + static_cast<std::ptrdiff_t>(i),
                       ids.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    ids[front] = moved;
    ++front;
  }
}

std::string FindGradebookLink(const std::string& keyText) {
  DatabaseSet& s = Src();
  if (!keyText.empty()) Seek(s.Sessions.Data, s.Sessions.Session_idTag, keyText);
  const std::string session = FormatID(Number(s.Sessions.Session_id));
  const std::vector<std::int32_t> sesQuests =
      Matches(s.SesQuests.Data, s.SesQuests.Session_idTag, session, s.SesQuests.SesQues_id);
  if (sesQuests.empty()) return "-1";
  for (std::int32_t sq : sesQuests) {
    const std::string key = FormatID(sq);
    std::vector<std::string> students;
    if (Seek(s.SesResults.Data, s.SesResults.SesQues_idTag, key)) {
      do students.push_back(f4str(s.SesResults.Student_id));
      while (xbase::d4seekNext(s.SesResults.Data, key) == xbase::kSuccess);
    }
    for (const std::string& student : students) {
      const std::int32_t classId = static_cast<std::int32_t>(
          TextValue(LookupField(s.Students.Data, s.Students.Student_idTag, student, s.Students.Class_id)));
      if (classId > 0) return FormatID(classId);
    }
  }
  return "";
}

std::vector<std::int32_t> GetLinkedIDsByFirstKey(std::int32_t id, const SesQuestsRecord& record) {
  return LinkedIDs(id, record.Data, record.Session_idTag, record.Quest_id);
}

std::vector<std::int32_t> GetLinkedIDsBySecondKey(std::int32_t id, const ExamQuesRecord& record) {
  return LinkedIDs(id, record.Data, record.Exam_idTag, record.Quest_id);
}

std::vector<std::int32_t> GetActivityQuestionIDs(std::int32_t id, const TemplatesRecord& record) {
  std::vector<std::int32_t> values;
  if (!Seek(record.Data, record.TemplateIDTag, FormatID(id))) return values;
  const std::string xml = f4memoStr(record.Blob);
  long position = 1;
  while (position > 0 && position <= static_cast<long>(xml.size())) {
    const std::string value = GetXmlValue(xml, "question_id", "", position);
    if (position == 0) break;
    values.push_back(static_cast<std::int32_t>(TextValue(value)));
  }
  while (!values.empty() && values.back() == 0) values.pop_back();
  return values;
}

}  // namespace tolvarin
