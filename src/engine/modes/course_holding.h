#pragma once
// A course's own files taken aside before a recovery replaces them, so that a
// failed recovery can put the course back as it was and a finished one leaves the
// former files where the user can find them.
#include <string>
#include <vector>

namespace tolvarin {

// A new dated folder "before-recovery-yyyy-mm-dd-hhnnss" inside besideFolder
// (with "-2", "-3"... when that name is taken); not created.
std::string HoldingFolder(const std::string& besideFolder);

class CourseHolding {
 public:
  CourseHolding(std::string courseFolder, std::string holdingFolder);

  // Copies every table of the course (its .dbf, .cdx and .fpt files as one checked
  // set; Status.DBF stays) into the holding folder, and there too the course's images
  // of the given names, which the recovery is about to replace. Stops at the first
  // file that cannot be copied (see Failed); the course itself is not touched.
  bool TakeAside(const std::vector<std::string>& imagesToReplace);
  // The files that could not be copied, removed or put back.
  const std::vector<std::string>& Failed() const { return failed_; }

  // Puts the course back as TakeAside found it: the table files and images the
  // recovery added go, the held tables and images are copied back whole. The holding
  // folder is removed when everything is back; true then.
  bool PutBack();

 private:
  std::string course_;
  std::string holding_;
  std::vector<std::string> images_;  // image copies
  std::vector<std::string> added_;   // images the course did not have
  bool allAside_ = false;
  std::vector<std::string> failed_;
};

}  // namespace tolvarin
