#pragma once
// A restore that keeps every identifier meets, in a course it restored before (or
// partly, when that run was killed), the teacher's standards nodes it copied then,
// possibly under other numbers. Such a node is the same node and is not copied again.
#include <map>
#include <string>
#include <vector>

#include "data/table_records.h"

namespace tolvarin {

// For each selected source node (key text) that the destination already holds as a
// node of the same tree with the same order and description under the same parent
// (the parent matched the same way, or the same unselected node), the key of that
// destination node. Each destination node is matched once; one of the same number
// is preferred.
std::map<std::string, std::string> MatchNodesAlreadyThere(const StandardRecord& src, const StandardRecord& dest,
                                                          const std::vector<std::string>& keys);

}  // namespace tolvarin
