#include "engine/course_resolution.h"

namespace tolvarin {

// Filled in with the course catalogue.
void ResolveCoursePath() {}

}  // namespace tolvarin
