#include "engine/transfer/id_mapping.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "construction/blank_tables.h"
#include "core/box_buttons.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "data/record_ops.h"
#include "data/standards.h"
#include "engine/modes/login.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/id_windows.h"
#include "engine/transfer/node_matching.h"
#include "engine/transfer/overwrite_questions.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/transfer_state.h"

namespace tolvarin {
namespace {

using transfer::Number;
using transfer::Seek;
using transfer::SeekLive;

constexpr std::int32_t kPublisherThreshold = 20000;
constexpr std::int32_t kOwnerNeverRemapped = 9999999;
constexpr std::int32_t kCourseBlock = 100000;
constexpr std::int32_t kMaxImageID = 9999999;  // a picture's number is its file's seven digits
constexpr std::int32_t kFirstUserNode = 20001;

struct MappingState {
  IdMap images;
  std::int32_t nextImage = 0;
  std::int32_t lastImage = 0;  // the images' window end
  std::unordered_set<std::int32_t> imagesTaken;  // destination files and identifiers handed out
  IdMap users;
  std::int32_t nextUser = 0;
  std::int32_t lastUser = 0;
  std::map<std::string, std::string> nodes;
  std::map<std::string, std::string> nextNodeByTree;
  std::set<std::string> nodesGiven;  // new node keys handed out, kept ones included
  std::map<std::string, std::string> nodesThere;  // selected nodes the destination holds already
  // Per table: the destination rows the teacher agreed to have written over.
  std::map<std::int32_t, std::unordered_set<std::int32_t>> agreed;
  std::unordered_map<std::int32_t, std::int32_t> linkedQuestions;  // a question left out -> its twin there
  std::set<std::int32_t> besideFrom;  // tables whose new identifiers start at the destination's next key
  int leftOut = 0;
  RemapSettings remap;
  std::string exhausted;  // the stop's text once a window ran out (or identifiers do not fit)
};

MappingState& M() {
  static MappingState state;
  return state;
}

bool InDestination(const TableRef& ref, std::int32_t id) { return Seek(ref.Data, ref.KeyTag, FormatID(id)); }
bool LiveInDestination(const TableRef& ref, std::int32_t id) { return SeekLive(ref.Data, ref.KeyTag, FormatID(id)); }

bool InteractiveRestore() { return Settings().Interactive && Settings().Operation == 2; }

// Modes whose new identifiers come from the table's window one after another.
bool CountsUp(long mode) { return mode == 1 || mode == 2 || mode == 4 || mode == 7; }

void Exhausted(const std::string& what, std::int32_t first, std::int32_t last) {
  if (M().exhausted.empty()) M().exhausted = WindowExhaustedText(what, first, last);
}

// The next identifier of the window that the destination does not hold and that no
// other row of this transfer took; 0 when the window is used up.
std::int32_t NextFreeID(TableMapping& m, bool checkDestination) {
  while (m.NextID >= 1 && m.NextID <= m.LastNewID) {
    const std::int32_t candidate = m.NextID++;
    if (m.HandedOut.count(candidate)) continue;
    if (checkDestination && InDestination(m.Dest, candidate)) continue;
    m.HandedOut.insert(candidate);
    return candidate;
  }
  Exhausted(m.TableName, m.FirstNewID, m.LastNewID);
  return 0;
}

void Assign(TableMapping& m, std::int32_t oldID, std::int32_t newID) {
  m.IDMap.Set(oldID, newID);
  if (newID > 0) m.HandedOut.insert(newID);
}

// A row whose parent kept its identifier keeps its own as well, but only when that
// is free: no destination row holds it and no other row of this transfer was given
// it. Otherwise it keeps the one MapID gave it.
void KeepOwnIDWhenFree(TableMapping& m, std::int32_t oldID) {
  if (m.IDMap.Get(oldID) == oldID || m.HandedOut.count(oldID) || InDestination(m.Dest, oldID)) return;
  Assign(m, oldID, oldID);
}

// The row is not copied after all; its new identifier is free again.
void LeaveOut(TableMapping& m, std::int32_t oldID) {
  m.HandedOut.erase(m.IDMap.Get(oldID));
  m.IDMap.Set(oldID, 0);
}

// Image identifiers the destination course folder already holds files for ("00?????.*").
void CollectImageFiles(const std::string& folder, std::int32_t& low, std::int32_t& high,
                       std::unordered_set<std::int32_t>* taken) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot != 7 || name.compare(0, 2, "00") != 0) continue;
    if (!std::all_of(name.begin(), name.begin() + 7, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      continue;
    const std::int32_t id = std::stoi(name.substr(2, 5));
    low = std::min(low, id);
    high = std::max(high, id);
    if (taken) taken->insert(id);
  }
}

std::int32_t CourseBlockID(std::int32_t oldID) {
  return oldID > kCourseBlock ? oldID : (CurrentCourse().CourseID + 1) * kCourseBlock + oldID;
}

TableRef UsersRef(const UsersRecord& users) {
  TableRef ref = users.Ref;
  ref.Data = users.Data;
  ref.KeyField = users.User_ID;
  ref.KeyTag = users.User_IDTag;
  ref.TableName = "USERS";
  return ref;
}

bool IsMasterUser(const UsersRecord& users) { return Trim(f4str(users.User_Name)) == kMasterUserName; }

// The user pictures (20000 and above) that destination rows the copy does not write
// over name, and every picture that any destination row names.
void DestinationPictures(std::unordered_set<std::int32_t>& kept, std::unordered_set<std::int32_t>& named) {
  const DatabaseSet& dest = Dest();
  const auto note = [&](std::int32_t picture, bool rowKept) {
    if (picture <= 0) return;
    named.insert(picture);
    if (rowKept && picture >= kPublisherThreshold) kept.insert(picture);
  };
  const auto questions = NewIDsOf(Mapping(kQuestsTable));
  if (const xbase::Data4 q = dest.Quests.Data; q != 0) {
    xbase::d4tagSelect(q, 0);
    for (int rc = xbase::d4top(q); rc == xbase::kSuccess; rc = xbase::d4skip(q, 1)) {
      const bool rowKept = !questions.count(Number(dest.Quests.Quest_id));
      for (int k = 1; k <= dest.Quests.AnswerCount; ++k) note(Number(dest.Quests.AnswerPctField(k)), rowKept);
    }
  }
  const auto descriptions = NewIDsOf(Mapping(kDescriptTable));
  if (const xbase::Data4 d = dest.Descript.Data; d != 0) {
    xbase::d4tagSelect(d, 0);
    for (int rc = xbase::d4top(d); rc == xbase::kSuccess; rc = xbase::d4skip(d, 1))
      note(Number(dest.Descript.Image_id), !descriptions.count(Number(dest.Descript.DescriptID)));
  }
}

// The modes that give a package picture a number by rule (its own, RangeStart above
// it, or its course block) may land it on a file of the destination's own, and a
// picture file is written over only when every row that names it is: one that a
// row the user kept (or that the package lacks) still names takes the next free
// number instead, as the modes that renumber give it. REMAPOFFSET looks for it
// above RangeStart, REMAPBYCOURSE in the course's block.
void MoveImagesOffKeptRows() {
  const RunSettings& s = Settings();
  MappingState& st = M();
  const long mode = s.ImportMode;
  if (s.Operation != 2 || (mode != 3 && mode != 5 && mode != 6) || st.images.Empty()) return;
  std::unordered_set<std::int32_t> kept, named;
  DestinationPictures(kept, named);
  std::int32_t first = 1;
  if (mode == 5) {
    first = std::max(st.remap.RangeStart + 1, kPublisherThreshold);
    st.lastImage = kMaxImageID;
  } else if (mode == 6) {
    const std::int32_t block = CourseBlockID(0);
    first = block + 1;
    st.lastImage = block + kCourseBlock - 1;
  }
  if (mode != 3) st.nextImage = first;
  for (std::int32_t old = std::max(st.images.low(), kPublisherThreshold); old <= st.images.high(); ++old) {
    const std::int32_t mapped = st.images.Get(old);
    if (mapped == 0 || !kept.count(mapped)) continue;
    while (st.nextImage >= 1 && st.nextImage <= st.lastImage &&
           (st.imagesTaken.count(st.nextImage) || named.count(st.nextImage)))
      ++st.nextImage;
    if (st.nextImage < 1 || st.nextImage > st.lastImage) {
      Exhausted("image", first, st.lastImage);
      return;
    }
    const std::int32_t newID = st.nextImage++;
    st.images.Set(old, newID);
    st.imagesTaken.insert(newID);
    WriteLog("Image " + std::to_string(old) + " is a picture of the destination's own: mapped to " +
             std::to_string(newID));
  }
}

bool Agreed(std::int32_t t, std::int32_t destID) {
  const auto found = M().agreed.find(t);
  return found != M().agreed.end() && found->second.count(destID) > 0;
}

// The destination field of a table's reference to another table, 0 when it has none.
xbase::Field4 DestReference(const TableMapping& m, std::int32_t refTable) {
  for (const TableReference& r : m.References)
    if (r.RefTableNo == refTable && r.DestField != 0 && xbase::f4data(r.DestField) == m.Dest.Data) return r.DestField;
  return 0;
}

// The package row keeps its identifier, and the destination holds a live row of it
// (left current in the destination table).
bool WritesOverARow(const TableMapping& m, std::int32_t oldID) {
  return oldID != 0 && m.IDMap.Get(oldID) == oldID && LiveInDestination(m.Dest, oldID);
}

// The package row takes a new identifier beside the destination's row of its own, as
// the course's new rows take theirs: from the destination's next key on.
void MoveBeside(TableMapping& m, std::int32_t oldID) {
  MappingState& st = M();
  if (st.besideFrom.insert(m.TableNo).second && m.Dest.Data != 0 && m.Dest.KeyTag != 0) {
    const std::string key = GetNewRecordKey(m.Dest);
    if (!key.empty()) m.NextID = std::max(m.NextID, static_cast<std::int32_t>(TextValue(key)));
  }
  const std::int32_t newID = NextFreeID(m, true);
  if (newID == 0) return;  // the stop says why
  m.IDMap.Set(oldID, newID);
  WriteLog(m.TableName + " " + FormatID(oldID) + " would write over a row the destination keeps: added as " +
           FormatID(newID));
}

// See BuildMappings: in an interactive import a destination row the teacher kept stays
// as it was, and so does every row that hangs off it or that it names.
void MoveRowsOffKeptRows() {
  const RunSettings& s = Settings();
  if (!s.Interactive || s.Operation != 2 || s.ImportMode == 5 || s.ImportMode == 6) return;
  // The rows a box decides on: kept unless the teacher said Yes (REMAPFROMID's
  // questions are asked about by the copy, all at once).
  for (const std::int32_t t : {kQuestsTable, kExamsTable, kSessionsTable, kClassesTable, kTemplatesTable}) {
    TableMapping& m = Mapping(t);
    if (!m.Enabled || (t == kQuestsTable && s.ImportMode == 7)) continue;
    for (const std::int32_t old : std::vector<std::int32_t>(m.SelectedIDs))
      if (WritesOverARow(m, old) && !Agreed(t, old)) MoveBeside(m, old);
  }
  // Rows that hang off a parent are written over only with it.
  const std::pair<std::int32_t, std::int32_t> hanging[] = {
      {kExamQuesTable, kExamsTable}, {kSesQuestsTable, kSessionsTable}, {kStudentsTable, kClassesTable}};
  for (const auto& [child, parent] : hanging) {
    TableMapping& m = Mapping(child);
    const TableMapping& p = Mapping(parent);
    const xbase::Field4 field = DestReference(m, parent);
    if (!m.Enabled || field == 0) continue;
    const auto written = NewIDsOf(p);
    for (const std::int32_t old : std::vector<std::int32_t>(m.SelectedIDs)) {
      if (!WritesOverARow(m, old)) continue;
      const std::int32_t own = Number(field);
      if (!written.count(own) && LiveInDestination(p.Dest, own)) MoveBeside(m, old);
    }
  }
  // Rows other rows name are written over only when every live row naming them is.
  const std::pair<std::int32_t, std::int32_t> named[] = {{kDescriptTable, kQuestsTable}, {kPrintOptTable, kExamsTable}};
  for (const auto& [target, referrer] : named) {
    TableMapping& m = Mapping(target);
    const TableMapping& r = Mapping(referrer);
    const xbase::Field4 field = DestReference(r, target);
    if (!m.Enabled || field == 0 || r.Dest.Data == 0) continue;
    const auto written = NewIDsOf(r);
    std::unordered_set<std::int32_t> kept;
    xbase::d4tagSelect(r.Dest.Data, 0);
    for (int rc = xbase::d4top(r.Dest.Data); rc == xbase::kSuccess; rc = xbase::d4skip(r.Dest.Data, 1))
      if (!xbase::d4deleted(r.Dest.Data) && !written.count(Number(r.Dest.KeyField))) kept.insert(Number(field));
    for (const std::int32_t old : std::vector<std::int32_t>(m.SelectedIDs))
      if (kept.count(old) && WritesOverARow(m, old)) MoveBeside(m, old);
  }
  // A question type follows its question.
  TableMapping& types = Mapping(kQuesTypeTable);
  for (const std::int32_t old : types.SelectedIDs)
    if (old != 0 && types.IDMap.Get(old) != 0) types.IDMap.Set(old, Mapping(kQuestsTable).IDMap.Get(old));
}

// Stops the transfer with this text unless another stop came first.
void Stop(const std::string& text) {
  if (M().exhausted.empty()) M().exhausted = text;
}

// The largest identifier a key field holds: seven digits as a rule.
std::int32_t LargestKey(xbase::Field4 field) {
  const int length = field != 0 ? std::min(xbase::f4len(field), 7) : 7;
  std::int32_t largest = 1;
  for (int i = 0; i < length; ++i) largest *= 10;
  return largest - 1;
}

// Every identifier handed out fits its key field (and a picture its seven-digit file
// name), REMAPOFFSET's questions and descriptions also RangeEnd; and REMAPOFFSET's
// numbers meet no live row of the destination (an offset writes over nothing: it
// would take the teacher's rows without a word). Checked before anything is copied.
void CheckIdentifiersFit() {
  const RunSettings& s = Settings();
  if (s.Operation != 2 && s.Operation != 4) return;
  const bool offset = s.ImportMode == 5;
  std::string tooLarge;
  std::vector<std::string> meets;
  int meeting = 0;
  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    const TableMapping& m = Mapping(t);
    if (!m.Enabled) continue;
    const bool window = offset && (t == kQuestsTable || t == kDescriptTable);
    const std::int32_t largest = window ? std::min(m.LastNewID, LargestKey(m.Dest.KeyField)) : LargestKey(m.Dest.KeyField);
    for (const std::int32_t old : m.SelectedIDs) {
      const std::int32_t id = old != 0 ? m.IDMap.Get(old) : 0;
      if (id <= 0) continue;
      if (id > largest) {
        if (tooLarge.empty())
          tooLarge = "the row " + FormatID(old) + " of " + m.TableName + " would become " + std::to_string(id) +
                     ", above " + (window && largest == m.LastNewID ? "RangeEnd " : "the largest identifier ") +
                     std::to_string(largest);
        continue;
      }
      if (offset && id != old && LiveInDestination(m.Dest, id) && ++meeting <= 3)
        meets.push_back(m.TableName + " " + FormatID(id));
    }
  }
  if (tooLarge.empty())
    for (const std::int32_t old : SelectedImageIDs())
      if (const std::int32_t id = LookupNewID(kImageFiles, old); id > kMaxImageID) {
        tooLarge = "the picture " + FormatID(old) + " would become " + std::to_string(id) +
                   ", above the largest identifier " + std::to_string(kMaxImageID);
        break;
      }
  if (!tooLarge.empty()) {
    Stop("The identifiers of this import do not fit: " + tooLarge + ".  Nothing was imported.");
    return;
  }
  if (meeting == 0) return;
  std::string list;
  for (const std::string& row : meets) list += (list.empty() ? "" : ", ") + row;
  Stop("The identifiers this import would give from RangeStart " + std::to_string(M().remap.RangeStart) +
       " are held by " + std::to_string(meeting) + " rows of the course (" + list + (meeting > 3 ? ", ..." : "") +
       "), which it would write over.  Choose another RangeStart.  Nothing was imported.");
}

}  // namespace

