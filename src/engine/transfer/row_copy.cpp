#include "engine/transfer/row_copy.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "construction/blank_tables.h"
#include "core/box_buttons.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "data/record_ops.h"
#include "data/standards.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"
#include "engine/package/image_archive.h"
#include "engine/transfer/activity_remap.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/files_aside.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/transfer_state.h"

namespace tolvarin {
namespace {

using transfer::Number;
using transfer::Seek;

namespace fs = std::filesystem;

constexpr std::int32_t kPublisherThreshold = 20000;
constexpr long kAppendPackageMode = 5;

ImportPreview& Preview() {
  static ImportPreview preview;
  return preview;
}

std::string ImageText(std::int32_t id) { return id > 0 ? FormatID(id) : std::string(); }

// A table that is not a field's own: table 1's fourth reference names the question
// type table's field, which the question type rows' own copy looks after.
bool FieldOf(xbase::Field4 field, xbase::Data4 data) { return field != 0 && xbase::f4data(field) == data; }

// Asked in every run that would overwrite questions, a game import as much as an
// interactive one: the teacher's questions are not replaced without a word.
bool StopsAtTheOverwriteWarning() {
  const RunSettings& s = Settings();
  if (s.Operation != 2 || s.ImportMode != 7) return false;
  const TableMapping& quests = Mapping(kQuestsTable);
  const IdMap& map = quests.IDMap;
  if (map.Empty()) return false;
  std::string list;
  for (std::int32_t old = map.low(); old <= map.high(); ++old) {
    const std::int32_t id = map.Get(old);
    if (id > 0 && transfer::SeekLive(quests.Dest.Data, quests.Dest.KeyTag, FormatID(id))) list += FormatID(id) + " ";
  }
  if (list.empty()) return false;
  const std::string text = "Importing these questions will overwrite the following question ids: \r\n\r\n" + list +
                           "\r\n\r\nAre you sure you want to continue?";
  return FacilityMessageBox(text, kMbYesNo | kMbQuestion) != kIdYes;
}

// A question's description that the transfer does not bring (missing from the package)
// is written as none into a live course; the copied value would name the destination's
// own description of that number. (Exam and session questions naming what is not
// brought are left out before the copy; other references keep their value.)
bool NamesNoneWhenMissing(std::int32_t tableNo, std::int32_t refTableNo) {
  const int operation = Settings().Operation;
  return (operation == 2 || operation == 4) && tableNo == kQuestsTable && refTableNo == kDescriptTable;
}

bool PreviewSaysGoOn() {
  const RunSettings& s = Settings();
  if ((s.Operation != 2 && s.Operation != 4) || !s.Interactive) return true;
  if (Preview()) return Preview()();
  return FacilityMessageBox(kPreviewText, kMbOkCancel | kMbQuestion) == kIdOk;
}

// A folder's file names without regard to case, read once and kept up to date as
// pictures are added: a name that is there in another case is written over, never
// doubled (the first of several in plain order, as FindPath picks it).
class ImageFolderNames {
 public:
  explicit ImageFolderNames(std::string folder) : folder_(std::move(folder)) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
      const std::string name = entry.path().filename().string();
      exact_.insert(name);
      const auto [it, added] = byLower_.emplace(ToLower(name), name);
      if (!added && name < it->second) it->second = name;
    }
  }
  bool Has(const std::string& name) const { return exact_.count(name) || byLower_.count(ToLower(name)); }
  // Where a file of this name is to be written.
  std::string Claim(const std::string& name) {
    if (!exact_.count(name)) {
      const std::string lower = ToLower(name);
      if (const auto it = byLower_.find(lower); it != byLower_.end()) return JoinPath(folder_, it->second);
      exact_.insert(name);
      byLower_.emplace(lower, name);
    }
    return JoinPath(folder_, name);
  }

 private:
  std::string folder_;
  std::set<std::string> exact_;
  std::map<std::string, std::string> byLower_;
};

// What the copy of every row of one table looks up again and again, gathered once
// per table: the activity rewrites (fixed once the maps are built) and the keys the
// source attribute tables hold, so that a row without attributes costs no seek.
struct TableCopyLookups {
  bool active = false;
  std::optional<ActivityReplacements> activities;
  bool rowKeysRead = false;
  // Per source attribute table: every stored key of its row tag; none when the
  // table is not there or is also the destination (its keys grow while it is read).
  std::array<std::optional<std::unordered_set<std::string>>, 3> rowKeys;
};

TableCopyLookups& Lookups() {
  static TableCopyLookups lookups;
  return lookups;
}

