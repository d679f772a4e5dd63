#pragma once
// Standards trees: the node table (tree_id, node_id, parent_id, order, descript) and
// the link table (tree_id, node_id, quest_id) of a course. A node is named by the
// pair (tree, node); the publisher's nodes and questions carry identifiers of the
// publisher range, and rows made by users survive a replacement of a tree.
#include <cstdint>
#include <string>

#include "data/table_records.h"

namespace tolvarin {

struct StandardKey {
  std::int16_t TreeID = 0;
  std::int32_t NodeID = 0;
  friend bool operator==(const StandardKey&, const StandardKey&) = default;
};

StandardKey MakeStandardKey(std::int16_t tree, std::int32_t node);
// The tree right-aligned in 3 characters and the node in 7, as the node table's
// combined tags hold them: tree 5, node 123 gives "  5    123".
std::string StandardKeyString(std::int16_t tree, std::int32_t node);
std::string StandardKeyToString(const StandardKey& key);
// The tree from the first 3 characters, the node from the last 7.
StandardKey ParseStandardKey(const std::string& text);

// True when the node table holds a live node of that tree and number: found by its
// key tag where the table has one, else row by row. A node is known by its key
// whatever the tag's uniqueness, which a table another program wrote may lack.
bool HoldsNode(const StandardRecord& nodes, std::int16_t tree, std::int32_t node);

// Deletes the tree's publisher nodes (node_id up to the publisher range's end) and
// the links between publisher nodes and publisher questions, then packs both tables.
void DeleteStandardTree(const StandardRecord& nodes, const StanQuesRecord& links, std::int16_t tree);

// Replaces the publisher part of every tree the source holds and adds its links.
// An empty destination instead receives copies of the source tables' files; then
// all four tables are closed (their records cleared) and the caller reopens them.
void ImportStandardTrees(StandardRecord& srcNodes, StanQuesRecord& srcLinks, StandardRecord& dstNodes,
                         StanQuesRecord& dstLinks);

}  // namespace tolvarin
