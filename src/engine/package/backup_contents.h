#pragma once
// What a finished backup folder holds, recorded in its description file: each file's
// size and checksum and each table's live rows. A backup checks itself against the
// record after writing it; a restore checks the folder against it before it copies
// anything, so a backup that lost a file or rows on the way is told, not restored.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tolvarin {

// The folder of a backup that keeps the course's own table files as they were.
inline constexpr const char* kKeptCourseFolder = "CourseTables";

struct RecordedFile {
  std::string name;  // relative to the backup folder, "/"-separated
  std::uintmax_t size = 0;
  std::uint32_t checksum = 0;
};

struct BackupContents {
  std::vector<RecordedFile> files;
  std::map<std::string, long> rows;  // upper-case table name: live rows
};

std::uint32_t Crc32(const std::string& bytes);
// The checksum of a file's bytes as the record keeps it; nullopt when it cannot be read.
std::optional<std::uint32_t> FileChecksum(const std::string& path);

// Every regular file of the folder and of its subfolders (the description file and
// its half-written copy aside), with the live rows of the folder's own tables.
BackupContents MeasureBackupFolder(const std::string& folder);
// The live rows of each table of a folder (upper-case name), the version file aside;
// a table that does not open is left out.
std::map<std::string, long> LiveRows(const std::string& folder);

// Adds the record to the folder's description file, written whole under another
// name and renamed into place. False when that failed.
bool WriteBackupContents(const std::string& folder, const BackupContents& contents);
// The record of the folder's description file; nullopt for a backup without one.
std::optional<BackupContents> ReadBackupContents(const std::string& folder);

// What in the folder differs from the record, one text per problem naming the table
// or file; empty when the folder is as recorded. Links never count as files.
std::vector<std::string> ContentsProblems(const std::string& folder, const BackupContents& recorded);
// Tables of the folder that hold fewer live rows than recorded.
std::vector<std::string> MissingRows(const std::string& folder, const BackupContents& recorded);

}  // namespace tolvarin
