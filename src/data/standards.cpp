#include "data/standards.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "data/record_ops.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

int Store(int code) {
  Engine().LastEngineCode = code;
  return code;
}

// Visits every row of one tree on a numeric tree_id tag, in tag order.
template <typename Visit>
void WalkTree(xbase::Data4 data, xbase::Tag4 treeTag, xbase::Field4 treeField, std::int16_t tree, Visit visit) {
  Store(xbase::d4tagSelect(data, treeTag));
  int code = Store(xbase::d4seekDouble(data, tree));
  while (code == xbase::kSuccess && xbase::f4long(treeField) == tree) {
    visit();
    code = Store(xbase::d4skip(data, 1));
  }
}

// Appends a copy, by field position, of every source row in the order of the tag.
void AppendAllRows(xbase::Data4 source, xbase::Tag4 order, xbase::Data4 destination) {
  Store(xbase::d4tagSelect(source, order));
  int code = Store(xbase::d4top(source));
  while (code == xbase::kSuccess) {
    AppendBlank(destination);
    CopyFieldsByPosition(source, destination);
    // A row the destination refuses (a node users already made under the same key)
    // is left out; the walk goes on with the next row.
    Store(xbase::d4append(destination));
    code = Store(xbase::d4skip(source, 1));
  }
}

// Copies every file of the table (any extension) into the folder. A destination
// file of the same name in another case is replaced rather than joined by a second
// file that differs only in case.
void CopyTableFilesInto(const std::string& dbfPath, const std::string& targetFolder) {
  const std::string folder = GetFolderOfPath(dbfPath);
  const std::string title = GetFileName(dbfPath, false);
  for (const std::string& name : GetFilesInFolder(folder, kAttrNormal, "")) {
    const std::string fileName = GetFileName(name, true);
    if (!EqualsNoCase(GetFileName(fileName, false), title)) continue;
    const std::string source = JoinPath(folder, fileName);
    const std::string target = FindPath(JoinPath(targetFolder, fileName));
    if (SamePath(source, target)) continue;
    CopyFileOverwrite(source, target);
  }
}

}  // namespace

StandardKey MakeStandardKey(std::int16_t tree, std::int32_t node) { return StandardKey{tree, node}; }

std::string StandardKeyString(std::int16_t tree, std::int32_t node) { return KeyText3(tree) + KeyText7(node); }

bool HoldsNode(const StandardRecord& nodes, std::int16_t tree, std::int32_t node) {
  if (nodes.Data == 0) return false;
  const auto same = [&] {
    return !xbase::d4deleted(nodes.Data) && xbase::f4long(nodes.Tree_id) == tree && xbase::f4long(nodes.Node_id) == node;
  };
  if (nodes.StandardIDTag != 0) {
    const std::string key = StandardKeyString(tree, node);
    xbase::d4tagSelect(nodes.Data, nodes.StandardIDTag);
    for (int rc = xbase::d4seek(nodes.Data, key); rc == xbase::kSuccess && !xbase::d4eof(nodes.Data);
         rc = xbase::d4skip(nodes.Data, 1)) {
      if (same()) return true;
      if (xbase::f4long(nodes.Tree_id) != tree || xbase::f4long(nodes.Node_id) != node) break;
    }
    return false;
  }
  xbase::d4tagSelect(nodes.Data, 0);
  for (int rc = xbase::d4top(nodes.Data); rc == xbase::kSuccess; rc = xbase::d4skip(nodes.Data, 1)) {
    if (same()) return true;
  }
  return false;
}

std::string StandardKeyToString(const StandardKey& key) { return StandardKeyString(key.TreeID, key.NodeID); }

StandardKey ParseStandardKey(const std::string& text) {
  const std::string treeText = text.substr(0, 3);
  const std::string nodeText = text.size() > 7 ? text.substr(text.size() - 7) : text;
  return StandardKey{static_cast<std::int16_t>(TextValue(treeText)), static_cast<std::int32_t>(TextValue(nodeText))};
}

void DeleteStandardTree(const StandardRecord& nodes, const StanQuesRecord& links, std::int16_t tree) {
  // Identifiers are read whole: a node number above 16 bits is never the publisher's
  // and so is kept.
  const std::int32_t publisherLast = IdRanges().PublisherRange.Last;
  if (nodes.Data != 0) {
    WalkTree(nodes.Data, nodes.Tree_idTag, nodes.Tree_id, tree, [&] {
      if (xbase::f4long(nodes.Node_id) <= publisherLast) Store(xbase::d4delete(nodes.Data));
    });
    Store(xbase::d4pack(nodes.Data));
  }
  if (links.Data != 0) {
    WalkTree(links.Data, links.Tree_idTag, links.Tree_id, tree, [&] {
      if (xbase::f4long(links.Node_id) < publisherLast && xbase::f4long(links.Quest_id) < publisherLast) {
        Store(xbase::d4delete(links.Data));
      }
    });
    Store(xbase::d4pack(links.Data));
  }
}

void ImportStandardTrees(StandardRecord& srcNodes, StanQuesRecord& srcLinks, StandardRecord& dstNodes,
                         StanQuesRecord& dstLinks) {
  Store(xbase::d4tagSelect(dstNodes.Data, dstNodes.Tree_idTag));
  const int top = Store(xbase::d4top(dstNodes.Data));
  // Only a destination that is open and holds no row is replaced by the source's
  // files; one that failed to open keeps its files and its users' rows.
  if (top != xbase::kSuccess && top != xbase::kEof && top != xbase::kBof) return;
  if (top != xbase::kSuccess) {
    // Nothing to merge with: the source tables become the destination's.
    const std::string nodesFile = xbase::d4fileName(srcNodes.Data);
    const std::string linksFile = xbase::d4fileName(srcLinks.Data);
    const std::string targetFolder = GetFolderOfPath(xbase::d4fileName(dstLinks.Data));
    CloseTableRecord(srcNodes);
    CloseTableRecord(srcLinks);
    CloseTableRecord(dstNodes);
    CloseTableRecord(dstLinks);
    if (nodesFile.empty() || linksFile.empty() || targetFolder.empty()) return;
    CopyTableFilesInto(nodesFile, targetFolder);
    CopyTableFilesInto(linksFile, targetFolder);
    return;
  }

  // Each tree of the source first loses its publisher part in the destination.
  Store(xbase::d4tagSelect(srcNodes.Data, srcNodes.Tree_idTag));
  std::int32_t lastTree = 0;
  int code = Store(xbase::d4top(srcNodes.Data));
  while (code == xbase::kSuccess) {
    const auto tree = static_cast<std::int32_t>(xbase::f4long(srcNodes.Tree_id));
    if (tree != lastTree) {
      DeleteStandardTree(dstNodes, dstLinks, static_cast<std::int16_t>(tree));
      lastTree = tree;
    }
    AppendBlank(dstNodes.Data);
    CopyFieldsByPosition(srcNodes.Data, dstNodes.Data);
    Store(xbase::d4append(dstNodes.Data));
    code = Store(xbase::d4skip(srcNodes.Data, 1));
  }
  Store(xbase::d4reindex(dstNodes.Data));

  AppendAllRows(srcLinks.Data, srcLinks.Tree_idTag, dstLinks.Data);
  Store(xbase::d4reindex(dstLinks.Data));
}

}  // namespace tolvarin
