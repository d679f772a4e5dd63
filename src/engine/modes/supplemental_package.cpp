#include "engine/modes/supplemental_package.h"

#include <algorithm>

#include "core/box_buttons.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/key_text.h"
#include "data/open_table.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/package/packages.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/table_mapping.h"

namespace tolvarin {
namespace {

using transfer::Number;

// The identifiers of the source questions from first to last that have a row, in
// key order. Read before any is selected: selecting moves the table.
std::vector<std::int32_t> QuestionsInRange(std::int32_t first, std::int32_t last) {
  std::vector<std::int32_t> ids;
  const QuestsRecord& quests = Src().Quests;
  if (quests.Data == 0 || quests.Quest_idTag == 0) return ids;
  first = std::max<std::int32_t>(first, 1);
  if (first > last) return ids;
  xbase::d4tagSelect(quests.Data, quests.Quest_idTag);
  int rc = xbase::d4seek(quests.Data, FormatID(first));
  if (rc == xbase::kAfter) rc = xbase::kSuccess;
  for (; rc == xbase::kSuccess; rc = xbase::d4skip(quests.Data, 1)) {
    const std::int32_t id = Number(quests.Quest_id);
    if (id > last) break;
    if (id >= first) ids.push_back(id);
  }
  return ids;
}

bool HasQuestion(std::int32_t id) {
  const QuestsRecord& quests = Src().Quests;
  return transfer::Seek(quests.Data, quests.Quest_idTag, FormatID(id));
}

// The identifier of the description table's first row in natural order; 0 when empty.
std::int32_t FirstDescription() {
  const DescriptRecord& descript = Src().Descript;
  if (descript.Data == 0) return 0;
  xbase::d4tagSelect(descript.Data, 0);
  return xbase::d4top(descript.Data) == xbase::kSuccess ? Number(descript.DescriptID) : 0;
}

}  // namespace

std::vector<std::int32_t> ExtraQuestionIDs(const std::string& extraIDs) {
  std::vector<std::int32_t> ids;
  const StringArray tokens = SplitText(extraIDs, ",", true);
  for (long i = tokens.LowerBound(); tokens.Dimensioned() && i <= tokens.UpperBound(); ++i) {
    const double value = TextValue(tokens[i]);
    if (value > 0 && value <= 2147483647.0) ids.push_back(static_cast<std::int32_t>(RoundHalfEven(value)));
  }
  return ids;
}

void SelectSupplementalContent(std::int32_t idStart, std::int32_t idEnd, const std::vector<std::int32_t>& extraIDs) {
  for (const std::int32_t id : QuestionsInRange(idStart, idEnd)) SelectID(kQuestsTable, id);
  SelectID(kDescriptTable, FirstDescription());
  // An extra identifier without a question selects nothing, as one in the range does.
  for (const std::int32_t id : extraIDs) {
    if (HasQuestion(id))
      SelectID(kQuestsTable, id);
    else
      WriteLogNote("Supplemental package: there is no question " + std::to_string(id));
  }
}

int CreateSupplementalPackage(std::int32_t idStart, std::int32_t idEnd, const std::string& coursePath,
                              const std::string& extraIDs) {
  RunSettings& s = Settings();
  RunPaths& p = Paths();
  SetProductionBlankFolder(HostIniString(kProductionBlankFolderKey));
  const std::vector<std::int32_t> extras = ExtraQuestionIDs(extraIDs);

  // Without a course the tables would be made wherever the program runs.
  if (coursePath.empty() || !FolderExists(FindPath(coursePath))) {
    MsgBox("The course folder \"" + coursePath + "\" does not exist.  No supplemental package was made.",
           kMbCritical);
    Terminate();
  }
  if (GetTempFolder().empty()) {
    MsgBox("There is no safe temporary folder for the supplemental package.  No supplemental package was made.",
           kMbCritical);
    Terminate();
  }
  s.Operation = 1;
  SetSrcToCourse();
  s.ImportMode = 3;
  ResetSelections();
  SelectSupplementalContent(idStart, idEnd, extras);

  // What an earlier export left in the staging folder is not part of this package.
  ClearCorTempFolder();
  p.BackupPath = CorTempFolder();
  const TransferEnd end = DoBackup();
  UninitSrc();
  return end == TransferEnd::Done ? 0 : 1;
}

}  // namespace tolvarin
