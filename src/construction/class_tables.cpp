#include "construction/class_tables.h"

#include <cctype>
#include <filesystem>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_records.h"
#include "data/table_swap.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {
namespace {

constexpr const char* kClasses = "classes";
constexpr const char* kStudentClass = "studentclass";

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// A number as the old gradebook read one: digits with at most one decimal point,
// then blanks, and a trailing sign with blanks ("3", "3.", "3 ", "3- ").
bool IsNumericText(const std::string& text) {
  std::size_t i = 0;
  if (i == text.size() || !IsDigit(text[i])) return false;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    ++i;
    while (i < text.size() && text[i] == ' ') ++i;
  }
  return i == text.size();
}

// The live records of a table, counted by walking it (deleted ones left out).
long LiveRecordCount(xbase::Data4 data) {
  long count = 0;
  xbase::d4tagSelect(data, 0);
  for (int rc = xbase::d4top(data); rc == xbase::kSuccess; rc = xbase::d4skip(data, 1))
    if (!xbase::d4deleted(data)) ++count;
  return count;
}

// After the conversion closed it: the table in the folder opens by itself and holds
// exactly that many live records.
bool HoldsRecords(const std::string& folder, const std::string& name, long expected) {
  const xbase::Data4 data = xbase::d4open(Engine().EngineHandle, FindPath(JoinPath(folder, name + ".dbf")));
  if (data == 0) {
    xbase::code4errorCode(Engine().EngineHandle, 0);
    return false;
  }
  const long count = LiveRecordCount(data);
  xbase::d4close(data);
  return count == expected;
}

// The same folder by name or on disk (a link, "..").
bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code error;
  return SamePath(a, b) || std::filesystem::equivalent(FindPath(a), FindPath(b), error);
}

struct Tables {
  ClassesRecord oldClasses, newClasses;
  StudentsRecord students;
  StudentClassRecord links;
  ~Tables() {
    CloseTableRecord(oldClasses);
    CloseTableRecord(newClasses);
    CloseTableRecord(students);
    CloseTableRecord(links);
  }
};

bool Refuse(const std::string& why) {
  WriteLogNote("Class tables not converted: " + why);
  return false;
}

}  // namespace

PeriodSplit SplitPeriod(const std::string& oldSection) {
  const std::string text = Trim(oldSection);
  std::size_t length = 0;
  while (length < text.size() && IsNumericText(text.substr(0, length + 1))) ++length;
  PeriodSplit split;
  split.Period = NumberText(TextValue(text.substr(0, length)));
  if (length < text.size()) split.Section = text.substr(length);
  return split;
}

bool ConvertClassTables(const std::string& databaseFolder, const std::string& workFolder) {
  if (databaseFolder.empty() || workFolder.empty()) return Refuse("the database or work folder is not given");
  if (SameFolder(databaseFolder, workFolder))
    return Refuse("the work folder is the database folder " + databaseFolder);
  if (!FileExists(JoinPath(databaseFolder, "classes.dbf"))) return Refuse("no classes table in " + databaseFolder);
  if (!CreateFolderTree(workFolder)) return Refuse("the work folder " + workFolder + " cannot be made");

  // A swap an earlier run could not finish is completed before anything is read.
  FinishTableSwaps(databaseFolder);

  long classCount = 0, linkCount = 0;
  {
    Tables t;
    OpenClassesTable(databaseFolder, t.oldClasses);
    if (t.oldClasses.Data == 0) return Refuse("the classes table of " + databaseFolder + " does not open");
    // Converting a converted table again would blank its periods and the rest.
    if (xbase::d4field(t.oldClasses.Data, "period") != 0)
      return Refuse("the classes table of " + databaseFolder + " is already in the current layout");

    OpenClassesTable(workFolder, t.newClasses);
    OpenStudentClassTable(workFolder, t.links);
    if (t.newClasses.Data == 0 || t.links.Data == 0)
      return Refuse("the new classes or studentclass table of " + workFolder + " does not open");
    if (t.newClasses.Period == 0)
      return Refuse("the new classes table of " + workFolder + " has no period field");
    if (FileExists(JoinPath(databaseFolder, "students.dbf"))) OpenStudentsTable(databaseFolder, t.students);

    // The work tables are written anew: rows of an earlier attempt would come back twice.
    ZapTable(t.newClasses.Data);
    ZapTable(t.links.Data);

    const xbase::Data4 old = t.oldClasses.Data;
    xbase::d4tagSelect(old, 0);
    for (int rc = xbase::d4top(old); rc == xbase::kSuccess; rc = xbase::d4skip(old, 1)) {
      if (xbase::d4deleted(old)) continue;
      const std::string classID = xbase::f4str(t.oldClasses.Class_id);
      AppendBlank(t.newClasses.Data);
      xbase::f4assign(t.newClasses.Class_id, classID);
      xbase::f4assign(t.newClasses.User_id, xbase::f4str(t.oldClasses.User_id));
      const PeriodSplit split = SplitPeriod(xbase::f4str(t.oldClasses.Section));
      xbase::f4assign(t.newClasses.Period, split.Period);
      if (!split.Section.empty()) xbase::f4assign(t.newClasses.Section, split.Section);

      if (t.students.Data != 0 && t.students.Class_idTag != 0) {
        const xbase::Data4 students = t.students.Data;
        for (bool found = SeekTag(students, t.students.Class_idTag, classID); found;
             found = xbase::d4seekNext(students, classID) == xbase::kSuccess) {
          if (xbase::d4deleted(students)) continue;
          AppendBlank(t.links.Data);
          xbase::f4assign(t.links.Class_id, classID);
          xbase::f4assign(t.links.Student_id, xbase::f4str(t.students.Student_id));
          if (xbase::d4append(t.links.Data) != xbase::kSuccess)
            return Refuse("a studentclass row of class " + Trim(classID) + " could not be written");
          ++linkCount;
        }
      }
      if (xbase::d4append(t.newClasses.Data) != xbase::kSuccess)
        return Refuse("the new row of class " + Trim(classID) + " could not be written");
      ++classCount;
    }
  }

  // Only tables that were written whole and read back take the old ones' place.
  if (!HoldsRecords(workFolder, kClasses, classCount) || !HoldsRecords(workFolder, kStudentClass, linkCount))
    return Refuse("the new tables in " + workFolder + " do not read back as written");
  if (!StageTable(workFolder, databaseFolder, kClasses) || !StageTable(workFolder, databaseFolder, kStudentClass)) {
    FinishTableSwaps(databaseFolder);
    return Refuse("the new tables could not be copied into " + databaseFolder);
  }
  // Both are marked before either moves: a run killed between them leaves both to be completed.
  if (!SwapInStagedTables(databaseFolder, {kClasses, kStudentClass}))
    return Refuse("the new tables could not be moved into place in " + databaseFolder);
  return true;
}

}  // namespace tolvarin
