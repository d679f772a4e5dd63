#pragma once

namespace tolvarin {

// Finds the current course from the Brand, AreaID, CourseID and DestPath keys when
// the command line names no CoursePath; ends the run on failure.
void ResolveCoursePath();

}  // namespace tolvarin
