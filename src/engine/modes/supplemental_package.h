#pragma once
// The in-house production mode CREATESUPPLEMENTALPACKAGE: a range of a course's
// questions, and a list of further questions, backed up with what they depend on
// into the staging folder "cortemp", as the content of a supplemental package.
//
// The build machine names the blank tables the staging folder is prepared from in
// the Tolvarin section of Kestal.INI:
//   ProductionBlankFolder  taken when neither the databases root nor AppPath has a
//                          Databases/Blank folder
#include <cstdint>
#include <string>
#include <vector>

namespace tolvarin {

inline constexpr const char* kProductionBlankFolderKey = "ProductionBlankFolder";

// The extra identifiers of the comma-separated list whose value is above 0, in order.
std::vector<std::int32_t> ExtraQuestionIDs(const std::string& extraIDs);

// Selects the questions idStart to idEnd that the source course holds, the first
// row of its description table and the extra questions it holds, each with its
// closure; the source set must be open.
void SelectSupplementalContent(std::int32_t idStart, std::int32_t idEnd, const std::vector<std::int32_t>& extraIDs);

// Mode 4; the run's status: 0 when the staging folder was written and checked. A
// course folder that does not exist ends the run.
int CreateSupplementalPackage(std::int32_t idStart, std::int32_t idEnd, const std::string& coursePath,
                              const std::string& extraIDs);

}  // namespace tolvarin
