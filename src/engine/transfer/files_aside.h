#pragma once
// Files a transfer into work copies writes aside instead of in place: the course's
// new pictures and a game package's rewritten activity files. They are put in place
// with the work copies of the tables as one group (data/table_swap.h), or dropped
// with them, so that a transfer that fails or is killed leaves every file as it was.
#include <string>
#include <vector>

#include "data/table_swap.h"

namespace tolvarin {

// What a file written aside beside its target adds to the target's name.
inline constexpr const char* kAsideSuffix = ".tolvarin-new";

// The destination's tables are work copies: the transfer's other files go aside too.
bool WritingAside();

// A file of the course folder waits in the destination's work folder; any other
// beside its target (on its file system). Each is checked byte for byte once
// written; false, and nothing left of it, when that failed.
bool CopyAside(const std::string& source, const std::string& target);
bool WriteAside(const std::string& target, const std::string& text);

// What was written aside since the last drop, each target once.
const std::vector<StagedFile>& FilesAside();
// Removes every file written aside (after a failure) and forgets them.
void DropFilesAside();
// Forgets them (once the swap moved them into place).
void ForgetFilesAside();

}  // namespace tolvarin
