#pragma once
// Opening a table: a missing table is made from its blank copy, and a table that
// will not open (or that the caller asks to have repaired) is rebuilt from its
// blank copy and the records still readable in its damaged data file. Also the
// copy and delete of a table's files as a set.
//
// A table is the files <name>.dbf, <name>.cdx and, with memo fields, <name>.fpt in
// one folder. Paths use "/"; names are found without regard to case.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/xbase.h"

namespace tolvarin {

// Names the blank table folder for CopyBlankTable and the repair: the databases
// root's "Blank", else AppPath's "Databases/Blank", else the production mode's
// configured blank folder.
inline constexpr std::string_view kDefaultBlankFolder = ":DEFAULT:";

// Opens the table shared, with the engine's own messages off while it opens. A
// missing table is first copied from the blank folder (zapNew: empty the copy), and
// so is a table whose data file no row can be in (empty, or the first bytes of its
// blank copy: what an in-place copy stopped on the way left). A
// table that will not open, or any table when forceRepair is set, goes through
// RepairTable, except when the system refused access: then the access message is
// shown and nothing is repaired; and except when only its index was refused
// (damaged, or marked by a writer that was killed): then the index is first rebuilt
// from the table's own records. 0 when the table could not be opened.
xbase::Data4 OpenTable(const std::string& path, int zapNew = 0, bool forceRepair = false, bool silent = false);

// Rebuilds a damaged table in place from its blank copy and every record that can
// still be read, and returns it opened. On failure: not silent, the "Table: "
// message and the run ends; silent, 0; either way the table's own files stay as
// they were. The rows are first copied to <name>_fix files and rebuilt as
// <name>_new files, which then take the table's place, the data file last; a run
// stopped on the way is finished by the next open. Fix files an earlier repair left
// are moved aside (<name>_fix_<n>) and the user is told where.
xbase::Data4 RepairTable(const std::string& path, bool silent);

// Called with the name of each step of a repair or a blank copy that has written its
// files (for tests that stop a run there).
void SetRepairStepHook(std::function<void(const std::string&)> hook);

// Raised inside the repair with the failed step's text; never leaves RepairTable.
class RepairError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Number of records (live and deleted) that can be read from the damaged data file
// folder/<name>.dbf, measured against the blank copy; 0 when none can. Throws
// RepairError with the step's text on failure.
std::int32_t CountRecoverableRecords(const std::string& name, const std::string& folder);

// Index of the first occurrence of the text's characters in the bytes at or after
// from, -1 when absent. A text shorter than 16 characters is searched with one NUL
// appended (field names in a DBF header are NUL-padded).
std::int32_t FindBytes(std::string_view text, const std::vector<std::uint8_t>& bytes, std::size_t from = 0);

// Copies the blank copy of a table into a folder (".dbf", ".cdx" with a message
// when missing, ".fpt" when the blank folder has it). zap: empty the copy. The files
// are written beside their place under <name>_blank names and then moved in, the data
// file last, so that a run stopped on the way never leaves part of a data file.
void CopyBlankTable(const std::string& destFolder, const std::string& tableName, int zap,
                    const std::string& blankFolder = std::string(kDefaultBlankFolder));
// Copies ".dbf", ".cdx" and (when the source has one) ".fpt", replacing existing files.
void CopyTableFiles(const std::string& fromFolder, const std::string& toFolder, const std::string& tableName);
// Deletes ".dbf", ".cdx" and ".fpt" when present, the data file first.
void DeleteTableFiles(const std::string& folder, const std::string& tableName);
// Deletes the ".cdx" and ".fpt" files of the folder that have no data file beside
// them, as a deletion killed after the data file went leaves them. Work files of a
// repair or a swap (names holding "_"), a table whose data file was saved aside as
// ".dbf.save" and the names in kept are left alone.
void RemoveOrphanTableFiles(const std::string& folder, const std::vector<std::string>& kept = {});

// For 15001: "Unable to open file <last repair path>. The file is missing or in
// use." (the box's result goes to LastEngineCode); other numbers show nothing.
void ReportOpenFailure(int errorNumber);

// The blank folder the production mode configures ("" in every other mode).
void SetProductionBlankFolder(const std::string& folder);
// The folder ":DEFAULT:" stands for now; "" when none exists.
std::string DefaultBlankFolder();
// The path of the last table OpenTable could not open or was asked to repair.
const std::string& LastRepairPath();

}  // namespace tolvarin
