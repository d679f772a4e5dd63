#pragma once
// The drivers that run a whole transfer: a backup of the selected rows into a backup
// folder, a restore of every row of a backup folder into the current course, the
// gradebook export of one exam and the migration into another installation's course.
#include <string>
#include <vector>

namespace tolvarin {

// How a driver ended, for the caller's exit status.
enum class TransferEnd {
  Done,     // ran to its end (a backup: and its folder was checked)
  Stopped,  // the user stopped it before anything was written
  Failed,   // something went wrong; the user was told
};

// SRC set to the course with its rows selected. Writes BackupPath and, interactively,
// zips it into PackagePath. Done only when the folder was checked afterwards: the
// description files are there and every table opens clean with at least as many
// rows as were selected for it.
TransferEnd DoBackup();
// DEST set to the course; BackupPath names the unpacked backup folder. A copy of the
// folder is upgraded first (not for an append or a game import, which read it as it is).
// A game import runs into work copies (restore_work_copies.h): its rewritten activity
// files go aside with them.
TransferEnd DoRestore();
// Whether BackupPath holds a backup this program can restore (its description file, no
// link, what its record says, a known version); the user was told when not, naming
// the package an interactive import unpacked there. DoRestore asks first; a caller asks
// before it opens the course, so that a bad folder changes nothing there.
bool RestoreSourceIsUsable();
// For an interactive import, once the file page has unpacked the package into
// BackupPath: RestoreSourceIsUsable, and every table of the package read whole as
// the repair would read it (a package from an older program records nothing to
// check it against). False when the user was told why not, naming the package.
bool PackageIsUsable();
// The "GBEXPORT" operation: one exam (key Exam) with its questions into BackupPath.
TransferEnd DoExport();
// The selection of the current course into the course folder the user chooses.
TransferEnd DoMigrate();

// What is wrong with a finished backup folder, one text per problem; empty when none.
// expectedRows: table name (upper case) and the least number of rows it must hold.
struct ExpectedRows {
  std::string table;
  long rows = 0;
};
std::vector<std::string> CheckBackupFolder(const std::string& folder, const std::vector<ExpectedRows>& expected,
                                           bool withDescription);

}  // namespace tolvarin
