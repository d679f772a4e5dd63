#include "engine/modes/gradebook_restore.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "data/open_table.h"
#include "data/record_ops.h"
#include "data/table_records.h"
#include "engine/modes/gradebook_rows.h"

namespace tolvarin {
namespace {

constexpr const char* kCharAttributes = "charattributes";

class AttributeTables {
 public:
  ~AttributeTables() {
    CloseTableRecord(backup);
    CloseTableRecord(live);
  }
  AttributeValuesRecord backup, live;
};

class TableRestore {
 public:
  TableRestore(const std::string& backupTables, const std::string& liveFolder, ProfileApplication& result)
      : backupTables_(backupTables), live_(liveFolder), result_(result) {}

  void Apply(const TableBackupProfile& table) {
    const std::string& name = table.Name;
    if (!IsSafeTableName(name)) return Skip("the table name \"" + name + "\" is not a plain file name");
    const std::string backupPath = JoinPath(backupTables_, name + ".dbf");
    if (!FileExists(backupPath)) return Skip("the backup holds no table " + backupPath);
    OpenData backup(OpenTable(FindPath(backupPath), 0, false, true));
    OpenData live(OpenTable(FindPath(JoinPath(live_, name + ".dbf")), 0, false, true));
    if (backup.get() == 0 || live.get() == 0) return Fail("the table " + name + " does not open");
    const xbase::Tag4 backupTag = xbase::d4tag(backup.get(), table.Tag);
    const xbase::Tag4 liveTag = xbase::d4tag(live.get(), table.Tag);
    if (backupTag == 0 || liveTag == 0) return Skip("the table " + name + " has no tag \"" + table.Tag + "\"");

    AttributeTables attributes;
    if (FileExists(JoinPath(backupTables_, std::string(kCharAttributes) + ".dbf"))) {
      OpenCharAttributesTable(backupTables_, attributes.backup);
      OpenCharAttributesTable(live_, attributes.live);
    } else if (FileExists(JoinPath(live_, std::string(kCharAttributes) + ".dbf"))) {
      OpenCharAttributesTable(live_, attributes.live);
    }

    long deletions = 0;
    for (const std::string& id : table.IDs) {
      if (SeekTag(backup.get(), backupTag, id)) {
        if (PutRecord(backup.get(), live.get(), liveTag, id)) {
          ++result_.Rows;
        } else {
          Fail("the row " + id + " of " + name + " could not be written");
        }
        result_.Attributes += PutAttributeRows(attributes.backup, attributes.live, name, id);
        continue;
      }
      // Gone at the time of the backup: the live row goes, and with it every
      // attribute row it had, so that a later row of that key does not inherit them.
      deletions += DeleteAttributeRows(attributes.live, name, id);
      for (bool found = SeekTag(live.get(), liveTag, id); found;
           found = xbase::d4seekNext(live.get(), id) == xbase::kSuccess) {
        if (xbase::d4deleted(live.get())) continue;
        if (LockCurrentRecord(live.get()) == xbase::kSuccess && xbase::d4delete(live.get()) == xbase::kSuccess) {
          ++deletions;
        } else {
          Fail("the row " + id + " of " + name + " could not be deleted");
        }
      }
    }
    if (deletions > 0) {
      if (attributes.live.Data != 0 && xbase::d4pack(attributes.live.Data) != xbase::kSuccess)
        Fail("the table charattributes could not be packed");
      if (xbase::d4pack(live.get()) != xbase::kSuccess) Fail("the table " + name + " could not be packed");
    }
    result_.Deletions += deletions;
  }

  void Skip(const std::string& why) {
    WriteLogNote("Gradebook restore skipped: " + why);
    ++result_.Skipped;
  }
  void Fail(const std::string& why) {
    WriteLogNote("Gradebook restore failed: " + why);
    ++result_.Failed;
  }

 private:
  std::string backupTables_, live_;
  ProfileApplication& result_;
};

void Add(ProfileApplication& total, const ProfileApplication& part) {
  total.Rows += part.Rows;
  total.Attributes += part.Attributes;
  total.Deletions += part.Deletions;
  total.Skipped += part.Skipped;
  total.Failed += part.Failed;
}

}  // namespace

std::string LiveFolderOf(const std::string& brandFolder, const std::string& subPath) {
  return FindPath(subPath.empty() ? brandFolder : JoinPath(brandFolder, subPath));
}

ProfileApplication ApplyBackupProfile(const std::string& backupFolder, const std::string& brandFolder,
                                      const std::string& subPath, const std::string& intoFolder) {
  ProfileApplication result;
  const auto wanted = RelativeFolderPart(subPath);
  if (!wanted) {
    WriteLogNote("Gradebook restore skipped: the folder \"" + subPath + "\" leads outside the databases");
    ++result.Skipped;
    return result;
  }
  const std::string live = intoFolder.empty() ? LiveFolderOf(brandFolder, *wanted) : FindPath(intoFolder);
  const std::string backupTables = FindPath(wanted->empty() ? backupFolder : JoinPath(backupFolder, *wanted));
  for (const CourseBackupProfile& course : ReadBackupProfile(JoinPath(backupFolder, kBackupProfileName))) {
    // The backup put the course's tables at its path below the brand folder: the
    // same part names the live folder, wherever the databases stand now.
    const auto part = ProfileTargetPart(course.Path);
    if (!part || !EqualsNoCase(*part, *wanted)) continue;
    TableRestore restore(backupTables, live, result);
    for (const TableBackupProfile& table : course.Tables) restore.Apply(table);
  }
  return result;
}

ProfileApplication RestoreFromIncrements(const std::vector<GradebookBackup>& backups, long number,
                                         const std::string& brandFolder, const std::string& subPath,
                                         const std::string& intoFolder) {
  ProfileApplication total;
  for (const GradebookBackup& backup : backups)
    if (backup.Number <= number) {
      WriteLogNote("Gradebook restore: applying " + backup.Folder);
      Add(total, ApplyBackupProfile(backup.Folder, brandFolder, subPath, intoFolder));
    }
  return total;
}

}  // namespace tolvarin
