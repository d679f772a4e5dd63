#include "engine/transfer/database_sets.h"

#include "core/box_buttons.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/open_table.h"
#include "engine/transfer/files_aside.h"
#include "engine/transfer/table_mapping.h"
#include "engine/transfer/transfer_state.h"

namespace tolvarin {
namespace {

// The engine's number for a table that is missing or in use.
constexpr int kOpenFailure = 15001;

enum class Side { Source, Destination };

// An open routine that left its record closed ends the run. A transfer into work
// copies has changed nothing of its course then: it says so and ends as a failed
// run, not a fatal one.
template <typename Record>
void Require(const Record& record) {
  if (record.Data != 0) return;
  if (Settings().Interactive) ReportOpenFailure(kOpenFailure);
  if (WritingAside()) {
    const std::string text = "The table " + LastRepairPath() + " could not be opened.  \"" + Dest().CourseFolder +
                             "\" was not changed.";
    WriteLog("TOLVARIN ERROR: " + text);
    MsgBox(text, kMbCritical);
    Terminate(EndReason::Failed);
  }
  Terminate();
}

template <typename Record, typename Open>
void OpenInto(Record& record, const std::string& folder, Open open) {
  open(folder, record);
  Require(record);
}

void OpenSet(DatabaseSet& set, Side side) {
  const RunSettings& s = Settings();
  const bool users = s.Mode == 0 && s.Interactive && (side == Side::Source || s.ImportMode != 6);
  const std::string& course = set.TablesFolder.empty() ? set.CourseFolder : set.TablesFolder;
  if (users) OpenInto(set.Users, set.BrandFolder, OpenUsersTable);
  if (s.IncludeTestContent) {
    OpenInto(set.Exams, course, OpenExamsTable);
    OpenInto(set.ExamQues, course, OpenExamQuesTable);
  }
  if (s.IncludeGradebookContent) {
    OpenInto(set.Sessions, course, OpenSessionsTable);
    WriteDebugLog(side == Side::Source ? "initsrc" : "initdest");
    OpenInto(set.SesQuests, course, OpenSesQuestsTable);
    OpenInto(set.SesResults, course, OpenSesResultsTable);
    OpenInto(set.Templates, course, OpenTemplatesTable);
    OpenInto(set.Classes, course, OpenClassesTable);
    OpenInto(set.Students, course, OpenStudentsTable);
  }
  OpenInto(set.Attributes, course, OpenAttributesTable);
  OpenInto(set.CharAttributes, course, OpenCharAttributesTable);
  OpenInto(set.EnumAttributes, course, OpenEnumAttributesTable);
  OpenInto(set.EnumValues, course, OpenEnumValuesTable);
  OpenInto(set.MemoAttributes, course, OpenMemoAttributesTable);
  OpenInto(set.PrintOpt, course, OpenPrintOptTable);
  OpenInto(set.Quests, course, OpenQuestsTable);
  OpenInto(set.QuesType, course, OpenQuesTypeTable);
  OpenInto(set.Descript, course, OpenDescriptTable);
  OpenInto(set.Standard, course, [](const std::string& f, StandardRecord& r) { OpenStandardTable(f, "", r); });
  OpenInto(set.StanQues, course, OpenStanQuesTable);
}

}  // namespace

DatabaseSet& Src() {
  static DatabaseSet set;
  return set;
}

DatabaseSet& Dest() {
  static DatabaseSet set;
  return set;
}

void InitSrc() {
  WriteLog("Init SRC");
  OpenSet(Src(), Side::Source);
  InitSrcTableDefs();
  WriteLog("End Init SRC");
}

void InitDest() {
  WriteLog("Init DEST");
  OpenSet(Dest(), Side::Destination);
  InitDestTableDefs();
  WriteLog("End Init DEST");
}

void UninitSrc() {
  DatabaseSet& s = Src();
  CloseTableRecord(s.Users);
  CloseTableRecord(s.Exams);
  CloseTableRecord(s.ExamQues);
  CloseTableRecord(s.Sessions);
  CloseTableRecord(s.SesQuests);
  CloseTableRecord(s.SesResults);
  CloseTableRecord(s.Templates);
  CloseTableRecord(s.Classes);
  CloseTableRecord(s.Students);
  CloseTableRecord(s.Attributes);
  CloseTableRecord(s.EnumAttributes);
  CloseTableRecord(s.EnumValues);
  CloseTableRecord(s.MemoAttributes);
  CloseTableRecord(s.CharAttributes);
  CloseTableRecord(s.PrintOpt);
  CloseTableRecord(s.Quests);
  CloseTableRecord(s.QuesType);
  CloseTableRecord(s.Descript);
  CloseTableRecord(s.Standard);
  CloseTableRecord(s.StanQues);
}

void UninitDest() {
  DatabaseSet& d = Dest();
  CloseTableRecord(d.Users);
  CloseTableRecord(d.Exams);
  CloseTableRecord(d.ExamQues);
  CloseTableRecord(d.PrintOpt);
  CloseTableRecord(d.Quests);
  CloseTableRecord(d.QuesType);
  CloseTableRecord(d.Descript);
  CloseTableRecord(d.SesQuests);
  CloseTableRecord(d.SesResults);
  CloseTableRecord(d.Sessions);
  CloseTableRecord(d.Templates);
  CloseTableRecord(d.Classes);
  CloseTableRecord(d.Students);
  CloseTableRecord(d.Attributes);
  CloseTableRecord(d.EnumAttributes);
  CloseTableRecord(d.EnumValues);
  CloseTableRecord(d.MemoAttributes);
  CloseTableRecord(d.CharAttributes);
  CloseTableRecord(d.Standard);
  CloseTableRecord(d.StanQues);
}

void CloseSrc() { UninitSrc(); }
void CloseDest() { UninitDest(); }

void SetSrcToCourse() {
  DatabaseSet& s = Src();
  s.BrandFolder = Paths().AreaFolder + "/..";
  s.AreaFolder = Paths().AreaFolder;
  s.CourseFolder = Paths().CoursePath;
  s.TablesFolder.clear();
  InitSrc();
  Transfer().KeepUserIDs = true;
  Transfer().KeepUserIDsUnchanged = true;
}

void SetDestToCourse(const std::string& tablesFolder) {
  DatabaseSet& d = Dest();
  d.BrandFolder = Paths().AreaFolder + "/..";
  d.AreaFolder = Paths().AreaFolder;
  d.CourseFolder = Paths().CoursePath;
  d.TablesFolder = tablesFolder;
  InitDest();
}

void PointSetAt(DatabaseSet& set, const std::string& folder) {
  set.BrandFolder = folder;
  set.AreaFolder = folder;
  set.CourseFolder = folder;
  set.TablesFolder.clear();
}

}  // namespace tolvarin
