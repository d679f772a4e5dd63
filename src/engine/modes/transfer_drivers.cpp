#include "engine/modes/transfer_drivers.h"

#include <filesystem>
#include <set>
#include <system_error>

#include "construction/restore_upgrade.h"
#include "core/box_buttons.h"
#include "core/chooser_windows.h"
#include "core/command_line.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/window_helpers.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "data/open_table.h"
#include "data/source_tables.h"
#include "engine/modes/migration_target.h"
#include "engine/package/backup_contents.h"
#include "engine/package/backup_folder.h"
#include "engine/package/packages.h"
#include "engine/transfer/activity_remap.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/files_aside.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/overwrite_questions.h"
#include "engine/transfer/row_copy.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/table_mapping.h"
#include "engine/transfer/transfer_state.h"
#include "platform/profile/profile.h"
#include "platform/xbase/tag_check.h"

namespace tolvarin {
namespace {

constexpr const char* kFiveAnswersBackup =
    "The database you are backing up has support for 5 picture answers, but the blank database files on your "
    "system used to form the Corvane Backup Folder only support 4 picture answers.  If you continue, this Corvane "
    "Backup Folder may be missing the 5th answer picture on questions that have 5 answer pictures.  Please call "
    "Corvane at 1-888-CORVANE for more information.\r\n\r\nDo you want to continue anyway?";
constexpr const char* kFiveAnswersRestore =
    "The Corvane Backup Folder you are restoring from has support for 5 picture answers, but the database you are "
    "restoring into only supports 4 picture answers.  If you continue, restored questions that have 5 answer "
    "pictures may be missing their 5th answer picture.  Please call Corvane at 1-888-CORVANE for more "
    "information.\r\n\r\nDo you want to continue anyway?";
constexpr const char* kNothingImported = "Nothing was imported.";

// A new backup folder's tables belong to this run alone: each is locked whole for
// the copy and takes its rows in bulk, its tags rebuilt once at the end instead of
// row by row (a killed run leaves them marked, and the automatic repair rebuilds
// them). The users keep their tags throughout: their copy looks them up.
class HeldWhole {
 public:
  explicit HeldWhole(const DatabaseSet& set) {
    if (set.Users.Data != 0 && xbase::d4lockAll(set.Users.Data) == 0) held_.push_back(set.Users.Data);
    for (const xbase::Data4 data :
         {set.Exams.Data, set.ExamQues.Data, set.Sessions.Data, set.SesQuests.Data, set.SesResults.Data,
          set.Templates.Data, set.Classes.Data, set.Students.Data, set.Attributes.Data, set.CharAttributes.Data,
          set.EnumAttributes.Data, set.EnumValues.Data, set.MemoAttributes.Data, set.PrintOpt.Data,
          set.Quests.Data, set.QuesType.Data, set.Descript.Data, set.Standard.Data, set.StanQues.Data}) {
      if (data == 0 || xbase::d4lockAll(data) != 0) continue;
      held_.push_back(data);
      xbase::d4bulkAppend(data, 1);  // without it the rows keep their tags up to date one by one
    }
  }
  ~HeldWhole() { Release(); }
  // Rebuilds the tags and lets the tables go: the first failure's code, 0 when none.
  int Release() {
    int first = 0;
    for (const xbase::Data4 data : held_) {
      const int code = xbase::d4unlock(data);
      if (first == 0) first = code;
    }
    held_.clear();
    return first;
  }
  HeldWhole(const HeldWhole&) = delete;
  HeldWhole& operator=(const HeldWhole&) = delete;

 private:
  std::vector<xbase::Data4> held_;
};

std::string Joined(const std::vector<std::string>& texts, const std::string& separator) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : separator) + text;
  return joined;
}

// The backup as the user named it: in an interactive import the package, unpacked
// into BackupPath (a working folder the user never chose); otherwise BackupPath.
std::string ShownSource() {
  const RunPaths& p = Paths();
  return Settings().Interactive && !p.PackagePath.empty() ? p.PackagePath : p.BackupPath;
}

