#include "data/version.h"

#include <cstdio>
#include <string>

namespace tolvarin {

std::int32_t MakeVersion(std::int16_t major, std::int16_t minor) {
  return static_cast<std::int32_t>(major) * 1000 + minor;
}

void SplitVersion(std::int32_t version, std::int16_t& major, std::int16_t& minor) {
  if (version < 0) {
    major = -1;
    minor = -1;
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%05d", version);
  const std::string digits(text);
  major = static_cast<std::int16_t>(std::stol(digits.substr(0, 2)));
  minor = static_cast<std::int16_t>(std::stol(digits.substr(2)));
}

}  // namespace tolvarin
