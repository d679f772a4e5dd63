#include "engine/transfer/import_log.h"

#include <fstream>
#include <sstream>

#include "core/box_buttons.h"
#include "core/paths.h"
#include "core/presenter.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/table_mapping.h"

namespace tolvarin {
namespace {

constexpr const char* kEol = "\r\n";
constexpr const char* kSeparator = "-----------------------------------------------------";

std::string PrintNumber(long n) { return (n < 0 ? "" : " ") + std::to_string(n) + " "; }

void WritePairs(std::ostream& out, const IdMap& map) {
  if (map.Empty()) return;
  for (std::int32_t old = map.low(); old <= map.high(); ++old)
    if (const std::int32_t id = map.Get(old); id != 0) out << ImportLogPair(old, id) << kEol;
}

}  // namespace

std::string ImportLogPair(long oldID, long newID) { return PrintNumber(oldID) + PrintNumber(newID); }

std::string GetImportLogPath() {
  const std::string folder = Settings().ImportMode == 6 ? Paths().BackupPath : Paths().CoursePath;
  return FindPath(JoinPath(folder, kImportLogName));
}

void WriteImportLogTable(std::ostream& out, int tableNo) {
  const TableMapping& m = Mapping(tableNo);
  out << m.TableName << kEol;
  WritePairs(out, m.IDMap);
}

std::string ImportLogBlock(const std::string& name, const std::string& when) {
  std::ostringstream out;
  out << kSeparator << kEol << "Date:" << when << kEol << "Imported by: " << name << kEol;
  WriteImportLogTable(out, kQuestsTable);
  WriteImportLogTable(out, kDescriptTable);
  out << "Images" << kEol;
  WritePairs(out, ImageMap());
  return out.str();
}

bool WriteImportLog() {
  const std::string name = Presenter().InputBox({kImportLogPrompt, kImportLogTitle, ""});
  const std::string path = GetImportLogPath();
  const std::string block = ImportLogBlock(name, TimeStampNow());
  std::ofstream file(path, std::ios::binary | std::ios::app);
  if (file) file << block;
  if (file) file.close();
  if (!file) {
    WriteLog("The import log " + path + " could not be written");
    MsgBox("The import log \"" + path + "\" could not be written. The import goes on without it.", kMbExclamation);
    return false;
  }
  return true;
}

}  // namespace tolvarin
