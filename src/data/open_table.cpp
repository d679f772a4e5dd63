#include "data/open_table.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "core/box_buttons.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/recoverable_rows.h"

namespace tolvarin {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string& RepairPath() {
  static std::string path;
  return path;
}

std::string& ProductionBlankFolder() {
  static std::string folder;
  return folder;
}

xbase::Code4 Context() {
  if (Engine().EngineHandle == 0) InitCodeBase();
  return Engine().EngineHandle;
}

// The file folder/<name><extension> as it stands on disk (any case), or as written
// when it does not exist.
std::string TableFile(const std::string& folder, const std::string& name, const std::string& extension) {
  return FindPath(JoinPath(folder, name + extension));
}

// Reads and clears a pending engine error, as every open does first.
void ClearPendingError(xbase::Code4 code) {
  int pending = xbase::code4errorCode(code, 0);
  for (int tries = 0; pending != 0 && tries < 3; ++tries) {
    xbase::code4errOff(code, 0);
    pending = xbase::code4errorCode(code, 0);
  }
}

std::function<void(const std::string&)>& StepHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

void Step(const std::string& name) {
  if (StepHook()) StepHook()(name);
}

// The files a repair works with: the table's own, the fix copy of its rows and the
// rebuilt table that replaces it.
struct RepairFiles {
  std::string folder, name, dbf, cdx, fpt;
  std::string fixName, fixDbf, fixCdx, fixFpt;
  std::string newName, newDbf, newCdx, newFpt;
};

RepairFiles FilesOf(const std::string& path) {
  RepairFiles files;
  files.dbf = FindPath(path);
  files.folder = GetFolderOfPath(files.dbf);
  files.name = GetFileName(files.dbf, false);
  files.cdx = TableFile(files.folder, files.name, ".cdx");
  files.fpt = TableFile(files.folder, files.name, ".fpt");
  files.fixName = files.name + "_fix";
  files.fixDbf = TableFile(files.folder, files.fixName, ".dbf");
  files.fixCdx = TableFile(files.folder, files.fixName, ".cdx");
  files.fixFpt = TableFile(files.folder, files.fixName, ".fpt");
  files.newName = files.name + "_new";
  files.newDbf = TableFile(files.folder, files.newName, ".dbf");
  files.newCdx = TableFile(files.folder, files.newName, ".cdx");
  files.newFpt = TableFile(files.folder, files.newName, ".fpt");
  return files;
}

// Replaces target by source in one step; false when the system refused.
bool RenameOver(const std::string& source, const std::string& target) {
  std::error_code error;
  std::filesystem::rename(source, target, error);
  return !error;
}

// Copies a file and proves the copy holds the source's bytes.
bool CopyVerified(const std::string& source, const std::string& target) {
  DeleteFile(target);
  CopyFileReplace(source, target);
  return FileExists(target) && ReadFileBytes(target) == ReadFileBytes(source);
}

bool WriteVerified(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  DeleteFile(path);
  WriteFileBytes(path, bytes);
  return FileExists(path) && ReadFileBytes(path) == bytes;
}

// The first name base_1, base_2, ... under which none of the extensions is taken.
std::string FreeName(const std::string& folder, const std::string& base, std::initializer_list<const char*> extensions) {
  for (int n = 1;; ++n) {
    const std::string name = base + "_" + std::to_string(n);
    bool taken = false;
    for (const char* extension : extensions) taken = taken || FileExists(TableFile(folder, name, extension));
    if (!taken) return name;
  }
}

void Tell(const std::string& text, bool silent) {
  WriteDebugLog(text);
  if (!silent) FacilityMessageBox(text, kMbInformation);
}

// The fix files an earlier repair left are the only copy of rows it could not put
// back: they move aside under a name of their own before this repair makes its own.
void KeepEarlierFixFiles(const RepairFiles& files, const std::string& path, bool silent) {
  auto isFile = [](const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(FindPath(path), error);
  };
  if (!isFile(files.fixDbf) && !isFile(files.fixCdx) && !isFile(files.fixFpt)) return;
  const std::string aside = FreeName(files.folder, files.fixName, {".dbf", ".cdx", ".fpt"});
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const std::string from = TableFile(files.folder, files.fixName, extension);
    if (isFile(from) && !RenameOver(from, JoinPath(files.folder, aside + extension))) {
      throw RepairError("Can't keep the earlier repair's files");
    }
  }
  Tell("An earlier repair of " + path + " left copies of its rows. They are kept as " +
           JoinPath(files.folder, aside + ".dbf") + ".",
       silent);
}

