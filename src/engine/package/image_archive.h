#pragma once
// Image files by identifier name: found on disk under the usual suffixes, or taken
// out of the course's image archive imarc.vra (read with the archive password).
#include <string>

namespace tolvarin {

inline constexpr const char* kImageArchiveName = "imarc.vra";

// The path of an image file, or "" when none is found (no message). large: found in
// the archive under an "L" suffix. flag is always set.
std::string LocateImageFile(const std::string& name, bool& large, bool& flag);

// Takes the file named by relativeName's bare name out of the imarc.vra beside it
// (relativeName's folder part) into the extraction folder; extractedPath names it.
bool ExtractFromImageArchive(std::string& extractedPath, const std::string& relativeName);

// Where the pictures of the image archive in that folder are taken out to: a
// subfolder of the temporary folder of its own for each archive, so that a picture
// taken out of one course's archive is never found again for another course of the
// same name (or, with only CoursePath given, of no name). "" without a usable
// temporary folder.
std::string ImageExtractionFolder(const std::string& archiveFolder);

}  // namespace tolvarin