// Process-wide state that lives for one copy: fresh and active while the scope
// lasts, cleared again when it ends (also when the copy throws).
template <typename State, State& (*Get)()>
class ActiveScope {
 public:
  ActiveScope() {
    Get() = State{};
    Get().active = true;
  }
  ~ActiveScope() { Get() = State{}; }
  ActiveScope(const ActiveScope&) = delete;
  ActiveScope& operator=(const ActiveScope&) = delete;
};

using TableCopyScope = ActiveScope<TableCopyLookups, Lookups>;

std::optional<std::unordered_set<std::string>> StoredKeys(xbase::Data4 data, xbase::Tag4 tag) {
  if (data == 0 || tag == 0) return std::nullopt;
  std::unordered_set<std::string> keys;
  xbase::d4tagSelect(data, tag);
  int rc = xbase::d4top(data);
  for (; rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) keys.insert(xbase::t4key(tag));
  if (rc != xbase::kEof) return std::nullopt;
  return keys;
}

bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(FindPath(a), FindPath(b), ec) || ec;  // unsure counts as the same
}

// Whether a seek of key on the source attribute table (tag) could find a row: false
// only when the gathered keys say that neither the key nor its lower case is there.
bool MayHoldRows(int table, xbase::Tag4 tag, const std::string& key) {
  const auto& keys = Lookups().rowKeys[static_cast<std::size_t>(table)];
  if (!keys) return true;
  const std::size_t length = static_cast<std::size_t>(xbase::t4keyLen(tag));
  if (key.size() < length) return true;  // a shorter key finds by prefix
  const std::string stored = key.substr(0, length);
  return keys->count(stored) || keys->count(ToLower(stored));
}

// What one copy remembers across its tables: the standards links it appended (a
// destination table that takes its rows in bulk, see DoBackup, finds them in its
// tags only once the copy is over), and the rows it wrote over, whose dependants
// then become the package's.
struct CopyRun {
  bool active = false;
  std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> links;  // tree, node, question
  std::unordered_set<std::int32_t> overwrittenQuestions, overwrittenSesQuests;
  // The identifiers the copy writes into EXAMQUES and SESQUESTS, gathered when first needed.
  std::optional<std::unordered_set<std::int32_t>> examQuesWritten, sesQuestsWritten;
};

CopyRun& Run() {
  static CopyRun run;
  return run;
}

using CopyScope = ActiveScope<CopyRun, Run>;

// A write that failed stops the transfer there and the user is told which table or
// file. Into work copies nothing of the course was changed, and the run ends as a
// failed one; otherwise the rows written before it stay, and it ends as a fatal one.
[[noreturn]] void StopTransfer(const std::string& what) {
  const bool aside = WritingAside();
  const std::string text = what + ": the transfer stopped there.  " +
                           (aside ? "\"" + Dest().CourseFolder + "\" was not changed."
                                  : std::string("The rows written before it were kept."));
  WriteLog("TOLVARIN ERROR: " + text);
  MsgBox(text, kMbCritical);
  Terminate(aside ? EndReason::Failed : EndReason::Fatal);
}

[[noreturn]] void StopCopy(const std::string& table, int code) {
  StopTransfer("A row could not be written to the table " + table + " (engine code " + std::to_string(code) + ")");
}

void Check(int code, const std::string& table) {
  if (code != 0) StopCopy(table, code);
}

// Starts a new record, or takes the current one for writing over: locked, and live
// again when it was marked deleted.
void StartRow(xbase::Data4 data, bool existing, const std::string& table) {
  if (!existing) {
    AppendBlank(data);
    Check(Engine().LastEngineCode, table);
    return;
  }
  Check(LockCurrentRecord(data), table);
  if (xbase::d4deleted(data)) Check(xbase::d4recall(data), table);
}

// Writes the row StartRow began.
void FinishRow(xbase::Data4 data, bool existing, const std::string& table) {
  Engine().LastEngineCode = existing ? xbase::d4flush(data) : xbase::d4append(data);
  Check(Engine().LastEngineCode, table);
}

void DeleteRows(xbase::Data4 data, const std::vector<long>& records, const std::string& table) {
  for (long recno : records) {
    Check(xbase::d4go(data, recno), table);
    if (xbase::d4deleted(data)) continue;
    Check(LockCurrentRecord(data), table);
    Check(xbase::d4delete(data), table);
    Check(xbase::d4flush(data), table);
  }
}