// The first few problems and their count: a box, not a wall of file names.
std::string DamagedText(const std::string& shown, const std::vector<std::string>& problems) {
  return "The Corvane Backup Folder \"" + shown + "\" is damaged.  Nothing was restored.\n\n" +
         SummarizeProblems(problems);
}

TransferEnd Fail(const std::string& text) {
  WriteLog("TOLVARIN ERROR: " + text);
  MsgBox(text, kMbCritical);
  return TransferEnd::Failed;
}

// Every selected row of a table keyed by one identifier must arrive; link tables
// (keyed by two) are checked for opening clean only.
std::vector<ExpectedRows> SelectedRowCounts() {
  std::vector<ExpectedRows> expected;
  for (TableMapping& m : TableMappings()) {
    if (m.TableName.empty() || !m.Enabled || m.Src.KeyField == 0) continue;
    std::set<std::int32_t> ids;
    for (const std::int32_t id : m.SelectedIDs)
      if (id != 0 && m.IDMap.Get(id) != 0) ids.insert(id);
    if (!ids.empty()) expected.push_back({m.TableName, static_cast<long>(ids.size())});
  }
  return expected;
}

// The version file names a table structure this program knows.
bool KnownSchema(const std::string& folder) {
  const std::string status = FindPath(JoinPath(folder, kVersionFile));
  if (!FileExists(status)) return true;  // packages of the oldest programs have none
  const int schema = profile::GetInt(status, "Version", "Schema", 0);
  return schema >= 3 && schema <= 5;
}

// The first table of a staged backup that does not open even after the automatic
// repair, "" when every one opens: the restore names the backup's own table then,
// before a single row is copied.
std::string FirstTableBeyondRepair(const std::string& folder) {
  for (const std::string& path : GetFilesInFolder(folder, kAttrNormal, "DBF")) {
    const std::string name = GetFileName(path, true);
    if (ToUpper(name) == ToUpper(std::string(kVersionFile))) continue;
    const xbase::Data4 data = OpenTable(path, 0, false, true);
    if (data == 0) return name;
    xbase::d4close(data);
  }
  return "";
}

// The name of the first entry of the folder that is a link, "" when none is.
std::string FirstLink(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(FindPath(folder), ec))
    if (entry.is_symlink()) return entry.path().filename().string();
  return "";
}

// The regular files of a folder (no links, no folders) into another, replacing.
bool CopyRegularFiles(const std::string& from, const std::string& to) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(FindPath(from), ec)) {
    if (entry.is_symlink() || !entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (!std::filesystem::copy_file(entry.path(), FindPath(JoinPath(to, name)),
                                    std::filesystem::copy_options::overwrite_existing, ec))
      return false;
  }
  return !ec;
}

}  // namespace

std::vector<std::string> CheckBackupFolder(const std::string& folder, const std::vector<ExpectedRows>& expected,
                                           bool withDescription) {
  std::vector<std::string> problems;
  if (withDescription) {
    for (const char* file : {kDescriptionFile, kVersionFile})
      if (!FileExists(FindPath(JoinPath(folder, file)))) problems.push_back(std::string(file) + " is missing");
  }
  std::set<std::string> seen;
  for (const std::string& path : GetFilesInFolder(folder, kAttrNormal, "DBF")) {
    const std::string name = ToUpper(GetFileName(path, false));
    if (name == ToUpper(GetFileName(kVersionFile, false))) continue;
    seen.insert(name);
    xbase::Data4 data = xbase::d4open(Engine().EngineHandle, path);
    if (data == 0) {
      problems.push_back(name + " does not open");
      continue;
    }
    long rows = 0;
    for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1))
      if (!xbase::d4deleted(data)) ++rows;
    for (const auto& tag : xbase::detail::CheckTags(data))
      for (const std::string& problem : tag.Problems()) problems.push_back(name + ": " + problem);
    for (const ExpectedRows& e : expected)
      if (e.table == name && rows < e.rows)
        problems.push_back(name + " holds " + std::to_string(rows) + " rows of " + std::to_string(e.rows));
    xbase::d4close(data);
  }
  for (const ExpectedRows& e : expected)
    if (!seen.count(e.table)) problems.push_back(e.table + " is missing");
  return problems;
}