std::string WindowExhaustedText(const std::string& what, std::int32_t first, std::int32_t last) {
  return "There are no free identifiers left for new " + what + " rows from " + std::to_string(first) + " to " +
         std::to_string(last) + " in the destination. Nothing was imported.";
}

void AgreeToOverwrite(const TableMapping& mapping, std::int32_t destID, bool agreed) {
  if (agreed)
    M().agreed[mapping.TableNo].insert(destID);
  else
    M().agreed[mapping.TableNo].erase(destID);
}

void LinkToDestinationQuestion(std::int32_t oldID, std::int32_t destID) { M().linkedQuestions[oldID] = destID; }

bool AnyQuestionRefused() {
  const TableMapping& m = Mapping(kQuestsTable);
  for (const std::int32_t old : m.SelectedIDs)
    if (old != 0 && m.IDMap.Get(old) == 0) return true;
  return false;
}

void LeaveOutUnresolvedRows() {
  const RunSettings& s = Settings();
  if (s.Operation != 2 && s.Operation != 4) return;
  for (const std::int32_t t : {kExamQuesTable, kSesQuestsTable}) {
    TableMapping& m = Mapping(t);
    if (!m.Enabled || m.Src.Data == 0) continue;
    for (const std::int32_t old : m.SelectedIDs) {
      if (old == 0 || m.IDMap.Get(old) == 0 || !Seek(m.Src.Data, m.Src.KeyTag, FormatID(old))) continue;
      for (const TableReference& r : m.References) {
        if (r.SrcField == 0 || xbase::f4data(r.SrcField) != m.Src.Data) continue;
        const std::int32_t named = Number(r.SrcField);
        if (named == 0 || LookupReferenceID(r.RefTableNo, named) > 0) continue;
        WriteLog("Left out " + m.TableName + " " + FormatID(old) + ": it names " + Mapping(r.RefTableNo).TableName +
                 " " + FormatID(named) + ", which this transfer does not bring");
        LeaveOut(m, old);
        ++M().leftOut;
        break;
      }
    }
  }
}

