#include "support/small_disk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace fs = std::filesystem;

namespace testing_support {

std::unique_ptr<SmallDisk> SmallDisk::Make(std::uintmax_t bytes, std::string* whyNot) {
  std::random_device rd;
  fs::path folder = fs::temp_directory_path() / ("tolvarin-disk-" + std::to_string(rd()));
  std::error_code error;
  if (!fs::create_directory(folder, error)) {
    if (whyNot) *whyNot = "cannot make a folder for a small file system: " + error.message();
    return nullptr;
  }
  fs::path mount = folder / "disk";
  fs::create_directory(mount, error);
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
  if (::mount("tolvarin-test", mount.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    if (whyNot) *whyNot = std::string("no small file system can be mounted here (tmpfs: ") + std::strerror(errno) + ")";
    fs::remove_all(folder, error);
    return nullptr;
  }
  return std::unique_ptr<SmallDisk>(new SmallDisk(folder, mount));
}

SmallDisk::SmallDisk(fs::path folder, fs::path mount) : folder_(std::move(folder)), mount_(std::move(mount)) {}

SmallDisk::~SmallDisk() {
  // Lazily, so that a process of the test still holding a file there cannot keep it.
  ::umount2(mount_.c_str(), MNT_DETACH);
  std::error_code error;
  fs::remove_all(folder_, error);
}

std::uintmax_t SmallDisk::Free() const {
  struct statvfs info {};
  if (::statvfs(mount_.c_str(), &info) != 0) return 0;
  return static_cast<std::uintmax_t>(info.f_bavail) * info.f_frsize;
}

bool SmallDisk::LeaveFree(std::uintmax_t bytes) {
  const fs::path filler = mount_ / ".filler";
  std::error_code error;
  const std::uintmax_t held = fs::exists(filler, error) ? fs::file_size(filler, error) : 0;
  const std::uintmax_t room = Free() + held;
  if (bytes > room) return false;
  const int fd = ::open(filler.c_str(), O_RDWR | O_CREAT, 0600);
  if (fd < 0) return false;
  const auto size = static_cast<off_t>(room - bytes);
  bool done = ::ftruncate(fd, 0) == 0 && (size == 0 || ::posix_fallocate(fd, 0, size) == 0);
  ::close(fd);
  return done;
}

void SmallDisk::Unfill() {
  std::error_code error;
  fs::remove(mount_ / ".filler", error);
}

}  // namespace testing_support