TransferEnd DoBackup() {
  RunSettings& s = Settings();
  RunPaths& p = Paths();
  WaitCursor wait;
  WriteLog("Begin backup");
  const std::string srcBrand = Src().BrandFolder;
  const std::string srcCourse = Src().CourseFolder;
  PointSetAt(Dest(), p.BackupPath);
  UninitSrc();
  DeleteFolderFiles(p.BackupPath, false, "GIF BMP JPG");
  if (!CreateDatabasesFolder(p.BackupPath)) return Fail("The backup folder could not be prepared: " + p.BackupPath);
  InitSrc();
  InitDest();
  if (Src().Quests.AnswerCount == 5 && Dest().Quests.AnswerCount == 4 &&
      MsgBox(kFiveAnswersBackup, kMbYesNo | kMbQuestion) == kIdNo) {
    UninitDest();
    return TransferEnd::Stopped;
  }
  WriteLog("Before map");
  if (!BuildMappings()) {
    UninitDest();
    UninitSrc();
    return TransferEnd::Failed;  // the mapping said why
  }
  WriteLog("After map");
  bool copied = false;
  int rebuilt = 0;
  {
    HeldWhole held(Dest());
    copied = CopyTables();
    rebuilt = held.Release();
  }
  const std::vector<ExpectedRows> expected = SelectedRowCounts();
  UninitDest();
  UninitSrc();
  if (!copied) return TransferEnd::Stopped;
  if (rebuilt != 0)
    return Fail("The backup in " + p.BackupPath + " is not complete: its indexes could not be rebuilt (" +
                std::to_string(rebuilt) + ").");

  // The users travel with the row copy only in an interactive backup of a user who
  // may edit passwords (or any interactive backup); otherwise the brand's table goes.
  const bool usersCopied = s.Mode == 0 && s.Interactive && (UserAccessLevel() == 1 || s.Operation == 1);
  if (!usersCopied) CopyTableFileSet(srcBrand, p.BackupPath, "users", false);
  if (s.OfficeMode == 1) CopyFileOverwrite(FindPath(JoinPath(srcCourse, "course.ini")), JoinPath(p.BackupPath, "course.ini"));
  std::vector<std::string> failures;
  if (!RemoveEmptyTables(p.BackupPath, &failures))
    return Fail("The backup in " + p.BackupPath + " is not complete: " + Joined(failures, ", ") + ".");
  const std::vector<std::string> problems = CheckBackupFolder(p.BackupPath, expected, s.Mode == 0);
  if (!problems.empty())
    return Fail("The backup in " + p.BackupPath + " could not be checked: " + Joined(problems, "; ") + ".");
  if (s.Mode == 0) {
    // The record of what the folder holds, read back and compared with the folder.
    const BackupContents measured = MeasureBackupFolder(p.BackupPath);
    const auto recorded = WriteBackupContents(p.BackupPath, measured) ? ReadBackupContents(p.BackupPath)
                                                                      : std::nullopt;
    std::vector<std::string> differences = recorded ? ContentsProblems(p.BackupPath, *recorded)
                                                    : std::vector<std::string>{"its record could not be written"};
    if (recorded) {
      for (const std::string& missing : MissingRows(p.BackupPath, *recorded)) differences.push_back(missing);
      if (recorded->files.size() != measured.files.size() || recorded->rows != measured.rows)
        differences.push_back("its record does not read back as written");
    }
    if (!differences.empty())
      return Fail("The backup in " + p.BackupPath + " could not be checked: " + Joined(differences, "; ") + ".");
  }

  if (s.Interactive) {
    const PackageResult zipped = ZipPackage();
    if (!zipped.ok) return Fail("The Corvane Backup File could not be written: " + zipped.error);
  }
  if (s.Mode == 0 && s.Interactive) {
    MsgBox("Corvane Backup File created at \"" + p.PackagePath + "\"!", kMbInformation);
    p.BackupPath = p.PackagePath;
  }
  WriteLog("end backup");
  return TransferEnd::Done;
}

