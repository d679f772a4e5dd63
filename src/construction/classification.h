#pragma once
// Old course databases classified their questions by units, chapters, topics and
// subtopics; the current ones by standards trees. Before an old per-course folder is
// rebuilt, its questions are linked to the nodes of classification tree 1.
#include <cstdint>
#include <string>

#include "data/table_records.h"

namespace tolvarin {

// Copies the folder's standard and StanQues tables into the stage folder (blank ones
// where the folder has none), adds the root of tree 1 and the old outline's nodes to
// the copy of standard and links every question to the node of its subtopic (the
// node of that number the folder held in tree 1, else the node the subtopic lives
// under in the old outline) in the copy of StanQues. The folder itself is only read,
// so a run stopped part-way converts it again from the same tables. Nodes and links
// that are there already are not added again. False when a copy is not whole, the
// engine refused a row, or a link of tree 1 names a node that is not there.
bool ConvertClassification(const std::string& folder, const std::string& stage);

// Appends the link (tree, node, question) unless the table holds it. False when the
// engine refused the row.
bool AddStanQuesRow(const StanQuesRecord& links, std::int32_t tree, std::int32_t node, std::int32_t question);

}  // namespace tolvarin