// A rebuilt table that a stopped repair had not yet put in place: with the table's
// data file gone it is the table (the rows are in it), so it is put in place now;
// with the data file still there it is an unfinished copy and goes.
void FinishInterruptedRepair(const std::string& path) {
  const RepairFiles files = FilesOf(path);
  if (!FileExists(files.newDbf)) {
    if (FileExists(files.dbf)) {
      DeleteFile(files.newCdx);
      DeleteFile(files.newFpt);
    }
    return;
  }
  if (FileExists(files.dbf)) {
    DeleteTableFiles(files.folder, files.newName);
    return;
  }
  if (FileExists(files.newFpt)) RenameOver(files.newFpt, files.fpt);
  if (FileExists(files.newCdx)) RenameOver(files.newCdx, files.cdx);
  if (RenameOver(files.newDbf, files.dbf)) {
    DeleteTableFiles(files.folder, files.fixName);
    WriteDebugLog("Finished the interrupted repair of " + path + ".");
  }
}

// The name a blank copy is written under beside its place: the table's name with
// this added, and for the data file an extension that no listing of tables takes up.
constexpr const char* kStagedBlankSuffix = "_blank";
constexpr const char* kStagedDataExtension = ".tmp";

// Whether a file copied to target is there, whole.
bool IsWholeCopy(const std::string& source, const std::string& target) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(target, error)) return false;
  const auto copied = std::filesystem::file_size(target, error);
  if (error) return false;
  const auto size = std::filesystem::file_size(source, error);
  return !error && copied == size;
}

// Empties a blank copy under its staged name (the engine finds the staged index and
// memo file beside it). A copy that will not open is left as it is: the open that
// follows its move repairs it.
void EmptyStagedCopy(const std::string& dataFile) {
  const xbase::Code4 code = Context();
  ClearPendingError(code);
  xbase::code4errOff(code, 1);
  const xbase::Data4 data = xbase::d4open(code, dataFile);
  if (data != 0) {
    EmptyTable(data);
    xbase::d4close(data);
  }
  ClearPendingError(code);
  xbase::code4errOff(code, 0);
}

// A data file that no row can be in: empty, or the first bytes of the table's blank
// copy, as a copy made in place and stopped on the way left it. It stands for the
// missing table it is.
bool IsUnfinishedBlankCopy(const std::string& dataFile) {
  std::error_code error;
  const auto size = std::filesystem::file_size(dataFile, error);
  if (error) return false;
  if (size == 0) return true;
  const std::string blank = DefaultBlankFolder();
  if (blank.empty()) return false;
  const std::string blankFile = TableFile(blank, GetFileName(dataFile, false), ".dbf");
  const auto blankSize = std::filesystem::file_size(blankFile, error);
  if (error || size >= blankSize) return false;
  const std::vector<std::uint8_t> bytes = ReadFileBytes(dataFile);
  const std::vector<std::uint8_t> blankBytes = ReadFileBytes(blankFile);
  return bytes.size() == size && blankBytes.size() == blankSize &&
         std::equal(bytes.begin(), bytes.end(), blankBytes.begin());
}

// Takes an unfinished blank copy away so that the table is made again. A memo file
// beside it that is not the blank one may hold the texts of rows lost with the data
// file: it is kept under a name of its own.
void DiscardUnfinishedBlankCopy(const std::string& dataFile) {
  const std::string folder = GetFolderOfPath(dataFile);
  const std::string name = GetFileName(dataFile, false);
  const std::string memo = TableFile(folder, name, ".fpt");
  const std::string blankMemo = TableFile(DefaultBlankFolder(), name, ".fpt");
  if (FileExists(memo) && !(FileExists(blankMemo) && ReadFileBytes(memo) == ReadFileBytes(blankMemo))) {
    const std::string aside = JoinPath(folder, FreeName(folder, name + "_memo", {".fpt"}) + ".fpt");
    if (RenameOver(memo, aside)) WriteDebugLog("The memo file of " + dataFile + " is kept as " + aside + ".");
  }
  DeleteFile(dataFile);
  WriteDebugLog(dataFile + " held no row (an unfinished copy of its blank table); it is made again.");
}

