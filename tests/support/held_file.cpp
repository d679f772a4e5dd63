#include "support/held_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace testing_support {
namespace {

// Adds or takes away flags of the path; false when the file system refused.
bool ChangeFlags(const std::filesystem::path& path, long flag, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | static_cast<int>(flag)) : (flags & ~static_cast<int>(flag));
    done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return done;
}

}  // namespace

HeldFile::HeldFile(std::filesystem::path path, Hold hold)
    : path_(std::move(path)), flag_(hold == Hold::Immutable ? FS_IMMUTABLE_FL : FS_APPEND_FL) {
  set_ = ChangeFlags(path_, flag_, true);
}

HeldFile::~HeldFile() {
  if (set_) ChangeFlags(path_, flag_, false);
}

}  // namespace testing_support
