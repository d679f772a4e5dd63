#include "core_fixture.h"

#include <algorithm>
#include <filesystem>

namespace core_testing {

void Put(const std::string& file, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  testing_support::WriteFile(file, bytes);
}

std::vector<std::string> HostFolderTest::Entries(const std::string& relative) const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(relative.empty() ? App() : At(relative)))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace core_testing
