#pragma once
// The gradebook's backup profile, backupprofile.xml: per course folder, the tables
// and the key values of the rows a precision backup holds. The file comes from
// another program, so every name and path in it is checked before it names a file.
#include <optional>
#include <string>
#include <vector>

namespace tolvarin {

inline constexpr const char* kBackupProfileName = "backupprofile.xml";

struct TableBackupProfile {
  std::string Name;              // table name, without ".dbf"
  std::string Tag;               // the tag the key values are sought on
  std::vector<std::string> IDs;  // key values, as written
};

struct CourseBackupProfile {
  std::string Path;  // the course folder as the gradebook wrote it
  std::vector<TableBackupProfile> Tables;
};

// Every CourseBackupProfile element of the document, in file order.
std::vector<CourseBackupProfile> ParseBackupProfile(const std::string& document);
// The profile file read as text; empty when it is missing.
std::vector<CourseBackupProfile> ReadBackupProfile(const std::string& file);

// A course path with "/" for every "\".
std::string ProfilePath(const std::string& path);
// The part of a course path below "DATABASES/CORVANE" (without it: from its 17th
// character on), as a relative path of folder names joined by "/" ("" for the
// brand folder itself). nullopt when a part is ".." and so could lead outside the
// folder it is put under.
std::optional<std::string> ProfileTargetPart(const std::string& path);
// A relative path cleaned to folder names joined by "/" ("." and empty parts
// dropped; "\" read as "/"); nullopt when a part is "..".
std::optional<std::string> RelativeFolderPart(const std::string& path);
// A table name that names one file in its folder: not empty, no separator, not "."
// or "..", no NUL.
bool IsSafeTableName(const std::string& name);

// The character-attribute row key of a row: the lower-case table name in 20
// characters, then the key value in 40 (the tag ROW of charattributes).
std::string AttributeRowKey(const std::string& tableName, const std::string& id);
// The key value's number without leading zeros ("0000042" gives "42"), under which
// older attribute rows were stored.
std::string PlainNumberText(const std::string& id);

// The numbered gradebook backups in a folder: every subfolder whose name holds
// "GradebookBackup" followed by nothing but a number, and that holds a
// backupprofile.xml, in ascending number (ties by name), so that increments are
// applied oldest first.
struct GradebookBackup {
  std::string Folder;
  long Number = 0;
};
std::vector<GradebookBackup> ListGradebookBackups(const std::string& backupRoot);
// The first number from 1 to number that no backup, or more than one, carries; 0
// when each is there once, so that 1 to number can be applied in order.
long MissingIncrement(const std::vector<GradebookBackup>& backups, long number);

}  // namespace tolvarin
