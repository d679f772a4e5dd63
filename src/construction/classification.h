#pragma once
// Old course databases classified their questions by units, chapters, topics and
// subtopics; the current ones by standards trees. Before an old per-course folder is
// rebuilt, its questions are linked to the nodes of classification tree 1.
#include <cstdint>
#include <string>

#include "data/table_records.h"

namespace tolvarin {

// Adds the root of tree 1 and the old outline's nodes to the folder's standard
// table and links every question to the node of its subtopic (the node of that
// number in tree 1, else the node the subtopic lives under in the old outline).
// Links that exist are not added again. False when a link of tree 1 names a node
// that is not there.
bool ConvertClassification(const std::string& folder);

// Appends the link (tree, node, question) unless the table holds it.
void AddStanQuesRow(const StanQuesRecord& links, std::int32_t tree, std::int32_t node, std::int32_t question);

}  // namespace tolvarin