int LeftOutCount() { return M().leftOut; }
void CountLeftOut(int n) { M().leftOut += n; }

std::string LeftOutText() {
  const int n = M().leftOut;
  if (n == 0) return "";
  return std::to_string(n) + (n == 1 ? " row or reference that names" : " rows and references that name") +
         " content this import does not bring (content you kept, or content missing from the package) " +
         (n == 1 ? "was" : "were") + " left out.";
}

const IdMap& ImageMap() { return M().images; }
std::int32_t NextImageID() { return M().nextImage; }
const IdMap& UserMap() { return M().users; }
std::int32_t LastUserID() { return M().lastUser; }
const std::map<std::string, std::string>& StandardNodeMap() { return M().nodes; }

std::string MappedNodeKey(const std::string& nodeKeyText) {
  const auto found = M().nodes.find(nodeKeyText);
  return found == M().nodes.end() ? nodeKeyText : found->second;
}

bool NodeWasInDestination(const std::string& nodeKeyText) { return M().nodesThere.count(nodeKeyText) > 0; }

bool BuildMappings() {
  RunSettings& s = Settings();
  TransferFlags& flags = Transfer();
  DatabaseSet& src = Src();
  M() = MappingState{};
  M().remap = ReadRemapSettings().value_or(RemapSettings{s.ImportMode, s.OfficeMode, 0, 0, 0});

  // Owners: kept as they are except in a user-content restore, which sends a
  // package's several users through the user map and gives a one-user package's
  // rows to the logged-in user.
  if (s.Mode != 0 || s.Operation != 2 || src.Users.Data == 0) {
    flags.KeepUserIDs = flags.KeepUserIDsUnchanged = true;
  } else {
    const bool several = xbase::d4top(src.Users.Data) == xbase::kSuccess && xbase::d4skip(src.Users.Data, 1) == xbase::kSuccess;
    flags.KeepUserIDs = several;
    flags.KeepUserIDsUnchanged = false;
  }

  InitImageMapping();

  if (s.ImportMode != 6 && s.Mode == 0 && s.Interactive && src.Users.Data != 0) {
    std::vector<std::int32_t> users;
    xbase::d4tagSelect(src.Users.Data, src.Users.User_IDTag);
    for (int rc = xbase::d4top(src.Users.Data); rc == xbase::kSuccess; rc = xbase::d4skip(src.Users.Data, 1))
      if (!IsMasterUser(src.Users)) users.push_back(Number(src.Users.User_ID));
    for (std::int32_t u : users) MapUser(u);
  }

  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    TableMapping& m = Mapping(t);
    if (m.Enabled) {
      const std::vector<std::int32_t> ids = m.SelectedIDs;
      for (std::int32_t id : ids)
        if (id != 0) MapID(m, id);
    } else if (t == kStandardNodesTable) {
      const std::vector<std::string> keys = StandardNodeKeys();
      // A transfer that keeps every identifier (a restore, a game import) finds the
      // teacher's nodes it copied before: those are mapped onto themselves, and no new
      // node takes their numbers.
      if (s.ImportMode == 3) {
        M().nodesThere = MatchNodesAlreadyThere(src.Standard, Dest().Standard, keys);
        for (const auto& [old, there] : M().nodesThere) M().nodesGiven.insert(there);
      }
      for (const std::string& key : keys) MapCategory(key);
    }
  }

  MoveRowsOffKeptRows();
  MoveImagesOffKeptRows();
  CheckIdentifiersFit();

  if (!M().exhausted.empty()) {
    WriteLog(M().exhausted);
    MsgBox(M().exhausted, kMbCritical);
    return false;
  }
  return true;
}

