#pragma once
// Archives written with libzip directly, entry names and kinds as given, for tests of
// packages that this program would never write (paths, "..", folders, links).
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

struct RawEntry {
  std::string name;
  std::string data;
  bool link = false;  // stored as a Unix link whose target is data
};

// Stored uncompressed; a name ending in "/" becomes a folder entry.
void MakeRawArchive(const std::filesystem::path& path, const std::vector<RawEntry>& entries);

}  // namespace testing_support
