#pragma once
// The two sides of every transfer: the source set (SRC) it reads and the
// destination set (DEST) it writes. A set is three folders and the tables opened in
// them, one table record per table (separate from the catalogue's records).
//
// Which tables a set opens depends on the run: users only in an interactive
// user-content run (and, for DEST, not in a migration), the exam tables with the
// test maker beside the host (IncludeTestContent), the gradebook tables with a
// gradebook beside it (IncludeGradebookContent), the rest always. Students and the
// attribute tables are taken from the set's course folder.
#include <string>

#include "data/table_records.h"

namespace tolvarin {

struct DatabaseSet {
  std::string BrandFolder;
  std::string AreaFolder;
  std::string CourseFolder;
  // Where the set's tables are opened when not in CourseFolder (whose pictures the
  // set still reads and writes): a restore's work copies of the course's tables.
  std::string TablesFolder;

  UsersRecord Users;
  ExamsRecord Exams;
  ExamQuesRecord ExamQues;
  SessionsRecord Sessions;
  SesQuestsRecord SesQuests;
  SesResultsRecord SesResults;
  TemplatesRecord Templates;
  ClassesRecord Classes;
  StudentsRecord Students;
  AttributesRecord Attributes;
  AttributeValuesRecord CharAttributes;
  AttributeValuesRecord EnumAttributes;
  EnumValuesRecord EnumValues;
  AttributeValuesRecord MemoAttributes;
  PrintOptRecord PrintOpt;
  QuestsRecord Quests;
  QuesTypeRecord QuesType;
  DescriptRecord Descript;
  StandardRecord Standard;
  StanQuesRecord StanQues;
};

DatabaseSet& Src();
DatabaseSet& Dest();

// Open the set's tables in its folders (set them first), then fill that half of the
// table mapping model. Run-log lines "Init SRC"/"End Init SRC" ("Init DEST"/"End
// Init DEST"). A table that still cannot be opened ends the run (interactive runs
// first say which file could not be opened).
void InitSrc();
void InitDest();
// Close every table of the set; closing what is not open does nothing.
void UninitSrc();
void UninitDest();
void CloseSrc();
void CloseDest();

// Point the set at the run's course (CoursePath, AreaFolder and the brand folder
// above it) and open it. SetSrcToCourse also keeps owner identifiers as they are
// (KeepUserIDs and KeepUserIDsUnchanged). SetDestToCourse opens the tables in
// tablesFolder when one is given, and the course's own otherwise.
void SetSrcToCourse();
void SetDestToCourse(const std::string& tablesFolder = "");

// Points all three folders of a set at one folder (a backup folder or a package's copy).
void PointSetAt(DatabaseSet& set, const std::string& folder);

}  // namespace tolvarin
