#include "engine/modes/standards_install.h"

#include <vector>

#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/file_set_copy.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/record_ops.h"
#include "data/standards.h"
#include "data/table_swap.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/package/packages.h"

namespace tolvarin {
namespace {

constexpr const char* kInvalidSrcPath =
    "Invalid SrcPath parameter.  Please call 1-888-CORVANE for more information.";
constexpr const char* kInvalidDestPath =
    "Invalid DestPath parameter.  Please call 1-888-CORVANE for more information.";
constexpr const char* kQuestionTitle = "Install State Standards";
constexpr const char* kNodeTable = "standard";
constexpr const char* kLinkTable = "stanques";
constexpr std::int16_t kKeptTree = 1;  // never offered for removal
constexpr int kContinueButton = 1;

int Fail(const std::string& text) {
  WriteLogNote("Standards not installed: " + text);
  MsgBox(text, kMbCritical);
  return 1;
}

// The table's files as they stand in the folder (any case); empty when it has no data file.
std::vector<std::string> TableFiles(const std::string& folder, const std::string& table) {
  std::vector<std::string> names;
  if (!FileExists(FindPath(JoinPath(folder, table + ".dbf")))) return names;
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const std::string path = FindPath(JoinPath(folder, table + extension));
    if (FileExists(path)) names.push_back(GetFileName(path, true));
  }
  return names;
}

// The table's name as its data file spells it in the folder, or as given.
std::string TableNameIn(const std::string& folder, const std::string& table) {
  return GetFileName(FindPath(JoinPath(folder, table + ".dbf")), false);
}

// The four tables of an installation, each closed on every way out.
struct StandardsTables {
  StandardRecord srcNodes, dstNodes;
  StanQuesRecord srcLinks, dstLinks;
  StandardsTables() = default;
  StandardsTables(const StandardsTables&) = delete;
  StandardsTables& operator=(const StandardsTables&) = delete;
  ~StandardsTables() { Close(); }
  void Close() {
    CloseTableRecord(srcNodes);
    CloseTableRecord(srcLinks);
    CloseTableRecord(dstNodes);
    CloseTableRecord(dstLinks);
  }
  bool Open(const std::string& srcFolder, const std::string& dstFolder) {
    OpenStandardTable(srcFolder, "", srcNodes);
    OpenStanQuesTable(srcFolder, srcLinks);
    OpenStandardTable(dstFolder, "", dstNodes);
    OpenStanQuesTable(dstFolder, dstLinks);
    return srcNodes.Data != 0 && srcLinks.Data != 0 && dstNodes.Data != 0 && dstLinks.Data != 0;
  }
};

// The work folder of one installation, emptied when it is made and when it goes.
class WorkFolder {
 public:
  WorkFolder() : root_(GetTempFolder().empty() ? "" : JoinPath(CorTempFolder(), "standards")) { Remove(); }
  ~WorkFolder() { Remove(); }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  bool Make() { return !root_.empty() && CreateFolderTree(Source()) && CreateFolderTree(Target()); }
  std::string Source() const { return JoinPath(root_, "source"); }
  std::string Target() const { return JoinPath(root_, "course"); }

 private:
  void Remove() {
    if (!root_.empty()) DeleteFolderTree(root_);
  }
  std::string root_;  // "" when there is no safe temporary folder
};

// The tree of the first row of the node table in natural order; 0 when it has none.
std::int16_t FirstTree(const StandardRecord& nodes) {
  xbase::d4tagSelect(nodes.Data, 0);
  for (int rc = xbase::d4top(nodes.Data); rc == xbase::kSuccess; rc = xbase::d4skip(nodes.Data, 1))
    if (!xbase::d4deleted(nodes.Data)) return static_cast<std::int16_t>(xbase::f4long(nodes.Tree_id));
  return 0;
}

}  // namespace

bool CheckOtherStateStandards(const StandardRecord& destNodes, const StanQuesRecord& destLinks, std::int16_t keepTree,
                              int* removed) {
  if (removed) *removed = 0;
  if (HostIniString("EraseOtherStates") == "FALSE") return true;
  const xbase::Data4 data = destNodes.Data;
  if (data == 0) return true;

  std::vector<std::int16_t> trees;
  xbase::d4tagSelect(data, 0);
  for (int rc = xbase::d4top(data); rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    const auto tree = static_cast<std::int16_t>(xbase::f4long(destNodes.Tree_id));
    if (tree == keepTree || tree == kKeptTree) continue;
    bool seen = false;
    for (const std::int16_t t : trees) seen = seen || t == tree;
    if (!seen) trees.push_back(tree);
  }

  for (const std::int16_t tree : trees) {
    // A tree without its root node has no name to ask about and stays.
    if (!SeekTag(data, destNodes.StandardIDTag, StandardKeyString(tree, 1)) || xbase::d4deleted(data)) continue;
    const std::string name = Trim(xbase::f4str(destNodes.Descript));
    const int answer = FacilityCustomBox(
        "Your installation already has state standards installed for " + name +
            ". If you choose to continue, these state standards will be removed. Are you sure you want to "
            "continue?",
        kQuestionTitle, kMbCritical, "Continue", "Cancel", "", 2, 2, 0);
    if (answer != kContinueButton) return false;
    DeleteStandardTree(destNodes, destLinks, tree);
    if (removed) ++*removed;
  }
  return true;
}

