#include "engine/package/backup_folder.h"

#include <filesystem>
#include <system_error>

#include "core/file_set_copy.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "data/open_table.h"
#include "platform/shell/shell.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {
namespace fs = std::filesystem;

const std::vector<std::string>& BackupTableNames() {
  static const std::vector<std::string> kNames = {"exams",    "examques",  "printopt",   "quests",  "questype",
                                                  "descript", "standard",  "stanques",   "Sessions", "sesquests",
                                                  "sesresults", "classes", "students", "templates"};
  return kNames;
}

bool WriteTolvarinIni(const std::string& folder, const std::string& type) {
  const std::string version = FindPath(JoinPath(folder, kVersionFile));
  IniSetFile("Version", version);
  IniWriteInt("Schema", static_cast<int>(Settings().SchemaVersion));

  // The description file is what makes a folder count as a backup (and dates a
  // slot): it appears whole, after everything else, or not at all.
  const std::string final = FindPath(JoinPath(folder, kDescriptionFile));
  const std::string part = JoinPath(folder, std::string(kDescriptionFile) + ".part");
  DeleteFile(part);
  IniSetFile("Tolvarin", part);
  const std::string created = TimeStampNow();
  bool written = IniWriteString("Created", created) != 0 && IniWriteString("Type", type) != 0;
  if (Settings().Interactive) {
    written = written && IniWriteInt("AreaID", CurrentArea().AreaID) != 0;
    written = written && IniWriteInt("CourseID", CurrentCourse().CourseID) != 0;
  }
  std::error_code ec;
  if (written) fs::rename(part, final, ec);
  if (!written || ec) DeleteFile(part);
  IniSetFile("Version", version);
  return written && !ec && IniGetInt("Schema", -1) == Settings().SchemaVersion;
}

bool CreateDatabasesFolder(const std::string& folder) {
  WriteLog("Creating databases folder: " + folder);
  CreateFolderTree(folder);
  WriteLog("before ini");
  bool ready = FolderExists(folder);
  std::vector<std::string> tables;
  if (Settings().Mode == 0) {
    ready = WriteTolvarinIni(folder, kUserContentType) && ready;
    CopyBlankTable(folder, "users", 1);
    tables.push_back("users");
  }
  WriteLog("after ini");
  for (const std::string& table : BackupTableNames()) {
    CopyBlankTable(folder, table, 1);
    tables.push_back(table);
  }
  for (const char* pattern : {"00?????.gif", "00?????.jpg", "00?????.bmp"})
    for (const std::string& name : shell::ListFiles(FindPath(folder), pattern)) DeleteFile(JoinPath(folder, name));
  for (const std::string& table : tables) ready = ready && FileExists(FindPath(JoinPath(folder, table + ".dbf")));
  WriteLog("Done Creating databases folder.");
  return ready;
}

bool CopyTableFileSet(const std::string& sourceFolder, const std::string& targetFolder, const std::string& table,
                      bool withMemo) {
  std::vector<std::string> names = {table + ".dbf", table + ".cdx"};
  if (withMemo) names.push_back(table + ".fpt");
  return CopyFileSet(sourceFolder, targetFolder, names).empty();
}

bool RemoveEmptyTables(const std::string& folder, std::vector<std::string>* failures) {
  std::vector<std::string> empty;
  bool allOpened = true;
  const std::string real = FindPath(folder);
  for (const std::string& file : shell::ListFiles(real, "*.dbf")) {
    if (ToUpper(file) == "STATUS.DBF") continue;
    const std::string table = file.substr(0, file.size() - 4);
    xbase::Data4 data = OpenTable(JoinPath(real, file), 0, false, true);
    int rc = xbase::kErrorHandle;
    if (data != 0) {
      xbase::d4tagSelect(data, 0);
      rc = xbase::d4top(data);
      xbase::d4close(data);
    }
    if (rc == xbase::kEof) {
      empty.push_back(table);
    } else if (rc != xbase::kSuccess) {
      allOpened = false;
      if (failures) failures->push_back(file);
    }
  }
  for (const std::string& table : empty) DeleteTableFiles(real, table);
  return allOpened;
}

}  // namespace tolvarin