void InitImageMapping() {
  const RunSettings& s = Settings();
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  MappingState& st = M();

  if (s.Mode == 0 && s.Interactive) {
    st.users.Clear();
    st.nextUser = 0;
    if (src.Users.Data != 0) {
      xbase::d4tagSelect(src.Users.Data, src.Users.User_IDTag);
      int rc = xbase::d4bottom(src.Users.Data);
      if (rc == xbase::kSuccess && IsMasterUser(src.Users)) rc = xbase::d4skip(src.Users.Data, -1);
      if (rc == xbase::kSuccess && !xbase::d4bof(src.Users.Data)) {
        st.users.Reset(1, Number(src.Users.User_ID));
        st.nextUser = static_cast<std::int32_t>(TextValue(GetNewRecordKey(UsersRef(dest.Users))));
      }
    }
    st.lastUser = st.nextUser - 1;
  }

  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    TableMapping& m = Mapping(t);
    m.HandedOut.clear();
    if (m.Enabled && m.Src.Data != 0) m.NextID = InitTableMapping(t, m.IDMap);
  }

  std::int32_t low = 9999999, high = 0;
  CollectImageFiles(src.CourseFolder, low, high, nullptr);
  std::int32_t lowest = 0, highest = 0;
  NextFreeIDOverTables(src.Quests, src.Descript, 1, 9999999, lowest, highest);
  if (highest > 0) {
    low = std::min(low, lowest);
    high = std::max(high, highest);
  }
  if (high == 0 || high < low)
    st.images.Clear();
  else
    st.images.Reset(low, high);

  std::int32_t destLow = 9999999, destHigh = 0;
  CollectImageFiles(dest.CourseFolder, destLow, destHigh, &st.imagesTaken);
  // A publisher picture keeps its number, so no other picture may be given it.
  if (s.OfficeMode != 1)
    for (const std::int32_t id : SelectedImageIDs())
      if (id < kPublisherThreshold) st.imagesTaken.insert(id);
  switch (s.ImportMode) {
    case 2:
      st.nextImage = NextFreeIDOverTablesEx(dest.Quests, dest.Descript, 1, 18999);
      st.lastImage = 18999;
      break;
    case 4:
      st.nextImage = NextFreeIDOverTablesEx(dest.Quests, dest.Descript, st.remap.RangeStart, st.remap.RangeEnd);
      st.lastImage = st.remap.RangeEnd;
      break;
    case 5:
    case 6: st.nextImage = 0; break;
    default:
      st.nextImage = NextFreeIDOverTablesEx(dest.Quests, dest.Descript, 1, 99999);
      st.lastImage = 99999;
      break;
  }
  st.nodes.clear();
  st.nextNodeByTree.clear();
  st.nodesGiven.clear();
}