// Copies the blank copy of the table's files under the rebuilt table's names.
void CopyBlankAsNew(const RepairFiles& files, const std::string& blankFolder) {
  for (const char* extension : {".dbf", ".cdx"}) {
    const std::string source = TableFile(blankFolder, files.name, extension);
    if (FileExists(source)) {
      CopyFileReplace(source, TableFile(files.folder, files.newName, extension));
    } else {
      FacilityMessageBox("Unable to locate blank " + files.name +
                             (std::string(extension) == ".dbf" ? ".dbf file." : ".cdx file."),
                         kMbCritical);
    }
  }
  const std::string memo = TableFile(blankFolder, files.name, ".fpt");
  if (FileExists(memo)) CopyFileReplace(memo, files.newFpt);
}

// What a repair reads: the damaged rows and the blank copy they are measured against.
struct Reading {
  RecoveredRows rows;
  std::vector<std::uint8_t> original;
  std::vector<std::uint8_t> blank;
  std::string blankFolder;
  bool memoUsable = false;
};

Reading ReadDamagedTable(const std::string& name, const std::string& folder) {
  Reading reading;
  const std::string dataFile = TableFile(folder, name, ".dbf");
  if (!FileExists(dataFile)) throw RepairError("Can't read table bytes");
  reading.original = ReadFileBytes(dataFile);

  reading.blankFolder = DefaultBlankFolder();
  const std::string blankFile = TableFile(reading.blankFolder, name, ".dbf");
  if (reading.blankFolder.empty() || !FileExists(blankFile)) throw RepairError("Can't open blank table");
  reading.blank = ReadFileBytes(blankFile);
  if (!ReadDescriptors(reading.blank)) throw RepairError("Can't open blank table");

  const MemoBlocks memo = OpenMemoBlocks(TableFile(folder, name, ".fpt"));
  reading.memoUsable = memo.usable;
  reading.rows = ReadRecoverableRows(reading.original, reading.blank, memo);
  if (reading.rows.layout.recordLength == 0) throw RepairError("Can't determine record width");
  return reading;
}

bool HasMemoFields(const SalvageLayout& layout) {
  return std::any_of(layout.fields.begin(), layout.fields.end(),
                     [](const SalvageField& field) { return std::string_view("MGPWX").find(field.type) != std::string_view::npos; });
}

// An index that the engine refused on its own (damaged, or left marked by a writer
// that was killed) is rebuilt from the table's own records: the data file stays as
// it is. 0 when that does not make the table open.
xbase::Data4 ReindexFromRecords(const std::string& path) {
  const xbase::Code4 code = Context();
  xbase::code4autoOpen(code, 0);
  const xbase::Data4 bare = xbase::d4open(code, path);
  const int rebuilt = bare != 0 ? xbase::d4reindex(bare) : xbase::kErrorIndex;
  if (bare != 0) xbase::d4close(bare);
  xbase::code4autoOpen(code, 1);
  ClearPendingError(code);
  const xbase::Data4 data = rebuilt == xbase::kSuccess ? xbase::d4open(code, path) : 0;
  ClearPendingError(code);
  return data;
}

}  // namespace

void SetProductionBlankFolder(const std::string& folder) { ProductionBlankFolder() = folder; }

const std::string& LastRepairPath() { return RepairPath(); }

std::string DefaultBlankFolder() {
  std::vector<std::string> candidates;
  if (!Paths().DatabasesRoot.empty()) candidates.push_back(JoinPath(Paths().DatabasesRoot, "Blank"));
  if (!Settings().AppPath.empty()) candidates.push_back(JoinPath(Settings().AppPath, "Databases/Blank"));
  if (!ProductionBlankFolder().empty()) candidates.push_back(ProductionBlankFolder());
  for (const auto& folder : candidates) {
    const std::string found = FindPath(folder);
    if (FolderExists(found)) return found;
  }
  return "";
}

std::int32_t FindBytes(std::string_view text, const std::vector<std::uint8_t>& bytes, std::size_t from) {
  std::string needle(text);
  if (needle.size() < 16) needle.push_back('\0');
  if (needle.size() > bytes.size()) return -1;
  for (std::size_t i = from; i + needle.size() <= bytes.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() && bytes[i + k] == static_cast<std::uint8_t>(needle[k])) ++k;
    if (k == needle.size()) return static_cast<std::int32_t>(i);
  }
  return -1;
}

