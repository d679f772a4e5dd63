#pragma once
// Old course databases classified their questions by units, chapters, topics and
// subtopics; the current ones by standards trees. Before an old per-course folder is
// rebuilt, its questions are linked to the nodes of classification tree 1.
#include <cstdint>
#include <string>

#include "data/table_records.h"

namespace tolvarin {

// Adds the root of tree 1 to the folder's standard table and links every question
// to the node of its subtopic (the node of that number in tree 1, else the node the
// old classification gives the subtopic). Links that exist are not added again.
void ConvertClassification(const std::string& folder);

// Appends the link (tree, node, question) unless the table holds it.
void AddStanQuesRow(const StanQuesRecord& links, std::int32_t tree, std::int32_t node, std::int32_t question);

}  // namespace tolvarin
