#include "core/file_set_copy.h"

#include <filesystem>
#include <system_error>

#include "core/paths.h"

namespace tolvarin {
namespace fs = std::filesystem;

std::vector<std::string> CopyFileSet(const std::string& sourceFolder, const std::string& targetFolder,
                                     const std::vector<std::string>& names) {
  struct Staged {
    std::string name;
    fs::path temp;
    fs::path target;
  };
  std::vector<Staged> staged;
  std::vector<std::string> failed;
  const std::string target = FindPath(targetFolder);
  for (const std::string& name : names) {
    std::error_code ec;
    const fs::path source = FindPath(JoinPath(sourceFolder, name));
    const fs::path final = FindPath(JoinPath(target, name));
    const fs::path temp = fs::path(target) / ("." + final.filename().string() + ".tlvcopy");
    fs::remove(temp, ec);
    const bool copied = fs::is_regular_file(source, ec) && fs::copy_file(source, temp, ec) && !ec;
    const std::uintmax_t size = fs::file_size(source, ec);
    if (!copied || ec || fs::file_size(temp, ec) != size || ec) {
      failed.push_back(name);
      fs::remove(temp, ec);
      continue;
    }
    staged.push_back({name, temp, final});
  }
  if (!failed.empty()) {
    for (const Staged& s : staged) {
      std::error_code ec;
      fs::remove(s.temp, ec);
    }
    return failed;
  }
  for (const Staged& s : staged) {
    std::error_code ec;
    fs::rename(s.temp, s.target, ec);
    if (ec) {
      failed.push_back(s.name);
      fs::remove(s.temp, ec);
    }
  }
  return failed;
}

}  // namespace tolvarin