// The records of the live rows whose key (tag) is key.
std::vector<long> RowsOf(xbase::Data4 data, xbase::Tag4 tag, const std::string& key) {
  std::vector<long> records;
  if (!Seek(data, tag, key)) return records;
  do
    if (!xbase::d4deleted(data)) records.push_back(xbase::d4recNo(data));
  while (xbase::d4seekNext(data, key) == xbase::kSuccess);
  return records;
}

// An exam or graded session written over ends with the package's questions only, as
// a question written over ends with the package's standards links: the destination's
// exam questions or session questions of it that no package row writes over are
// marked deleted, a session question with its results.
void DropReplacedQuestions(std::int32_t tableNo, std::int32_t parentID) {
  DatabaseSet& dest = Dest();
  const std::string key = FormatID(parentID);
  if (tableNo == kExamsTable) {
    const ExamQuesRecord& d = dest.ExamQues;
    if (!Run().examQuesWritten) Run().examQuesWritten = NewIDsOf(Mapping(kExamQuesTable));
    const auto& written = *Run().examQuesWritten;
    std::vector<long> others;
    for (long recno : RowsOf(d.Data, d.Exam_idTag, key)) {
      Check(xbase::d4go(d.Data, recno), "EXAMQUES");
      if (!written.count(Number(d.Exam_Q_id))) others.push_back(recno);
    }
    DeleteRows(d.Data, others, "EXAMQUES");
    return;
  }
  const SesQuestsRecord& d = dest.SesQuests;
  const SesResultsRecord& results = dest.SesResults;
  if (!Run().sesQuestsWritten) Run().sesQuestsWritten = NewIDsOf(Mapping(kSesQuestsTable));
  const auto& written = *Run().sesQuestsWritten;
  std::vector<long> others;
  std::vector<std::int32_t> dropped;
  for (long recno : RowsOf(d.Data, d.Session_idTag, key)) {
    Check(xbase::d4go(d.Data, recno), "SESQUESTS");
    const std::int32_t id = Number(d.SesQues_id);
    if (written.count(id)) continue;
    others.push_back(recno);
    dropped.push_back(id);
  }
  DeleteRows(d.Data, others, "SESQUESTS");
  for (std::int32_t id : dropped)
    DeleteRows(results.Data, RowsOf(results.Data, results.SesQues_idTag, FormatID(id)), "SESRESULTS");
}

// "0000003%": an activity of the graded session 3, tied to it by its name.
bool IsSessionActivityName(const std::string& name) {
  return name.size() == 8 && name[7] == '%' &&
         std::all_of(name.begin(), name.begin() + 7, [](char c) { return c >= '0' && c <= '9'; });
}

// A backup, or an import that takes the package's classification tree.
bool CopiesStandardNodes() {
  const RunSettings& s = Settings();
  return s.Operation == 1 || s.Operation == 3 || Transfer().ImportClassification;
}

// The destination holds the standards node, live.
bool DestHoldsNode(std::int32_t tree, std::int32_t node) {
  const StandardRecord& d = Dest().Standard;
  return d.Data != 0 && Seek(d.Data, d.StandardIDTag, StandardKeyString(static_cast<std::int16_t>(tree), node)) &&
         !xbase::d4deleted(d.Data);
}

// What CopyFileReplace does, for a target whose real name is known already.
void ReplaceFile(const std::string& source, const std::string& target) {
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(target, ec))) fs::remove(target, ec);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
}

// A picture for the course: aside with the work copies, checked, or in place.
void PlacePicture(const std::string& source, const std::string& target) {
  if (!WritingAside()) {
    ReplaceFile(source, target);
  } else if (!CopyAside(source, target)) {
    StopTransfer("The picture " + target + " could not be written");
  }
}

}  // namespace

void SetImportPreview(ImportPreview preview) { Preview() = std::move(preview); }

std::string ArrivingActivityName(const std::string& name) {
  const std::string trimmed = Trim(name);
  if (!IsSessionActivityName(trimmed)) return name;
  const std::int32_t session = LookupNewID(kSessionsTable, static_cast<std::int32_t>(TextValue(trimmed.substr(0, 7))));
  return session > 0 ? FormatID(session) + "%" : name;
}

bool CopyTables() {
  const RunSettings& s = Settings();
  LeaveOutUnresolvedRows();
  if (StopsAtTheOverwriteWarning()) return false;
  if (!PreviewSaysGoOn()) {
    WriteLog("Import cancelled at the preview: nothing was copied");
    return false;
  }
  const CopyScope scope;
  if (s.Operation != 4 && s.Mode == 0 && s.Interactive && (UserAccessLevel() == 1 || s.Operation == 1))
    CopyUsersTable();
  if (CopiesStandardNodes()) CopyStandardNodes();
  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    TableMapping& m = Mapping(t);
    if (m.Src.Data == 0) continue;
    // The session results entry has no name of its own; the user sees its file's.
    NotifyPackagingProgress(m.TableName.empty() ? ToUpper(TableFileTitle(m.Src)) : m.TableName, "Copying table");
    CopyTable(m);
  }
  CopyImages();
  return true;
}