void MapID(TableMapping& m, std::int32_t oldID) {
  const RunSettings& s = Settings();
  if (m.IDMap.Get(oldID) != 0) return;  // already mapped (an exam's printing options come twice)
  if (s.Operation == 1 || s.Operation == 3) {
    if (m.IDMap.Empty()) return;
    Assign(m, oldID, oldID);
    ResolveExistingRow(m, oldID);
    return;
  }
  if (s.ImportMode == 3) {
    KeepSameID(m, oldID);
    return;
  }
  if (!m.Enabled) {
    ResolveExistingRow(m, oldID);
    return;
  }
  switch (s.ImportMode) {
    case 5: Assign(m, oldID, m.FirstNewID + oldID); break;
    case 6: Assign(m, oldID, CourseBlockID(oldID)); break;
    default:
      if (oldID < m.SrcFirstID || oldID > m.SrcLastID) {
        KeepSameID(m, oldID);
        return;
      }
      // A question type takes its question's identifier in ResolveExistingRow.
      if (m.TableNo != kQuesTypeTable) {
        // REMAPFROMID's questions start at RangeStart whatever is there; the copy asks first.
        const bool fromID = s.ImportMode == 7 && m.TableNo == kQuestsTable;
        const std::int32_t newID = NextFreeID(m, !fromID);
        if (newID == 0) return;
        Assign(m, oldID, newID);
      }
      break;
  }
  ResolveExistingRow(m, oldID);
}

