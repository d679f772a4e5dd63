#pragma once
// The import log: after an interactive import in office mode, one block per import is
// appended to importlog.txt in the course folder, naming who imported, when, and the
// old and new identifiers of the questions, descriptions and images. Nothing reads it.
#include <iosfwd>
#include <string>

namespace tolvarin {

// CoursePath/importlog.txt; BackupPath/importlog.txt in a migration (ImportMode 6),
// where BackupPath is the target course. An existing file in another case is the one used.
std::string GetImportLogPath();

// Asks for the operator's name and appends one block. A file that cannot be opened
// or written is reported and the run goes on (the import is not undone): false then.
bool WriteImportLog();

// The block WriteImportLog appends, CR LF line ends; when is "yyyy-mm-dd hh:nn:ss".
std::string ImportLogBlock(const std::string& name, const std::string& when);

// One table's name line and a line per mapped identifier (tables 1 and 2).
void WriteImportLogTable(std::ostream& out, int tableNo);

// A pair as the log writes it: " 12  20001 " (sign place, digits, one blank each).
std::string ImportLogPair(long oldID, long newID);

inline constexpr const char* kImportLogName = "importlog.txt";
inline constexpr const char* kImportLogPrompt =
    "Big Brother requests that you enter your name, so that we may track your activity for the sake of "
    "Homeland Security:";
inline constexpr const char* kImportLogTitle = "Enter your name";

}  // namespace tolvarin