void CopyTable(TableMapping& m) {
  const TableCopyScope scope;
  if (!m.Enabled) {
    CopyTableSpecial(m);
    return;
  }
  WriteLog("Copying table: " + m.TableName);
  const xbase::Data4 src = m.Src.Data;
  const xbase::Data4 dest = m.Dest.Data;
  if (src == 0 || dest == 0) return;
  const std::vector<std::int32_t> ids = m.SelectedIDs;
  for (std::int32_t oldID : ids) {
    if (oldID == 0 || !Seek(src, m.Src.KeyTag, FormatID(oldID))) continue;
    const std::int32_t newID = LookupNewID(m.TableNo, oldID);
    if (newID <= 0) continue;
    const bool exists = Seek(dest, m.Dest.KeyTag, FormatID(newID));
    if (exists && Settings().Mode == kAppendPackageMode) continue;
    if (exists && Run().active) {
      if (m.TableNo == kQuestsTable) Run().overwrittenQuestions.insert(newID);
      if (m.TableNo == kSesQuestsTable) Run().overwrittenSesQuests.insert(newID);
    }
    StartRow(dest, exists, m.TableName);
    Check(CopyFieldsByPosition(src, dest), m.TableName);
    Check(xbase::f4assign(m.Dest.KeyField, FormatID(newID)), m.TableName);
    for (const TableReference& r : m.References) {
      if (!FieldOf(r.SrcField, src) || !FieldOf(r.DestField, dest)) continue;
      const std::int32_t named = Number(r.SrcField);
      const std::int32_t mapped = LookupReferenceID(r.RefTableNo, named);
      if (mapped > 0) {
        Check(xbase::f4assign(r.DestField, FormatID(mapped)), m.TableName);
      } else if (named != 0 && NamesNoneWhenMissing(m.TableNo, r.RefTableNo)) {
        // The destination's description of that number is another question's passage.
        WriteLog("    " + m.TableName + " " + FormatID(oldID) + " names " + Mapping(r.RefTableNo).TableName + " " +
                 FormatID(named) + ", which this transfer does not bring: named as none");
        Check(xbase::f4assign(r.DestField, ""), m.TableName);
        CountLeftOut(1);
      }
    }
    CopyTableSpecial(m);
    FinishRow(dest, exists, m.TableName);
    if (exists) xbase::d4unlock(dest);
    if (exists && Run().active && (m.TableNo == kExamsTable || m.TableNo == kSessionsTable))
      DropReplacedQuestions(m.TableNo, newID);
    AppendRowKeyPairs(m.TableName, oldID, newID, exists);
    if (m.LogRows) {
      const std::string name = m.SrcNameField ? Trim(f4str(m.SrcNameField)) : std::string();
      if (!name.empty())
        WriteLog("    Copied Row: " + name);
      else
        WriteLog("    Copied Row ID#" + FormatID(oldID) + " to " + FormatID(newID));
    }
  }
}

