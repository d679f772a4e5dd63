#pragma once
// Version numbers kept as one integer: major * 1000 + minor.
#include <cstdint>

namespace tolvarin {

std::int32_t MakeVersion(std::int16_t major, std::int16_t minor);
// A version of 0 or more, written with five digits: major from the first two,
// minor from the rest (5004 gives 5 and 4). Below 0 gives -1 and -1.
void SplitVersion(std::int32_t version, std::int16_t& major, std::int16_t& minor);

}  // namespace tolvarin