void KeepSameID(TableMapping& m, std::int32_t oldID) {
  // An identifier this transfer gave another row already is not given twice: the
  // row takes the next free one of its window instead (a question type follows its
  // question in ResolveExistingRow).
  if (m.HandedOut.count(oldID) && m.IDMap.Get(oldID) != oldID && m.TableNo != kQuesTypeTable) {
    const std::int32_t newID = NextFreeID(m, true);
    if (newID == 0) return;
    Assign(m, oldID, newID);
    ResolveExistingRow(m, oldID);
    return;
  }
  // A row the destination holds only marked deleted is no row of the teacher's: taken without a question.
  bool take = true;
  if (Settings().Interactive && m.Dest.KeyField != 0 && m.Dest.KeyTag != 0 && LiveInDestination(m.Dest, oldID))
    take = ConfirmOverwriteByID(m, oldID);
  if (!take) {
    m.IDMap.Set(oldID, 0);
    return;
  }
  Assign(m, oldID, oldID);
  ResolveExistingRow(m, oldID);
}

void ResolveExistingRow(TableMapping& m, std::int32_t oldID) {
  if (!m.Enabled) return;
  DatabaseSet& src = Src();
  const std::string key = FormatID(oldID);
  switch (m.TableNo) {
    case kQuestsTable:
      if (Seek(src.Quests.Data, src.Quests.Quest_idTag, key))
        for (int k = 1; k <= src.Quests.AnswerCount; ++k) MapImage(Number(src.Quests.AnswerPctField(k)));
      break;
    case kDescriptTable:
      if (Seek(src.Descript.Data, src.Descript.DescriptIDTag, key)) MapImage(Number(src.Descript.Image_id));
      break;
    case kExamsTable:
      if (InteractiveRestore()) ConfirmOverwriteByName(m, oldID, "an exam");
      if (Number(src.Exams.Exam_id) != oldID || xbase::d4recNo(src.Exams.Data) == 0)
        Seek(src.Exams.Data, src.Exams.Exam_idTag, key);
      if (Number(src.Exams.Exam_id) == oldID) MapID(Mapping(kPrintOptTable), Number(src.Exams.Print_ID));
      break;
    case kExamQuesTable:
      // An exam question goes with its exam: one of an exam the user chose to keep
      // would join the destination's exam of that number.
      if (Seek(src.ExamQues.Data, src.ExamQues.Exam_Q_idTag, key) &&
          Mapping(kExamsTable).IDMap.Get(Number(src.ExamQues.Exam_id)) == 0)
        LeaveOut(m, oldID);
      break;
    case kSessionsTable:
      if (InteractiveRestore()) ConfirmOverwriteByName(m, oldID, "a session");
      break;
    case kSesQuestsTable:
      if (Seek(src.SesQuests.Data, src.SesQuests.SesQues_idTag, key)) {
        const std::int32_t session = Number(src.SesQuests.Session_id);
        const std::int32_t newSession = Mapping(kSessionsTable).IDMap.Get(session);
        // So does a session question: a gradebook's session left out takes its questions with it.
        if (newSession == 0)
          LeaveOut(m, oldID);
        else if (newSession == session)
          KeepOwnIDWhenFree(m, oldID);
      }
      break;
    case kClassesTable:
      if (oldID > 99999) {
        m.IDMap.Set(oldID, Settings().Interactive ? 0 : oldID);
        break;
      }
      if (InteractiveRestore()) ConfirmOverwriteByName(m, oldID, "a class");
      break;
    case kStudentsTable:
      if (Seek(src.Students.Data, src.Students.Student_idTag, key)) {
        const std::int32_t klass = Number(src.Students.Class_id);
        const std::int32_t newClass = Mapping(kClassesTable).IDMap.Get(klass);
        if (newClass == 0)
          m.IDMap.Set(oldID, 0);
        else if (newClass == klass)
          KeepOwnIDWhenFree(m, oldID);
      }
      break;
    case kTemplatesTable:
      if (Seek(src.Templates.Data, src.Templates.TemplateIDTag, key) && InteractiveRestore() &&
          f4str(src.Templates.Name).rfind('%', 0) != 0)
        ConfirmOverwriteByName(m, oldID, "a template");
      break;
    case kQuesTypeTable: m.IDMap.Set(oldID, Mapping(kQuestsTable).IDMap.Get(oldID)); break;
    default: break;
  }
}