void CopyTableSpecial(TableMapping& m) {
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  const RunSettings& s = Settings();
  if (m.Enabled) {
    switch (m.TableNo) {
      case kQuestsTable: {
        const int answers = std::min<int>(src.Quests.AnswerCount, dest.Quests.AnswerCount);
        for (int k = 1; k <= answers; ++k)
          Check(xbase::f4assign(dest.Quests.AnswerPctField(k),
                                ImageText(LookupNewID(kImageFiles, Number(src.Quests.AnswerPctField(k))))),
                m.TableName);
        // The series identifier lives only in tables that have a field of its own.
        const xbase::Field4 srcSeries = xbase::d4field(src.Quests.Data, "sourceID");
        const xbase::Field4 destSeries = xbase::d4field(dest.Quests.Data, "sourceID");
        if (srcSeries != 0 && destSeries != 0) {
          TableRef ref = m.Src;
          Check(xbase::f4assign(destSeries, SeriesIDOf(ref, srcSeries, -1)), m.TableName);
        }
        break;
      }
      case kDescriptTable:
        Check(xbase::f4assign(dest.Descript.Image_id, ImageText(LookupNewID(kImageFiles, Number(src.Descript.Image_id)))),
              m.TableName);
        break;
      case kTemplatesTable: {
        TableCopyLookups& lookups = Lookups();
        if (!lookups.active) {
          Check(RemapActivityQuestionIDs(), m.TableName);
        } else {
          if (!lookups.activities) lookups.activities = CurrentActivityReplacements();
          Check(RemapActivityQuestionIDs(*lookups.activities), m.TableName);
        }
        // The name that ties an activity to its graded session follows the session.
        const std::string name = Trim(f4str(dest.Templates.Name));
        const std::string arriving = ArrivingActivityName(name);
        if (arriving != name) Check(xbase::f4assign(dest.Templates.Name, arriving), m.TableName);
        break;
      }
      default: break;
    }
  } else {
    switch (m.TableNo) {
      case kStandardNodesTable: CopyStandardNodes(); break;
      case kSesResultsTable: CopyLinkTableRows(); break;
      case kPrintOptTable: CopyMappedRows(); break;
      default: break;
    }
  }
  if (m.TableNo != kQuestsTable) return;
  if (s.Operation == 4 && !Transfer().ImportClassification) return;
  // The question's standards links, read before any is written.
  const std::string question = std::to_string(Number(src.Quests.Quest_id));
  struct Link {
    std::int32_t tree, node, quest;
  };
  std::vector<Link> links;
  if (Seek(src.StanQues.Data, src.StanQues.Quest_idTag, question)) {
    do links.push_back({Number(src.StanQues.Tree_id), Number(src.StanQues.Node_id), Number(src.StanQues.Quest_id)});
    while (xbase::d4seekNext(src.StanQues.Data, question) == xbase::kSuccess);
  }
  const bool renumber = s.Operation != 4 && !StandardNodeMap().empty();
  for (Link& link : links) {
    if (renumber && link.node >= kPublisherThreshold) {
      const std::string key = MappedNodeKey(StandardKeyString(static_cast<std::int16_t>(link.tree), link.node));
      link.node = ParseStandardKey(key).NodeID;
    }
    link.quest = LookupNewID(kQuestsTable, link.quest);
  }
  // Without the package's tree only a link to a publisher's node that the course
  // holds names the node the package meant: a teacher's node number here is missing
  // or another teacher's node.
  if (!CopiesStandardNodes())
    std::erase_if(links, [](const Link& link) {
      return link.node >= kPublisherThreshold || !DestHoldsNode(link.tree, link.node);
    });
  // A question written over keeps only the package's links.
  const std::int32_t newQuestion = LookupNewID(kQuestsTable, Number(src.Quests.Quest_id));
  if (m.Enabled && Run().active && Run().overwrittenQuestions.count(newQuestion)) {
    const StanQuesRecord& d = dest.StanQues;
    std::set<std::pair<std::int32_t, std::int32_t>> wanted;
    for (const Link& link : links) wanted.insert({link.tree, link.node});
    std::vector<long> others;
    const std::string key = std::to_string(newQuestion);
    if (Seek(d.Data, d.Quest_idTag, key)) {
      do {
        if (!wanted.count({Number(d.Tree_id), Number(d.Node_id)})) others.push_back(xbase::d4recNo(d.Data));
      } while (xbase::d4seekNext(d.Data, key) == xbase::kSuccess);
    }
    DeleteRows(d.Data, others, "STANQUES");
  }
  for (const Link& link : links)
    if (link.quest > 0) AddStandardQuestionLink(link.tree, link.node, link.quest);
}

void AddStandardQuestionLink(std::int32_t tree, std::int32_t node, std::int32_t questID) {
  const StanQuesRecord& d = Dest().StanQues;
  if (d.Data == 0) return;
  const std::string key = std::to_string(questID);
  CopyRun& appended = Run();
  if (appended.active && appended.links.count({tree, node, questID})) return;
  if (Seek(d.Data, d.Quest_idTag, key)) {
    do {
      if (Number(d.Tree_id) == tree && Number(d.Node_id) == node) {
        // A link marked deleted is the one to bring back: its key stays taken.
        if (xbase::d4deleted(d.Data)) {
          StartRow(d.Data, true, "STANQUES");
          FinishRow(d.Data, true, "STANQUES");
        }
        return;
      }
    } while (xbase::d4seekNext(d.Data, key) == xbase::kSuccess);
  }
  StartRow(d.Data, false, "STANQUES");
  Check(xbase::f4assignLong(d.Tree_id, tree), "STANQUES");
  Check(xbase::f4assignLong(d.Node_id, node), "STANQUES");
  Check(xbase::f4assignLong(d.Quest_id, questID), "STANQUES");
  FinishRow(d.Data, false, "STANQUES");
  if (appended.active) appended.links.insert({tree, node, questID});
}

