#pragma once
// Whether the tables of a folder from elsewhere (a backup, a package, a game
// package) can be read whole, checked on their bytes before a single row of them
// is copied. The engine's open repairs what it can, and a memo it cannot reach
// reads as empty text; a restore that went on from there would give the teacher
// empty questions and call it done. So a source is refused instead, naming what is
// wrong with it.
#include <cstddef>
#include <string>
#include <vector>

namespace tolvarin {

// One text per problem, each naming the file it is in; empty when every table of
// the folder is sound: its header reads, its data file holds every record its
// count claims (and not a record more), every memo pointer of every live record
// leads to a memo that lies whole inside the memo file, and the memo file is no
// larger than its records reach (beyond a generous slack: abandoned runs of
// rewritten memos are normal, a file of holes is not). The version file
// Status.DBF, which is no table, is left out.
std::vector<std::string> SourceTableProblems(const std::string& folder);

// The first `shown` problems, one a line, and how many more there are, for a box.
std::string SummarizeProblems(const std::vector<std::string>& problems, std::size_t shown = 3);

}  // namespace tolvarin
