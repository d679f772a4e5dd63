#pragma once
// A folder nobody may write into, even root (through the immutable flag), for the
// tests of what happens when a folder is not writable.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace core_testing {

class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
    if (::geteuid() == 0)
      immutable_ = std::system(("chattr +i '" + folder_ + "' 2>/dev/null").c_str()) == 0;
    else
      ::chmod(folder_.c_str(), 0555);
    std::ofstream probe(folder_ + "/.can-write");
    works_ = !probe.is_open();
    if (!works_) ::unlink((folder_ + "/.can-write").c_str());
  }
  ~ReadOnlyFolder() {
    if (immutable_) [[maybe_unused]] int rc = std::system(("chattr -i '" + folder_ + "' 2>/dev/null").c_str());
    ::chmod(folder_.c_str(), 0755);
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  // Whether the folder really refuses writes here.
  bool Works() const { return works_; }

 private:
  std::string folder_;
  bool immutable_ = false;
  bool works_ = false;
};

}  // namespace core_testing