namespace {

// The attribute rows of a row the copy wrote over become the package's. The unique
// tag keeps the keys of marked rows too, so a destination row of the same attribute
// takes the package's value in place; the row's other attributes are marked
// deleted, and the package's further ones appended.
void ReplaceAttributeRows(const AttributeValuesRecord& from, const AttributeValuesRecord& to, const std::string& oldKey,
                          const std::string& newKey, const std::string& newText, const std::string& table) {
  std::vector<std::pair<long, std::string>> rows;  // source record, attribute
  std::string matched = oldKey;
  bool found = Seek(from.Data, from.RowTag, matched);
  if (!found) {
    matched = ToLower(oldKey);
    found = Seek(from.Data, from.RowTag, matched);
  }
  if (found) {
    do {
      rows.emplace_back(xbase::d4recNo(from.Data), Trim(f4str(from.Attr_key)));
    } while (xbase::d4seekNext(from.Data, matched) == xbase::kSuccess);
  }
  std::map<std::string, long> existing;
  std::vector<long> others;
  if (Seek(to.Data, to.RowTag, newKey)) {
    do {
      if (!existing.emplace(Trim(f4str(to.Attr_key)), xbase::d4recNo(to.Data)).second)
        others.push_back(xbase::d4recNo(to.Data));
    } while (xbase::d4seekNext(to.Data, newKey) == xbase::kSuccess);
  }
  for (const auto& [recno, attribute] : rows) {
    Check(xbase::d4go(from.Data, recno), table);
    const auto mine = existing.find(attribute);
    const bool there = mine != existing.end();
    if (there) {
      Check(xbase::d4go(to.Data, mine->second), table);
      existing.erase(mine);
    }
    StartRow(to.Data, there, table);
    Check(CopyFieldsByPosition(from.Data, to.Data), table);
    Check(xbase::f4assign(to.Table_id, newText), table);
    FinishRow(to.Data, there, table);
  }
  for (const auto& [attribute, recno] : existing) others.push_back(recno);
  DeleteRows(to.Data, others, table);
}

}  // namespace

void AppendRowKeyPairs(const std::string& tableName, std::int32_t oldID, std::int32_t newID, bool overwritten) {
  const std::string oldKey = PadRight(tableName, 20) + PadRight(std::to_string(oldID), 40);
  const std::string newText = PadRight(std::to_string(newID), 40);
  static const char* const kNames[] = {"CHARATTRIBUTES", "ENUMATTRIBUTES", "MEMOATTRIBUTES"};
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  const std::pair<AttributeValuesRecord*, AttributeValuesRecord*> tables[] = {
      {&src.CharAttributes, &dest.CharAttributes},
      {&src.EnumAttributes, &dest.EnumAttributes},
      {&src.MemoAttributes, &dest.MemoAttributes}};
  TableCopyLookups& lookups = Lookups();
  if (lookups.active && !lookups.rowKeysRead) {
    lookups.rowKeysRead = true;
    if (!SameFolder(src.CourseFolder, dest.CourseFolder))
      for (std::size_t i = 0; i < std::size(tables); ++i)
        lookups.rowKeys[i] = StoredKeys(tables[i].first->Data, tables[i].first->RowTag);
  }
  for (std::size_t i = 0; i < std::size(tables); ++i) {
    const auto& [from, to] = tables[i];
    if (from->Data == 0 || to->Data == 0) continue;
    if (overwritten) {
      ReplaceAttributeRows(*from, *to, oldKey, PadRight(tableName, 20) + newText, newText, kNames[i]);
      continue;
    }
    if (lookups.active && !MayHoldRows(static_cast<int>(i), from->RowTag, oldKey)) continue;
    Check(CopyMatchingRows({from->Data, from->RowTag}, {to->Data, to->Table_id}, oldKey, newText), kNames[i]);
  }
}