void MapImage(std::int32_t oldImageID) {
  MappingState& st = M();
  WriteLog("Mapping image: " + std::to_string(oldImageID));
  if (!st.images.Contains(oldImageID) || st.images.Get(oldImageID) != 0) return;
  const RunSettings& s = Settings();
  const long mode = (s.Operation == 1 || s.Operation == 3) ? 3 : s.ImportMode;
  std::int32_t newID = 0;
  if (oldImageID < kPublisherThreshold && s.OfficeMode != 1) {
    newID = oldImageID;  // a publisher picture keeps its number (LookupNewID); no other is given it
  } else if (CountsUp(mode)) {
    while (st.nextImage >= 1 && st.nextImage <= st.lastImage && st.imagesTaken.count(st.nextImage)) ++st.nextImage;
    if (st.nextImage < 1 || st.nextImage > st.lastImage) {
      Exhausted("image", 1, st.lastImage);
      return;
    }
    newID = st.nextImage++;
  } else if (mode == 3) {
    newID = oldImageID;
    st.nextImage = std::max(st.nextImage, oldImageID + 1);
  } else if (mode == 5) {
    newID = st.remap.RangeStart + oldImageID;
  } else if (mode == 6) {
    newID = CourseBlockID(oldImageID);
  }
  st.images.Set(oldImageID, newID);
  st.imagesTaken.insert(newID);
  WriteLog("Mapped to: " + std::to_string(newID));
}