void CopyBlankTable(const std::string& destFolder, const std::string& tableName, int zap,
                    const std::string& blankFolder) {
  const std::string blank = blankFolder == kDefaultBlankFolder ? DefaultBlankFolder() : blankFolder;
  // The files are copied (and emptied) under a name of their own beside their place and
  // then moved in, the data file last: a run stopped on the way leaves the table as it
  // was, no data file (a missing table, made again by the next open), or the whole copy.
  struct Placement {
    std::string staged, target;
  };
  std::vector<Placement> placements;
  std::string stagedData;
  const std::string stagedName = tableName + kStagedBlankSuffix;
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const bool data = std::string(extension) == ".dbf";
    const std::string source = TableFile(blank, tableName, extension);
    const std::string staged = TableFile(destFolder, stagedName, data ? kStagedDataExtension : extension);
    DeleteFile(staged);
    if (!blank.empty() && FileExists(source)) {
      CopyFileReplace(source, staged);
      const bool written = IsWholeCopy(source, staged);
      placements.push_back({staged, TableFile(destFolder, tableName, extension)});
      if (data) stagedData = staged;
      if (!written) {
        // Nothing is put in place: what stands there stays as it was.
        WriteDebugLog("TOLVARIN ERROR: " + staged + " could not be written.");
        for (const Placement& placement : placements) DeleteFile(placement.staged);
        return;
      }
    } else if (std::string(extension) != ".fpt") {
      FacilityMessageBox("Unable to locate blank " + tableName + (data ? ".dbf file." : ".cdx file."), kMbCritical);
    }
  }
  if (zap && !stagedData.empty()) EmptyStagedCopy(stagedData);
  Step("blank copy written");
  // A data file already in place goes first, so that its rows never meet the blank index.
  if (!stagedData.empty()) DeleteFile(TableFile(destFolder, tableName, ".dbf"));
  for (auto placement = placements.rbegin(); placement != placements.rend(); ++placement) {
    if (!RenameOver(placement->staged, placement->target)) {
      WriteDebugLog("TOLVARIN ERROR: " + placement->target + " could not be put in place.");
    }
    Step("blank " + GetFileName(placement->target, true) + " placed");
  }
}

void CopyTableFiles(const std::string& fromFolder, const std::string& toFolder, const std::string& tableName) {
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const std::string source = TableFile(fromFolder, tableName, extension);
    if (std::string(extension) == ".fpt" && !FileExists(source)) continue;
    CopyFileReplace(source, TableFile(toFolder, tableName, extension));
  }
}

void DeleteTableFiles(const std::string& folder, const std::string& tableName) {
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const std::string file = TableFile(folder, tableName, extension);
    if (FileExists(file)) DeleteFile(file);
  }
}

void RemoveOrphanTableFiles(const std::string& folder, const std::vector<std::string>& kept) {
  std::set<std::string> dataFiles;
  for (const std::string& kept_name : kept) dataFiles.insert(ToUpper(kept_name));
  const std::vector<std::string> files = GetFilesInFolder(folder, kAttrNormal, "DBF;CDX;FPT");
  for (const std::string& file : files)
    if (ToUpper(GetFileExtension(file)) == "DBF") dataFiles.insert(ToUpper(GetFileName(file, false)));
  for (const std::string& file : files) {
    const std::string stem = GetFileName(file, false);
    if (ToUpper(GetFileExtension(file)) == "DBF" || stem.find('_') != std::string::npos) continue;
    // A data file saved aside (control2.dbf.save) still owns its index.
    if (dataFiles.count(ToUpper(stem)) || FileExists(TableFile(folder, stem, ".dbf.save"))) continue;
    DeleteFile(file);
  }
}

void ReportOpenFailure(int errorNumber) {
  if (errorNumber != 15001) return;
  Engine().LastEngineCode = FacilityMessageBox(
      "Unable to open file " + RepairPath() + ". The file is missing or in use.", kMbCritical);
}

