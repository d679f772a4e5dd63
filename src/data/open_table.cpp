#include "data/open_table.h"

#include <filesystem>

#include "core/box_buttons.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "data/record_ops.h"

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

std::uintmax_t FileLength(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(FindPath(path), error);
  return error ? 0 : size;
}

// The width byte of the descriptor whose name the header holds, or -1. Only a name
// that starts a descriptor counts, so a name that also occurs inside another
// descriptor's bytes is not taken for it.
int DescriptorWidth(const std::vector<std::uint8_t>& bytes, const std::string& name, bool first) {
  const std::string text = first ? name : std::string(1, '\0') + name;
  std::size_t from = 0;
  for (;;) {
    const std::int32_t found = FindBytes(text, bytes, from);
    if (found < 0) return -1;
    const std::size_t start = static_cast<std::size_t>(found) + (first ? 0 : 1);
    if (start >= 32 && (start - 32) % 32 == 0 && start + 16 < bytes.size()) return bytes[start + 16];
    from = static_cast<std::size_t>(found) + 1;
  }
}

// The files a repair works with.
struct RepairFiles {
  std::string folder, name, dbf, cdx, fpt, fixName, fixDbf, fixCdx, fixFpt;
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
  return files;
}

// Puts the table's own files back as they were before the repair replaced them.
void PutBack(const RepairFiles& files, const std::vector<std::uint8_t>& original, bool hadCdx, bool hadFpt) {
  const std::string dbf = TableFile(files.folder, files.name, ".dbf");
  const std::string cdx = TableFile(files.folder, files.name, ".cdx");
  const std::string fpt = TableFile(files.folder, files.name, ".fpt");
  DeleteFile(dbf);
  DeleteFile(cdx);
  if (FileExists(fpt)) DeleteFile(fpt);
  WriteFileBytes(files.dbf, original);
  if (hadCdx) CopyFileReplace(files.fixCdx, files.cdx);
  if (hadFpt) CopyFileReplace(files.fixFpt, files.fpt);
}

// Copies a file and proves the copy has the source's length.
bool CopyVerified(const std::string& source, const std::string& target) {
  DeleteFile(target);
  CopyFileReplace(source, target);
  return FileExists(target) && FileLength(target) == FileLength(source);
}