void CopyUsersTable() {
  WriteLog("Copying users table");
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  if (src.Users.Data == 0 || dest.Users.Data == 0) return;
  struct User {
    std::int32_t id;
    long recno;
  };
  std::vector<User> users;
  xbase::d4tagSelect(src.Users.Data, src.Users.User_IDTag);
  for (int rc = xbase::d4top(src.Users.Data); rc == xbase::kSuccess; rc = xbase::d4skip(src.Users.Data, 1))
    if (Trim(f4str(src.Users.User_Name)) != kMasterUserName)
      users.push_back({Number(src.Users.User_ID), xbase::d4recNo(src.Users.Data)});
  for (const User& user : users) {
    const std::int32_t id = LookupNewUserID(user.id);
    if (id <= LastUserID()) continue;
    if (Seek(dest.Users.Data, dest.Users.User_IDTag, FormatID(id))) continue;
    if (Settings().Operation != 2) {
      bool hasClass = false;
      const std::string key = FormatID(user.id);
      if (Seek(src.Classes.Data, src.Classes.User_idTag, key)) {
        do hasClass = hasClass || LookupNewID(kClassesTable, Number(src.Classes.Class_id)) > 0;
        while (xbase::d4seekNext(src.Classes.Data, key) == xbase::kSuccess);
      }
      if (!hasClass) continue;
    }
    xbase::d4go(src.Users.Data, user.recno);
    StartRow(dest.Users.Data, false, "USERS");
    Check(xbase::f4assign(dest.Users.User_ID, FormatID(id)), "USERS");
    Check(CopyFieldValue(dest.Users.User_Name, src.Users.User_Name), "USERS");
    Check(CopyFieldValue(dest.Users.Password, src.Users.Password), "USERS");
    Check(CopyFieldValue(dest.Users.Edit_Pswd, src.Users.Edit_Pswd), "USERS");
    FinishRow(dest.Users.Data, false, "USERS");
  }
}

void CopyStandardNodes() {
  const StandardRecord& s = Src().Standard;
  const StandardRecord& d = Dest().Standard;
  if (s.Data == 0 || d.Data == 0) return;
  for (const std::string& key : StandardNodeKeys()) {
    if (!Seek(s.Data, s.StandardIDTag, key)) continue;
    const std::string newKey = MappedNodeKey(key);
    // A node that keeps its number and is there already is the same node, and so is
    // one that a restore finds it copied before.
    if ((newKey == key || NodeWasInDestination(key)) && Seek(d.Data, d.StandardIDTag, newKey)) continue;
    const StandardKey node = ParseStandardKey(newKey);
    const std::int16_t tree = static_cast<std::int16_t>(Number(s.Tree_id));
    const StandardKey parent = ParseStandardKey(MappedNodeKey(StandardKeyString(tree, Number(s.Parent_id))));
    StartRow(d.Data, false, "STANDARD");
    Check(xbase::f4assignLong(d.Tree_id, node.TreeID), "STANDARD");
    Check(xbase::f4assignLong(d.Node_id, node.NodeID), "STANDARD");
    Check(xbase::f4assignLong(d.Parent_id, parent.NodeID), "STANDARD");
    Check(CopyFieldValue(d.Order, s.Order), "STANDARD");
    Check(CopyFieldValue(d.Descript, s.Descript), "STANDARD");
    FinishRow(d.Data, false, "STANDARD");
  }
}

void CopyLinkTableRows() {
  const SesResultsRecord& s = Src().SesResults;
  const SesResultsRecord& d = Dest().SesResults;
  if (s.Data == 0 || d.Data == 0) return;
  const auto& students = Mapping(kStudentsTable).SelectedSet;
  const auto& sesQuests = Mapping(kSesQuestsTable).SelectedSet;
  const char* const table = "SESRESULTS";
  // The results of a session question the copy wrote over become the package's:
  // written into the destination's records of the same student, the others marked.
  std::map<std::pair<std::int32_t, std::int32_t>, long> existing;  // session question, student
  std::vector<long> others;
  if (Run().active)
    for (std::int32_t sesQues : Run().overwrittenSesQuests) {
      const std::string key = FormatID(sesQues);
      if (!Seek(d.Data, d.SesQues_idTag, key)) continue;
      do {
        if (!existing.emplace(std::pair{sesQues, Number(d.Student_id)}, xbase::d4recNo(d.Data)).second)
          others.push_back(xbase::d4recNo(d.Data));
      } while (xbase::d4seekNext(d.Data, key) == xbase::kSuccess);
    }
  xbase::d4tagSelect(s.Data, 0);
  for (int rc = xbase::d4top(s.Data); rc == xbase::kSuccess; rc = xbase::d4skip(s.Data, 1)) {
    if (xbase::d4deleted(s.Data)) continue;
    const std::int32_t student = Number(s.Student_id);
    const std::int32_t sesQues = Number(s.SesQues_id);
    if (!students.count(student) || !sesQuests.count(sesQues)) continue;
    const std::int32_t newStudent = LookupNewID(kStudentsTable, student);
    const std::int32_t newSesQues = LookupNewID(kSesQuestsTable, sesQues);
    if (newStudent < 1 || newSesQues < 1) continue;
    const auto found = existing.find({newSesQues, newStudent});
    const bool there = found != existing.end();
    if (there) {
      Check(xbase::d4go(d.Data, found->second), table);
      existing.erase(found);
    }
    StartRow(d.Data, there, table);
    Check(xbase::f4assign(d.Student_id, FormatID(newStudent)), table);
    Check(xbase::f4assign(d.SesQues_id, FormatID(newSesQues)), table);
    // The answer is copied as it stands: a letter answer would not survive a number.
    Check(CopyFieldValue(d.Answer, s.Answer), table);
    Check(xbase::f4assignLong(d.Time, xbase::f4long(s.Time)), table);
    FinishRow(d.Data, there, table);
  }
  for (const auto& [key, recno] : existing) others.push_back(recno);
  DeleteRows(d.Data, others, table);
}

