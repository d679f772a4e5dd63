#pragma once
// The backup package (a flat zip of the staging folder) and the general zip and
// unzip drivers. Every routine checks what it wrote and says whether it worked; what
// went wrong is in the run log and in the result for the caller's message.
#include <string>

namespace tolvarin {

class ProgressSink;

// The image archive's password.
inline constexpr const char* kArchivePassword = "pQ7rKx42LmT09wZbN5c";

struct PackageResult {
  bool ok = false;
  std::string error;  // why not, for the caller's message
  bool notAPackage = false;  // the file is missing, no zip, or not a flat one
};

// The staging folder "cortemp" of the temporary folder, as a path without trailing "/".
std::string CorTempFolder();

// Zips every file of BackupPath (an interactive export's staging folder) into
// PackagePath, reporting "Packaging file" per file; the package is checked before it
// replaces an earlier one, which stays as it was when anything fails.
PackageResult ZipPackage();
// Unzips PackagePath into BackupPath. A package of this program is flat: one with
// an entry that is not a plain file at its top (a folder, a link, a name with a
// path, "..", or an absolute name) is refused whole, and nothing is extracted; so
// is a damaged one.
PackageResult UnzipPackage();
// Unzips every file of an archive into a folder, with the archive password when
// decrypt is set.
PackageResult UnzipAll(const std::string& targetFolder, const std::string& archive, bool decrypt);
// Zips the files GetFilesInFolder lists for the attributes and the ";" list of
// extensions ("" every file), reporting the fraction done to progress when given.
// Packages are written without a password: encrypt is refused.
PackageResult ZipFiles(const std::string& folder, const std::string& archive, int listFlag,
                       const std::string& extensions, bool encrypt, ProgressSink* progress);

}  // namespace tolvarin