xbase::Data4 OpenTable(const std::string& path, int zapNew, bool forceRepair, bool silent) {
  const xbase::Code4 code = Context();
  auto& engine = Engine();
  FinishInterruptedRepair(path);
  if (FileExists(path) && IsUnfinishedBlankCopy(FindPath(path))) DiscardUnfinishedBlankCopy(FindPath(path));
  if (!FileExists(path)) {
    CopyBlankTable(GetFolderOfPath(path), GetFileName(path, false), zapNew, std::string(kDefaultBlankFolder));
  }
  ClearPendingError(code);

  engine.LastEngineCode = xbase::code4errOff(code, 1);
  engine.LastEngineCode = xbase::code4optimize(code, 1);
  engine.LastEngineCode = xbase::code4accessMode(code, 0);
  xbase::Data4 data = xbase::d4open(code, path);
  engine.LastEngineCode = data;

  if (forceRepair || data == 0) {
    RepairPath() = path;
    if (data > 0) xbase::d4close(data);
    data = 0;
    const int pending = xbase::code4errorCode(code, 0);
    if (pending == xbase::kErrorAccess) {
      engine.LastEngineCode = 0;
      FacilityMessageBox("The program could not access the file: " + path + kCrLf + kCrLf +
                             "It is possible that your account does not have full permissions for this file.",
                         kMbCritical);
    } else {
      if (!forceRepair && pending == xbase::kErrorIndex) data = ReindexFromRecords(path);
      if (data == 0) data = RepairTable(path, silent);
    }
  }
  engine.LastEngineCode = xbase::code4errOff(code, 0);
  return data;
}

std::int32_t CountRecoverableRecords(const std::string& name, const std::string& folder) {
  ClearPendingError(Context());
  return static_cast<std::int32_t>(ReadDamagedTable(name, folder).rows.recordCount);
}

void SetRepairStepHook(std::function<void(const std::string&)> hook) { StepHook() = std::move(hook); }

