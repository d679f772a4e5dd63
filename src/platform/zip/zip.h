#pragma once
// Zip archives over libzip: flat deflated packages written and checked, every entry
// of an archive extracted into a folder, one entry of a password-protected archive
// (traditional zip encryption) taken out. Entry names are outside input: nothing an
// archive names is ever written outside the folder it is extracted into.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zipio {

// Called before each file is handled: its name, its place from 0 and the count.
using FileProgress = std::function<void(const std::string& name, std::size_t index, std::size_t count)>;

struct Entry {
  std::string name;  // as stored ("\" written as "/")
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  bool encrypted = false;
  bool directory = false;
  bool link = false;  // stored as a link (Unix) or a reparse point (Windows)
};

struct Outcome {
  bool ok = false;
  std::string error;                 // why not, in words for the user's message
  std::vector<std::string> written;  // full paths written by an extraction
  std::vector<std::string> skipped;  // "entry name: reason" for every entry left out
};

// Writes a flat, deflated archive without a password holding each file under its
// own name (in the order given), then reopens it and checks one entry per file with
// the file's size and CRC. An existing archive is replaced only by a checked one;
// on failure it stays as it was and nothing else is left behind.
Outcome WriteArchive(const std::string& archive, const std::vector<std::string>& files,
                     const FileProgress& progress = {});

// The entries of an archive; ok false for a file that is not a readable zip.
Outcome ListEntries(const std::string& archive, std::vector<Entry>& entries);

// Extracts every entry into folder (made when missing), subfolders kept under it.
// Entries whose target would lie outside the folder (absolute names, drive letters,
// "..", links) are skipped and listed; an archive that would not fit in the free
// space is refused whole. All entries are written to temporary names first and put
// in place only when every one of them was read with its CRC checked, so a damaged
// archive leaves the folder as it was. An existing file of the same name (case
// ignored) is replaced. password may be "" for an archive without one.
Outcome ExtractAll(const std::string& archive, const std::string& folder, const std::string& password,
                   const FileProgress& progress = {});

// Extracts the one entry whose bare name (folders ignored) equals name without
// regard to case, as folder + "/" + name.
Outcome ExtractEntry(const std::string& archive, const std::string& name, const std::string& folder,
                     const std::string& password);

// The relative path an entry name may be written under, or "" when it must be
// skipped (why in reason). Directory entries keep their trailing "/".
std::string SafeEntryPath(const std::string& entryName, std::string& reason);

}  // namespace zipio