TransferEnd DoRestore() {
  RunSettings& s = Settings();
  RunPaths& p = Paths();
  WaitCursor wait;
  Diagnostic("DoRestore");
  WriteLog("Begin Restore");
  if (!RestoreSourceIsUsable()) return TransferEnd::Failed;
  std::string source = p.BackupPath;
  if (s.Mode != 5 && !s.GameImport) {
    source = JoinPath(GetTempFolder(), "UpgradeInPlace");
    // The staging folder is emptied first: it can never be the backup itself.
    if (PathStartsWith(source, p.BackupPath))
      return Fail("The folder \"" + p.BackupPath + "\" is a working folder of the program, not a Corvane Backup "
                  "Folder.  Nothing was restored.");
    if (!CreateFolderTree(source)) return Fail("The folder " + source + " could not be made.");
    // What an earlier restore left there must not be imported again.
    DeleteFolderFiles(source, false, "");
    if (!CopyRegularFiles(p.BackupPath, source) || !FileExists(FindPath(JoinPath(source, kDescriptionFile))))
      return Fail("The Corvane Backup Folder \"" + ShownSource() + "\" could not be copied for the restore.");
    UpgradeRestoredDatabase(source);
    const std::string damaged = FirstTableBeyondRepair(source);
    if (!damaged.empty())
      return Fail("The table " + damaged + " of the Corvane Backup Folder \"" + ShownSource() +
                  "\" is damaged and could not be repaired.  Nothing was restored.");
    if (const auto recorded = ReadBackupContents(p.BackupPath)) {
      const std::vector<std::string> lost = MissingRows(source, *recorded);
      if (!lost.empty())
        return Fail("The Corvane Backup Folder \"" + ShownSource() + "\" lost rows.  Nothing was restored.\n\n" +
                    SummarizeProblems(lost));
    }
  }
  PointSetAt(Src(), source);
  InitSrc();
  SelectAllRecords();
  if (s.Mode == 0) {
    if (s.Interactive) {
      if (Src().Quests.AnswerCount == 5 && Dest().Quests.AnswerCount == 4 &&
          MsgBox(kFiveAnswersRestore, kMbYesNo | kMbQuestion) == kIdNo) {
        UninitSrc();
        return TransferEnd::Stopped;
      }
    } else {
      Transfer().ImportClassification = true;
    }
  }
  Diagnostic("Map");
  if (!BuildMappings()) {
    UninitSrc();
    return TransferEnd::Failed;
  }
  if (s.Interactive) CheckDuplicateQuestions();
  Diagnostic("Copy");
  if (!CopyTables()) {
    UninitSrc();
    MsgBox(kNothingImported, kMbInformation);
    return TransferEnd::Stopped;
  }
  Diagnostic("UpdateFileQuests");
  if (s.GameImport) {
    const std::string failed = StageActivityFiles(p.BackupPath, CurrentActivityReplacements());
    if (!failed.empty()) {
      UninitSrc();
      return Fail("The activity file " + failed + " could not be rewritten.  Nothing was imported.");
    }
  }
  Diagnostic("Uninit");
  UninitSrc();
  const std::string leftOut = LeftOutText();
  if (!leftOut.empty()) WriteLog(leftOut);
  if (s.Mode == 0 && s.Interactive)
    MsgBox("Corvane Backup Folder restored from \"" + p.PackagePath + "\"!" + (leftOut.empty() ? "" : "\r\n\r\n" + leftOut),
           kMbInformation);
  WriteLog("End Restore");
  return TransferEnd::Done;
}