int InstallStandardTreesFrom(const std::string& srcPath, const std::string& destPath) {
  const std::string source = FindPath(srcPath);
  const std::string dest = FindPath(destPath);
  if (!FolderExists(dest)) return Fail("The course folder \"" + destPath + "\" was not found.");
  // Without a source tree every other state of the course would be offered for removal.
  const std::vector<std::string> nodeFiles = TableFiles(source, kNodeTable);
  if (nodeFiles.empty()) return Fail("\"" + srcPath + "\" holds no state standards to install.");

  // What a killed installation left marked is completed before the tables are read.
  FinishTableSwaps(dest);

  WorkFolder work;
  if (!work.Make()) return Fail("The work folder for the state standards could not be made.");
  std::vector<std::string> failed = CopyFileSet(source, work.Source(), nodeFiles);
  const std::vector<std::string> linkFiles = TableFiles(source, kLinkTable);
  if (!linkFiles.empty() && failed.empty()) failed = CopyFileSet(source, work.Source(), linkFiles);
  for (const char* table : {kNodeTable, kLinkTable}) {
    const std::vector<std::string> files = TableFiles(dest, table);
    if (!files.empty() && failed.empty()) failed = CopyFileSet(dest, work.Target(), files);
  }
  if (!failed.empty()) return Fail("The state standards tables could not be copied (" + failed.front() + ").");

  int removed = 0;
  bool confirmed = false;
  {
    StandardsTables tables;
    if (!tables.Open(work.Source(), work.Target()))
      return Fail("The state standards tables of \"" + srcPath + "\" or \"" + destPath + "\" could not be opened.");
    const std::int16_t tree = FirstTree(tables.srcNodes);
    if (tree == 0) return Fail("\"" + srcPath + "\" holds no state standards to install.");
    confirmed = CheckOtherStateStandards(tables.dstNodes, tables.dstLinks, tree, &removed);
    if (confirmed) ImportStandardTrees(tables.srcNodes, tables.srcLinks, tables.dstNodes, tables.dstLinks);
  }
  // A cancelled question keeps the trees removed before it, as the user agreed to.
  if (!confirmed && removed == 0) return 1;

  const std::vector<std::string> problems = CheckBackupFolder(work.Target(), {}, false);
  if (!problems.empty())
    return Fail("The new state standards tables could not be checked: " + problems.front() + ". \"" + destPath +
                "\" was not changed.");
  const std::string nodes = TableNameIn(work.Target(), kNodeTable);
  const std::string links = TableNameIn(work.Target(), kLinkTable);
  if (!StageTable(work.Target(), dest, nodes) || !StageTable(work.Target(), dest, links)) {
    FinishTableSwaps(dest);
    return Fail("The new state standards tables could not be copied into \"" + destPath + "\", which was not changed.");
  }
  // Both are marked before either moves: a run killed between them leaves both to be completed.
  if (!SwapInStagedTables(dest, {nodes, links}))
    return Fail("The new state standards tables could not be put in place in \"" + destPath +
                "\"; the next installation completes them.");
  if (!confirmed) return 1;

  if (FileExists(FindPath(JoinPath(source, kClassificationIni)))) {
    if (!CopyFileSet(source, dest, {kClassificationIni}).empty())
      return Fail("The state standards were installed, but " + std::string(kClassificationIni) +
                  " could not be copied into \"" + destPath + "\".");
  }
  return 0;
}

int InstallStandardTrees() {
  const std::string& line = CommandLine();
  const std::string source = GetCommandArg(line, "SrcPath");
  if (source.empty()) {
    FacilityMessageBox(kInvalidSrcPath, kMbCritical);
    Terminate();
  }
  const std::string dest = GetCommandArg(line, "DestPath");
  if (dest.empty()) {
    FacilityMessageBox(kInvalidDestPath, kMbCritical);
    Terminate();
  }
  return InstallStandardTreesFrom(source, dest);
}

}  // namespace tolvarin