xbase::Data4 RepairTable(const std::string& path, bool silent) {
  const xbase::Code4 code = Context();
  auto& engine = Engine();
  FinishInterruptedRepair(path);
  const RepairFiles files = FilesOf(path);
  std::string description;
  // Set once the table's own data file is gone: from then on a failure puts it back.
  bool committing = false;
  std::vector<std::uint8_t> original;
  std::string savedFpt;  // a verified copy of the table's own memo file
  bool hadCdx = false;
  bool wroteFixFiles = false;
  try {
    ClearPendingError(code);
    Reading reading = ReadDamagedTable(files.name, files.folder);
    const RecoveredRows& rows = reading.rows;
    original = reading.original;
    // No row and nothing sound to rebuild from: the bytes may hold rows this reader
    // cannot see, so the table stays as it is.
    if (rows.recordCount == 0 && (!rows.headerSound || rows.unreadableSlots > 0)) {
      throw RepairError("Could not determine record count");
    }
    KeepEarlierFixFiles(files, path, silent);
    wroteFixFiles = true;

    // Verified copies of everything the table holds come first: nothing of the table
    // is touched until they are on disk.
    if (!WriteVerified(files.fixDbf, BuildFixFile(rows, reading.blank))) throw RepairError("Can't save table bytes");
    const bool hadFpt = FileExists(files.fpt);
    if (HasMemoFields(rows.layout)) {
      if (reading.memoUsable) {
        if (!CopyVerified(files.fpt, files.fixFpt)) throw RepairError("Can't save memo file");
        savedFpt = files.fixFpt;
      } else {
        // The rows keep empty memo fields in a blank memo file; a memo file that could
        // not be read is kept beside the table.
        if (!CopyVerified(TableFile(reading.blankFolder, files.name, ".fpt"), files.fixFpt)) {
          throw RepairError("Can't save memo file");
        }
        if (hadFpt) {
          savedFpt = JoinPath(files.folder, FreeName(files.folder, files.name + "_memo", {".fpt"}) + ".fpt");
          if (!CopyVerified(files.fpt, savedFpt)) throw RepairError("Can't save memo file");
        }
      }
    } else if (hadFpt) {
      if (!CopyVerified(files.fpt, files.fixFpt)) throw RepairError("Can't save memo file");
      savedFpt = files.fixFpt;
    }
    hadCdx = FileExists(files.cdx);
    if (hadCdx && !CopyVerified(files.cdx, files.fixCdx)) throw RepairError("Can't save index file");
    Step("fix copy written");

    // The rebuilt table is made and proven under its own name beside the table. The
    // rows go in without the index, so that a unique tag refuses none of them; the
    // index is built afterwards.
    xbase::code4autoOpen(code, 0);
    const xbase::Data4 fix = xbase::d4open(code, files.fixDbf);
    if (fix == 0) {
      xbase::code4errorCode(code, 0);
      throw RepairError("Can't open the repaired copy");
    }
    if (xbase::d4recCount(fix) != rows.liveCount) {
      xbase::d4close(fix);
      throw RepairError("Can't open the repaired copy");
    }
    DeleteTableFiles(files.folder, files.newName);
    CopyBlankAsNew(files, reading.blankFolder);
    const xbase::Data4 fresh = xbase::d4open(code, files.newDbf);
    if (fresh == 0) {
      xbase::d4close(fix);
      xbase::code4errorCode(code, 0);
      DeleteTableFiles(files.folder, files.newName);
      throw RepairError("Can't open blank table");
    }
    CopyAllRecords(fix, fresh);
    xbase::d4close(fresh);
    xbase::d4close(fix);
    xbase::code4autoOpen(code, 1);
    const xbase::Data4 indexed = xbase::d4open(code, files.newDbf);
    long copied = -1;
    if (indexed != 0) {
      if (xbase::d4reindex(indexed) == xbase::kSuccess) copied = xbase::d4recCount(indexed);
      xbase::d4close(indexed);
    } else {
      xbase::code4errorCode(code, 0);
    }
    if (copied != rows.liveCount) {
      DeleteTableFiles(files.folder, files.newName);
      throw RepairError("Can't copy the rows");
    }
    Step("rebuilt table written");

    // The rebuilt table takes the table's place, its data file last: a run stopped in
    // between finds the rebuilt table without the old data file and finishes the move
    // (FinishInterruptedRepair).
    committing = true;
    DeleteFile(files.dbf);
    Step("old data file removed");
    if (FileExists(files.newFpt) && !RenameOver(files.newFpt, files.fpt)) throw RepairError("Can't replace the table");
    Step("memo file replaced");
    if (FileExists(files.newCdx) && !RenameOver(files.newCdx, files.cdx)) throw RepairError("Can't replace the table");
    Step("index replaced");
    if (!RenameOver(files.newDbf, files.dbf)) throw RepairError("Can't replace the table");
    committing = false;
    Step("table replaced");

    const xbase::Data4 result = xbase::d4open(code, files.dbf);
    if (result == 0) {
      xbase::code4errorCode(code, 0);
      throw RepairError("");
    }
    engine.LastEngineCode = xbase::d4reindex(result);
    DeleteTableFiles(files.folder, files.fixName);
    if (HasMemoFields(rows.layout) && !reading.memoUsable) {
      Tell("The memo file of " + path + " could not be read. The table keeps its rows with empty memo fields" +
               (savedFpt.empty() ? std::string(".") : "; the memo file is kept as " + savedFpt + "."),
           silent);
    }
    if (rows.recordCount < static_cast<long>(rows.claimedCount)) {
      WriteDebugLog("Repair of " + path + ": the header claimed " + std::to_string(rows.claimedCount) +
                    " records; " + std::to_string(rows.recordCount) + " were read (" +
                    std::to_string(rows.liveCount) + " live rows kept).");
    }
    if (rows.droppedSlots > 0 || rows.clearedMemos > 0) {
      WriteDebugLog("Repair of " + path + ": " + std::to_string(rows.droppedSlots) +
                    " unreadable record slots left out, " + std::to_string(rows.clearedMemos) +
                    " memo fields emptied.");
    }
    return result;
  } catch (const RepairError& error) {
    description = error.what();
  } catch (const std::exception&) {
    description = "";
  }

  xbase::code4autoOpen(code, 1);
  bool tableAsItWas = !committing;
  if (committing) {
    // Put the table's own files back as they were.
    tableAsItWas = WriteVerified(files.dbf, original);
    if (hadCdx) tableAsItWas = CopyVerified(files.fixCdx, files.cdx) && tableAsItWas;
    if (!savedFpt.empty()) tableAsItWas = CopyVerified(savedFpt, files.fpt) && tableAsItWas;
  }
  if (tableAsItWas) {
    // The table holds everything again: this repair's work files go.
    DeleteTableFiles(files.folder, files.newName);
    if (wroteFixFiles) DeleteTableFiles(files.folder, files.fixName);
  }
  if (!silent) {
    FacilityMessageBox("Table: " + ToLower(path) +
                           " could not be opened. An attempt to automatically correct the table has failed." +
                           kCrLf + kCrLf + "Error Message = " + description + kCrLf + kCrLf +
                           "Please call 1-888-CORVANE for further assistance.",
                       kMbCritical);
    Terminate();
  }
  return 0;
}

}  // namespace tolvarin