void WriteRecordCount(std::vector<std::uint8_t>& bytes, std::int32_t count) {
  const auto value = static_cast<std::uint32_t>(count);
  for (int i = 0; i < 4; ++i) bytes[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A blank record as the header's field descriptors lay it out: binary fields
// (4-byte memo pointers, integers and the like) blank as zero bytes, the rest as
// blanks. Empty when the descriptors do not add up to the record length.
std::vector<std::uint8_t> BlankRecord(const std::vector<std::uint8_t>& bytes, std::size_t headerLength,
                                      std::size_t recordLength) {
  std::vector<std::uint8_t> record{' '};
  for (std::size_t at = 32; at + 32 <= headerLength && bytes[at] != 0x0D; at += 32) {
    const char type = static_cast<char>(bytes[at + 11]);
    const std::size_t width = bytes[at + 16];
    const bool binary = std::string_view("IBTYW0").find(type) != std::string_view::npos ||
                        ((type == 'M' || type == 'G' || type == 'P') && width == 4);
    record.insert(record.end(), width, binary ? 0 : ' ');
  }
  if (record.size() != recordLength) return {};
  return record;
}

// Makes the record area hold exactly the records the count names: a cut-off last
// record is completed with blank fields, and a record slot that does not begin
// with a deletion flag (bytes after the records) is marked deleted, so that no
// garbage comes back as a row.
void FitRecordArea(std::vector<std::uint8_t>& bytes, std::int32_t count) {
  const std::size_t headerLength = bytes[8] | (bytes[9] << 8);
  const std::size_t recordLength = bytes[10] | (bytes[11] << 8);
  if (recordLength < 2 || headerLength < 65 || headerLength > bytes.size()) return;
  const std::size_t end = headerLength + static_cast<std::size_t>(count) * recordLength;
  if (bytes.size() < end) {
    const auto blank = BlankRecord(bytes, headerLength, recordLength);
    std::size_t at = bytes.size();
    bytes.resize(end, ' ');
    if (!blank.empty()) {
      for (; at < end; ++at) bytes[at] = blank[(at - headerLength) % recordLength];
    }
  }
  for (std::size_t record = 0; record < static_cast<std::size_t>(count); ++record) {
    std::uint8_t& flag = bytes[headerLength + record * recordLength];
    if (flag != ' ' && flag != '*') flag = '*';
  }
}

bool SameBytes(const std::string& path, const std::vector<std::uint8_t>& expected) {
  return FileExists(path) && ReadFileBytes(path) == expected;
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
  for (const char* extension : {".dbf", ".cdx"}) {
    const std::string source = TableFile(blank, tableName, extension);
    if (!blank.empty() && FileExists(source)) {
      const std::string target = TableFile(destFolder, tableName, extension);
      DeleteFile(target);
      CopyFileReplace(source, target);
    } else {
      const std::string kind = std::string(extension) == ".dbf" ? ".dbf file." : ".cdx file.";
      FacilityMessageBox("Unable to locate blank " + tableName + kind, kMbCritical);
    }
  }
  const std::string memo = TableFile(blank, tableName, ".fpt");
  if (!blank.empty() && FileExists(memo)) {
    const std::string target = TableFile(destFolder, tableName, ".fpt");
    DeleteFile(target);
    CopyFileReplace(memo, target);
  }
  if (zap) {
    xbase::Data4 data = OpenTable(TableFile(destFolder, tableName, ".dbf"), 0, false, false);
    if (data != 0) {
      EmptyTable(data);
      xbase::d4close(data);
    }
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

void ReportOpenFailure(int errorNumber) {
  if (errorNumber != 15001) return;
  Engine().LastEngineCode = FacilityMessageBox(
      "Unable to open file " + RepairPath() + ". The file is missing or in use.", kMbCritical);
}

xbase::Data4 OpenTable(const std::string& path, int zapNew, bool forceRepair, bool silent) {
  const xbase::Code4 code = Context();
  auto& engine = Engine();
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
  const xbase::Code4 code = Context();
  ClearPendingError(code);
  xbase::Data4 blank = 0;
  std::string step;
  auto fail = [&]() -> RepairError {
    if (blank != 0) xbase::d4close(blank);
    return RepairError(step);
  };

  step = "Can't read table bytes";
  const std::string dataFile = TableFile(folder, name, ".dbf");
  if (!FileExists(dataFile)) throw fail();
  const std::vector<std::uint8_t> bytes = ReadFileBytes(dataFile);

  step = "Can't open blank table";
  const std::string blankFolder = FindPath(JoinPath(Paths().DatabasesRoot, "blank"));
  const std::string blankFile = TableFile(blankFolder, name, ".dbf");
  if (Paths().DatabasesRoot.empty() || !FileExists(blankFile)) throw fail();
  blank = xbase::d4open(code, blankFile);
  if (blank == 0) {
    xbase::code4errorCode(code, 0);
    throw fail();
  }

  // Every field's width comes from its own descriptor in the damaged header: memo
  // fields are 4 or 10 bytes wide depending on the table.
  step = "Can't determine record width";
  long width = 1;
  const int fieldCount = xbase::d4numFields(blank);
  for (int j = 1; j <= fieldCount; ++j) {
    const int fieldWidth = DescriptorWidth(bytes, ToUpper(xbase::f4name(xbase::d4fieldJ(blank, j))), j == 1);
    if (fieldWidth < 0) throw fail();
    width += fieldWidth;
  }

  step = "Can't determine data offset";
  std::uintmax_t offset = 0;
  if (xbase::d4recCount(blank) > 0) {
    xbase::d4close(blank);
    blank = 0;
    const std::string underscore = "_" + name;
    for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
      const std::string source = TableFile(blankFolder, name, extension);
      if (FileExists(source)) CopyFileReplace(source, TableFile(blankFolder, underscore, extension));
    }
    xbase::Data4 copy = xbase::d4open(code, TableFile(blankFolder, underscore, ".dbf"));
    if (copy != 0) {
      EmptyTable(copy);
      xbase::d4close(copy);
      offset = FileLength(TableFile(blankFolder, underscore, ".dbf"));
    } else {
      xbase::code4errorCode(code, 0);
    }
    DeleteTableFiles(blankFolder, underscore);
  } else {
    xbase::d4close(blank);
    blank = 0;
    offset = FileLength(blankFile);
  }
  if (offset == 0) throw fail();

  // Counted from the first deletion flag at or after the data offset: a live record
  // begins with a blank, a deleted one with "*".
  step = "Can't determine record count";
  const std::size_t last = bytes.size();  // the last position, counting from 1
  for (std::size_t position = offset; position < last; ++position) {
    const std::uint8_t flag = bytes[position - 1];
    if (flag == 0x20 || flag == '*') {
      return static_cast<std::int32_t>(
          RoundHalfEven(static_cast<double>(last - position + 1) / static_cast<double>(width)));
    }
  }
  return 0;
}

xbase::Data4 RepairTable(const std::string& path, bool silent) {
  const xbase::Code4 code = Context();
  auto& engine = Engine();
  const RepairFiles files = FilesOf(path);
  std::vector<std::uint8_t> original;
  bool replaced = false;
  bool hadCdx = false;
  bool hadFpt = false;
  std::string description;
  try {
    const std::int32_t count = CountRecoverableRecords(files.name, files.folder);
    if (count == 0) throw RepairError("Could not determine record count");

    // A verified copy of the damaged data comes first: nothing of the table is
    // touched until the fix files hold everything it had.
    original = ReadFileBytes(files.dbf);
    if (original.size() < 32) throw RepairError("Can't read table bytes");
    std::vector<std::uint8_t> fixed = original;
    WriteRecordCount(fixed, count);
    FitRecordArea(fixed, count);
    DeleteFile(files.fixDbf);
    WriteFileBytes(files.fixDbf, fixed);
    if (!SameBytes(files.fixDbf, fixed)) throw RepairError("Can't save table bytes");
    hadFpt = FileExists(files.fpt);
    if (hadFpt && !CopyVerified(files.fpt, files.fixFpt)) throw RepairError("Can't save memo file");
    hadCdx = FileExists(files.cdx);
    if (hadCdx && !CopyVerified(files.cdx, files.fixCdx)) throw RepairError("Can't save index file");

    replaced = true;
    DeleteFile(files.dbf);
    DeleteFile(files.cdx);
    CopyBlankTable(files.folder, files.name, 0, std::string(kDefaultBlankFolder));
    const std::string tablePath = TableFile(files.folder, files.name, ".dbf");
    if (!FileExists(tablePath)) throw RepairError("Can't copy blank table");

    xbase::code4autoOpen(code, 0);
    bool rowsCopied = false;
    xbase::Data4 fix = xbase::d4open(code, files.fixDbf);
    if (fix != 0) {
      // Appending and packing makes the engine write the file anew; records marked
      // deleted in the damaged file go with the one appended here.
      xbase::d4appendStart(fix, 0);
      xbase::d4blank(fix);
      xbase::d4append(fix);
      xbase::d4bottom(fix);
      xbase::d4delete(fix);
      xbase::d4pack(fix);
      xbase::Data4 table = xbase::d4open(code, tablePath);
      if (table == 0) {
        xbase::d4close(fix);
        xbase::code4errorCode(code, 0);
        throw RepairError("Can't open blank table");
      }
      EmptyTable(table);
      CopyAllRecords(fix, table);
      xbase::d4close(table);
      xbase::d4close(fix);
      rowsCopied = true;
    } else {
      // Nothing can be read back: the table stays the empty blank copy and the
      // fix files keep the damaged data.
      xbase::code4errorCode(code, 0);
    }

    xbase::code4autoOpen(code, 1);
    const xbase::Data4 result = xbase::d4open(code, tablePath);
    if (result == 0) {
      xbase::code4errorCode(code, 0);
      throw RepairError("");
    }
    engine.LastEngineCode = xbase::d4reindex(result);
    if (rowsCopied) DeleteTableFiles(files.folder, files.fixName);
    return result;
  } catch (const RepairError& error) {
    description = error.what();
  } catch (const std::exception&) {
    description = "";
  }

  xbase::code4autoOpen(code, 1);
  if (replaced) PutBack(files, original, hadCdx, hadFpt);
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