void MapUser(std::int32_t oldUserID) {
  MappingState& st = M();
  if (!st.users.Contains(oldUserID) || st.users.Get(oldUserID) != 0) return;
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  if (Settings().Operation != 1) {
    if (!Seek(src.Users.Data, src.Users.User_IDTag, FormatID(oldUserID))) return;
    const std::string name = f4str(src.Users.User_Name);
    if (Seek(dest.Users.Data, dest.Users.User_NameTag, name)) {
      st.users.Set(oldUserID, Number(dest.Users.User_ID));
      return;
    }
  }
  // A number the destination's users do not hold yet.
  const TableRef ref = UsersRef(dest.Users);
  while (st.nextUser >= 1 && ref.Data != 0 && InDestination(ref, st.nextUser)) ++st.nextUser;
  st.users.Set(oldUserID, st.nextUser++);
}

void MapCategory(const std::string& nodeKeyText) {
  MappingState& st = M();
  const StandardKey key = ParseStandardKey(nodeKeyText);
  if (st.nodes.count(nodeKeyText)) return;
  const RunSettings& s = Settings();
  // A node that keeps its number keeps it only while no other node of this transfer took it.
  if ((s.OfficeMode == 1 || (s.GameImport && s.StandardImportMode != 1 && !IsCustomCourse(key.NodeID))) &&
      st.nodesGiven.insert(nodeKeyText).second) {
    st.nodes[nodeKeyText] = nodeKeyText;
    return;
  }
  if (const auto there = st.nodesThere.find(nodeKeyText); there != st.nodesThere.end()) {
    st.nodes[nodeKeyText] = there->second;
    return;
  }
  const std::string tree = KeyText3(key.TreeID);
  std::int32_t node = 0;
  const auto next = st.nextNodeByTree.find(tree);
  if (next == st.nextNodeByTree.end()) {
    const StandardRecord& dest = Dest().Standard;
    std::int32_t last = -1;
    if (dest.Data != 0 && dest.StandardIDTag != 0) {
      xbase::d4tagSelect(dest.Data, dest.StandardIDTag);
      int rc = xbase::d4seek(dest.Data, StandardKeyString(key.TreeID, 9999999));
      if (rc == xbase::kAfter) rc = xbase::d4skip(dest.Data, -1);
      else if (rc == xbase::kEof) rc = xbase::d4bottom(dest.Data);
      if (rc == xbase::kSuccess && !xbase::d4bof(dest.Data) && Number(dest.Tree_id) == key.TreeID)
        last = Number(dest.Node_id);
    }
    if (last < 0) {
      node = kFirstUserNode;
    } else {
      node = last + 1;
      if (key.NodeID >= kPublisherThreshold && node < kPublisherThreshold) {
        node = kFirstUserNode;
        while (Seek(dest.Data, dest.StandardIDTag, StandardKeyString(key.TreeID, node))) ++node;
      }
    }
  } else {
    node = ParseStandardKey(next->second).NodeID;
    st.nextNodeByTree.erase(next);
  }
  while (st.nodesGiven.count(StandardKeyString(key.TreeID, node))) ++node;
  st.nextNodeByTree[tree] = StandardKeyString(key.TreeID, node + 1);
  st.nodes[nodeKeyText] = StandardKeyString(key.TreeID, node);
  st.nodesGiven.insert(st.nodes[nodeKeyText]);
}

std::int32_t LookupNewID(std::int32_t t, std::int32_t oldID) {
  if (oldID == 0) return 0;
  if (t == kUsersTable) return LookupNewUserID(oldID);
  if (t == kImageFiles) {
    if (oldID < kPublisherThreshold && Settings().OfficeMode != 1) return oldID;
    return M().images.Get(oldID);
  }
  if (t < 1 || t > kTableCount) return 0;
  const IdMap& map = Mapping(t).IDMap;
  if (!map.Contains(oldID)) return 0;
  const std::int32_t mapped = map.Get(oldID);
  return mapped;
}

std::int32_t LookupReferenceID(std::int32_t t, std::int32_t oldID) {
  const std::int32_t id = LookupNewID(t, oldID);
  if (id > 0 || t != kQuestsTable) return id;
  const auto linked = M().linkedQuestions.find(oldID);
  return linked != M().linkedQuestions.end() ? linked->second : 0;
}

std::unordered_set<std::int32_t> NewIDsOf(const TableMapping& m) {
  std::unordered_set<std::int32_t> ids;
  for (std::int32_t old : m.SelectedIDs)
    if (const std::int32_t id = old != 0 ? LookupNewID(m.TableNo, old) : 0; id > 0) ids.insert(id);
  return ids;
}

std::int32_t LookupNewUserID(std::int32_t oldUserID) {
  if (oldUserID == kOwnerNeverRemapped) return kOwnerNeverRemapped;
  const TransferFlags& flags = Transfer();
  if (!flags.KeepUserIDs) return static_cast<std::int32_t>(TextValue(CurrentUser().UserID));
  if (flags.KeepUserIDsUnchanged) return oldUserID;
  return M().users.Get(oldUserID);
}

}  // namespace tolvarin
