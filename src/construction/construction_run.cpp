#include "construction/construction_run.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "data/codebase.h"
#include "data/open_table.h"

#include <sys/stat.h>

namespace tolvarin {

ConstructionState& Construction() {
  static ConstructionState state;
  return state;
}

void ResetRowLists() {
  ConstructionState& state = Construction();
  state.ValueRemaps.clear();
  state.KeptRows.clear();
  state.KeptKeys.clear();
  state.DeletedRows = 0;
}

std::string RebuildTempFolder() {
  const std::string temp = GetTempFolder();
  if (temp.empty()) return "";
  // A folder of its own inside cortemp: a restore keeps the package's content in
  // cortemp itself while it upgrades the tables.
  return JoinPath(temp, "cortemp/rebuild/");
}

std::string ClassificationStage() {
  const std::string temp = GetTempFolder();
  return temp.empty() ? "" : JoinPath(temp, "cortemp/classification/");
}

xbase::Data4 OpenForUpgrade(const std::string& path) {
  const std::string real = FindPath(path);
  struct stat st;
  if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  if (Engine().EngineHandle == 0) InitCodeBase();
  const xbase::Code4 code = Engine().EngineHandle;
  xbase::code4errorCode(code, 0);
  const xbase::Data4 data = xbase::d4open(code, real);
  if (data != 0) return data;
  if (xbase::code4errorCode(code, 0) == xbase::kErrorAccess) return 0;
  return OpenTable(real, 0, false, true);
}

void LogConstructionNote(const std::string& text) {
  const bool previous = DebugLogSwitch();
  SetDebugLogSwitch(true);
  WriteDebugLog(text);
  SetDebugLogSwitch(previous);
}

void LogConstructionError(const std::string& text) { LogConstructionNote("TOLVARIN ERROR: " + text); }

}  // namespace tolvarin