bool RestoreSourceIsUsable() {
  const RunSettings& s = Settings();
  const std::string& folder = Paths().BackupPath;
  const std::string shown = ShownSource();
  // An install set's tables come without a description file, and so does a game
  // package, which is read where it stands: only its own files may be read.
  if (s.Mode != 0) return true;
  if (s.GameImport) {
    const std::string link = FirstLink(folder);
    if (!link.empty()) {
      Fail("The game package \"" + shown + "\" holds a link, " + link +
           ", which may name a file outside it.  Nothing was imported.");
      return false;
    }
    // Read whole, as the repair would read them, before a row of them is copied.
    const std::vector<std::string> damaged = SourceTableProblems(folder);
    if (damaged.empty()) return true;
    Fail("The game package \"" + shown + "\" is damaged.  Nothing was imported.\n\n" + SummarizeProblems(damaged));
    return false;
  }
  if (!FileExists(FindPath(JoinPath(folder, kDescriptionFile)))) {
    Fail("\"" + shown + "\" is not a Corvane Backup Folder: it has no " + kDescriptionFile + ".");
    return false;
  }
  // A backup folder comes from outside: a link in it names a file that is no part of it.
  const std::string link = FirstLink(folder);
  if (!link.empty()) {
    Fail("The Corvane Backup Folder \"" + shown + "\" holds a link, " + link +
         ", which may name a file outside it.  Nothing was restored.");
    return false;
  }
  // A backup that records what it holds is restored only as it was written.
  if (const auto recorded = ReadBackupContents(folder)) {
    const std::vector<std::string> problems = ContentsProblems(folder, *recorded);
    if (!problems.empty()) {
      Fail(DamagedText(shown, problems));
      return false;
    }
  }
  if (!KnownSchema(folder)) {
    Fail("The Corvane Backup Folder \"" + shown + "\" was made by a version of the program that this one does not "
         "know.");
    return false;
  }
  return true;
}

bool PackageIsUsable() {
  if (!RestoreSourceIsUsable()) return false;
  const std::vector<std::string> problems = SourceTableProblems(Paths().BackupPath);
  if (problems.empty()) return true;
  Fail(DamagedText(ShownSource(), problems));
  return false;
}

TransferEnd DoExport() {
  RunPaths& p = Paths();
  WriteLog("Begin Export");
  const auto exam = static_cast<std::int32_t>(RoundHalfEven(TextValue(GetCommandArg(CommandLine(), "Exam"))));
  SetSrcToCourse();
  ResetSelections();
  InitSrcTableDefs();
  // An exam the course does not hold would leave a folder of nothing but the
  // description, which the host takes for a finished export.
  if (!transfer::Seek(Src().Exams.Data, Src().Exams.Exam_idTag, FormatID(exam))) {
    UninitSrc();
    DeleteFolderFiles(p.BackupPath, false, "");
    return Fail("The exam " + FormatID(exam) + " is not in the course \"" + p.CoursePath +
                "\": nothing was exported.");
  }
  SelectID(5, exam);
  for (const std::int32_t question : GetLinkedIDsBySecondKey(exam, Src().ExamQues)) SelectID(1, question);
  SelectStandardNodes();
  const TransferEnd end = DoBackup();
  UninitSrc();
  p.PackagePath = GetCommandArg(CommandLine(), "PackagePath");
  return end;
}

TransferEnd DoMigrate() {
  RunSettings& s = Settings();
  RunPaths& p = Paths();
  const std::string target = ShowSelectCourse();
  if (target.empty()) {
    MsgBox("Migration cancelled", kMbOkOnly);
    return TransferEnd::Stopped;
  }
  // Checked before any table is opened there: an open would make blank tables in a
  // wrong folder.
  if (const auto problem = MigrationTargetProblem(target, p.CoursePath, p.BrandFolder)) {
    MsgBox(*problem + "  Nothing was migrated.", kMbExclamation);
    return TransferEnd::Stopped;
  }
  NotifyOperationMessage(ProgressPageFor(1, 6, CurrentCourse().DisplayName, "", "", target).message);
  p.BackupPath = target;
  s.Operation = 4;
  Dest().CourseFolder = target;
  Dest().TablesFolder.clear();
  Dest().AreaFolder = JoinPath(target, "..");
  Dest().BrandFolder = JoinPath(target, "../..");
  const std::string staging = JoinPath(GetTempFolder(), "cortemp");
  CreateFolderTree(staging);
  Src().BrandFolder = staging;
  Src().CourseFolder = staging;
  InitDest();
  if (!BuildMappings()) return TransferEnd::Failed;
  if (!CopyTables()) return TransferEnd::Stopped;
  if (const std::string leftOut = LeftOutText(); !leftOut.empty()) WriteLog(leftOut);
  return TransferEnd::Done;
}

}  // namespace tolvarin
