#include "core/settings.h"

namespace tolvarin {

RunSettings& Settings() {
  static RunSettings settings;
  return settings;
}

RunPaths& Paths() {
  static RunPaths paths;
  return paths;
}

}  // namespace tolvarin
