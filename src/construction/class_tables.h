#pragma once
// The gradebook's class-table update: an older classes table, whose class names
// often begin with the period number, becomes the current layout with that number
// in its own field, and the links between classes and their students are built.
#include <string>

namespace tolvarin {

// An old class name split into the period number (as text, "0" when the name does
// not begin with a number) and the rest of the name ("" when nothing follows).
struct PeriodSplit {
  std::string Period;
  std::string Section;
};
PeriodSplit SplitPeriod(const std::string& oldSection);

// Builds the new classes and studentclass tables in the work folder from the
// database folder's classes and students, checks them, and puts them in the place
// of the database folder's tables. The database folder changes only when everything
// before was written and checked; a classes table already in the current layout is
// left as it is. False when the conversion was refused or failed (said in the run
// log); the database folder is then as it was.
bool ConvertClassTables(const std::string& databaseFolder, const std::string& workFolder);

}  // namespace tolvarin