void CopyMappedRows() {
  const PrintOptRecord& s = Src().PrintOpt;
  const PrintOptRecord& d = Dest().PrintOpt;
  if (s.Data == 0 || d.Data == 0) return;
  xbase::d4tagSelect(s.Data, s.Print_idTag);
  for (int rc = xbase::d4top(s.Data); rc == xbase::kSuccess; rc = xbase::d4skip(s.Data, 1)) {
    StartRow(d.Data, false, "PRINTOPT");
    Check(CopyFieldsByPosition(s.Data, d.Data), "PRINTOPT");
    Check(xbase::f4assign(d.Print_ID, FormatID(LookupNewID(kPrintOptTable, Number(s.Print_ID)))), "PRINTOPT");
    Check(xbase::f4assign(d.User_ID, FormatID(LookupNewUserID(Number(s.User_ID)))), "PRINTOPT");
    FinishRow(d.Data, false, "PRINTOPT");
  }
}

namespace {

// An image the source folder lacks under its own name, as the installation's other
// folders or the course's image archive hold it (a large "L" picture included): copied
// to the target name with the found file's extension.
void CopyLocatedImage(const std::string& stem, const std::string& targetStem) {
  bool large = false, flag = false;
  const std::string found = LocateImageFile(stem, large, flag);
  if (found.empty()) return;
  const std::string target = targetStem + fs::path(found).extension().string();
  std::error_code ec;
  if (fs::equivalent(found, target, ec)) return;
  if (WritingAside()) {
    PlacePicture(found, FindPath(target));
  } else {
    CopyFileReplace(found, target);
  }
  WriteLog("Copied image from " + found + " to " + target);
}

}  // namespace

void CopyImages() {
  WriteLog("Copying images");
  const std::string from = Src().CourseFolder;
  const std::string to = Dest().CourseFolder;
  std::error_code ec;
  // Both folders are listed once: looking each name up in a folder of thousands of
  // pictures would read the whole folder for every file copied.
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(from, ec))
    if (entry.is_regular_file(ec)) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  ImageFolderNames targets(FindPath(to));
  for (std::int32_t old : SelectedImageIDs()) {
    const std::int32_t id = LookupNewID(kImageFiles, old);
    if (id == 0) continue;
    const std::string stem = FormatID(old);
    bool found = false;
    for (auto it = std::lower_bound(files.begin(), files.end(), stem); it != files.end(); ++it) {
      const std::string& name = *it;
      if (name.compare(0, stem.size(), stem) != 0) break;
      if (name.size() < stem.size() + 1 || name[stem.size()] != '.') continue;
      found = true;
      const std::string extension = name.substr(stem.size() + 1);
      // The same publisher number is the same publisher picture: the course's own
      // file, which its own questions show, stays.
      if (old < kPublisherThreshold && id == old && Settings().OfficeMode != 1 && targets.Has(name)) {
        WriteLog("Kept the course's own publisher picture " + to + "/" + name);
        continue;
      }
      const std::string source = JoinPath(from, name);
      const std::string target = targets.Claim(FormatID(id) + "." + extension);
      if (fs::equivalent(source, target, ec)) continue;
      PlacePicture(source, target);
      WriteLog("Copied image from " + from + "/" + name + " to " + to + "/" + FormatID(id) + "." + extension);
    }
    // The search starts from the current course, which in a restore or an import is
    // the destination: there a picture of the same name is the package's only when
    // the identifier is kept.
    if (!found && (Settings().Operation != 2 || id == old)) CopyLocatedImage(stem, JoinPath(to, FormatID(id)));
  }
}

}  // namespace tolvarin
