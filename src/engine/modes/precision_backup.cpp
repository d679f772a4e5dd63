#include "engine/modes/precision_backup.h"

#include <algorithm>
#include <filesystem>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/record_ops.h"
#include "data/table_records.h"
#include "data/table_swap.h"
#include "engine/modes/gradebook_rows.h"
#include "engine/modes/gradebook_profile.h"

namespace fs = std::filesystem;

namespace tolvarin {
namespace {

constexpr const char* kCharAttributes = "charattributes";

// The folder lies inside root once links and ".." are resolved; checked before
// anything is made there, and again after.
bool InsideFolder(const std::string& folder, const std::string& root) {
  std::error_code error;
  const fs::path inner = fs::weakly_canonical(FindPath(folder), error);
  if (error) return false;
  const fs::path outer = fs::weakly_canonical(FindPath(root), error);
  if (error) return false;
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // the trailing separator of a folder
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

class CourseBackup {
 public:
  CourseBackup(const std::string& source, const std::string& target, const std::string& blankFolder,
               PrecisionBackupResult& result)
      : source_(source), target_(target), blank_(blankFolder), result_(result) {}
  ~CourseBackup() {
    CloseTableRecord(sourceAttributes_);
    CloseTableRecord(targetAttributes_);
  }
  CourseBackup(const CourseBackup&) = delete;
  CourseBackup& operator=(const CourseBackup&) = delete;

  // The attribute tables are opened when the first other table is about to be
  // written, after any charattributes element has replaced the backup's own.
  void OpenAttributes() {
    attributesTried_ = true;
    if (!FileExists(JoinPath(source_, std::string(kCharAttributes) + ".dbf"))) return;
    OpenCharAttributesTable(source_, sourceAttributes_);
    OpenCharAttributesTable(target_, targetAttributes_);
    if (sourceAttributes_.Data == 0 || targetAttributes_.Data == 0) {
      Skip("the character attributes of " + source_ + " or " + target_ + " do not open");
      CloseTableRecord(sourceAttributes_);
      CloseTableRecord(targetAttributes_);
    }
  }

  void BackupTable(const TableBackupProfile& table) {
    const std::string& name = table.Name;
    if (!IsSafeTableName(name)) return Skip("the table name \"" + name + "\" is not a plain file name");
    OpenData source(OpenAsItIs(JoinPath(source_, name + ".dbf")));
    if (source.get() == 0) return Skip("the table " + JoinPath(source_, name) + " does not open");
    const xbase::Tag4 tag = xbase::d4tag(source.get(), table.Tag);
    if (tag == 0) return Skip("the table " + JoinPath(source_, name) + " has no tag \"" + table.Tag + "\"");
    if (!FileExists(JoinPath(blank_, name + ".dbf"))) return Skip("there is no blank table " + name);
    if (!attributesTried_ && !EqualsNoCase(name, kCharAttributes)) OpenAttributes();

    // The new copy is made beside its place; the backup's earlier file stays until
    // the new one is whole.
    const std::string staging = StagingFolderFor(target_);
    if (!CreateFolderTree(staging)) return Skip("the folder " + staging + " cannot be made");
    DeleteTableFiles(staging, name);
    CopyBlankTable(staging, name, 0, blank_);
    OpenData copy(OpenAsItIs(JoinPath(staging, name + ".dbf")));
    if (copy.get() == 0) {
      DeleteTableFiles(staging, name);
      FinishTableSwaps(target_);
      return Skip("the backup table " + JoinPath(target_, name) + " does not open");
    }
    const long blankRows = xbase::d4recCount(copy.get());  // a blank table may hold default rows
    long rows = 0;
    for (const std::string& id : table.IDs) {
      if (!SeekTag(source.get(), tag, id)) continue;
      AppendBlank(copy.get());
      CopyFieldsByPosition(source.get(), copy.get());
      if (xbase::d4append(copy.get()) == xbase::kSuccess) ++rows;
      result_.Attributes += PutAttributeRows(sourceAttributes_, targetAttributes_, name, id);
    }
    copy.Close();
    source.Close();

    OpenData check(OpenAsItIs(JoinPath(staging, name + ".dbf")));
    const bool whole = check.get() != 0 && xbase::d4recCount(check.get()) == blankRows + rows;
    check.Close();
    if (!whole || !SwapInStagedTable(target_, name)) {
      if (!whole) DeleteTableFiles(staging, name);
      FinishTableSwaps(target_);
      return Skip("the backup table " + JoinPath(target_, name) + " could not be written whole");
    }
    ++result_.Tables;
    result_.Rows += rows;
  }

  void Skip(const std::string& why) {
    WriteLogNote("Precision backup skipped: " + why);
    ++result_.Skipped;
  }

 private:
  std::string source_, target_, blank_;
  PrecisionBackupResult& result_;
  AttributeValuesRecord sourceAttributes_, targetAttributes_;
  bool attributesTried_ = false;
};

}  // namespace

PrecisionBackupResult RunPrecisionBackup(const std::string& backupFolder, const std::string& blankFolder) {
  PrecisionBackupResult result;
  const auto refuse = [&result](const std::string& why) {
    WriteLogNote("Precision backup skipped: " + why);
    ++result.Skipped;
  };
  if (backupFolder.empty()) {
    refuse("no backup folder is given");
    return result;
  }
  const std::string profile = JoinPath(backupFolder, kBackupProfileName);
  if (!FileExists(profile)) {
    refuse("there is no " + profile);
    return result;
  }
  for (const CourseBackupProfile& course : ReadBackupProfile(profile)) {
    const auto part = ProfileTargetPart(course.Path);
    if (!part) {
      refuse("the course path \"" + course.Path + "\" leads outside the backup folder");
      continue;
    }
    const std::string target = FindPath(part->empty() ? backupFolder : JoinPath(backupFolder, *part));
    if (!InsideFolder(target, backupFolder) || !CreateFolderTree(target) || !InsideFolder(target, backupFolder)) {
      refuse("the course path \"" + course.Path + "\" gives no folder inside the backup folder");
      continue;
    }
    FinishTableSwaps(target);
    // A gradebook restore killed while it put the folder's tables in place left the
    // rest marked: that is finished before any table of the folder is read, so that
    // the backup holds one generation of each table, never half of two.
    const std::string source = FindPath(ProfilePath(course.Path));
    FinishTableSwaps(source);

    CourseBackup backup(source, target, blankFolder, result);
    // A charattributes element replaces the backup's table before the attributes
    // of the other tables are written into it.
    std::vector<const TableBackupProfile*> tables;
    for (const auto& table : course.Tables) tables.push_back(&table);
    std::stable_partition(tables.begin(), tables.end(),
                          [](const TableBackupProfile* t) { return EqualsNoCase(t->Name, kCharAttributes); });
    for (const TableBackupProfile* table : tables) backup.BackupTable(*table);
  }
  return result;
}

int PrecisionBackup() {
  const std::string blank = FindPath(JoinPath(Settings().AppPath, "Databases/Blank"));
  const PrecisionBackupResult result = RunPrecisionBackup(Paths().BackupPath, blank);
  return result.Skipped == 0 ? 0 : 1;
}

}  // namespace tolvarin
