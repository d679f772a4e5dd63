#include "platform/xbase/shared_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <utility>

#include "platform/xbase/xbase.h"

namespace xbase::detail {
namespace {

using FileKey = std::pair<dev_t, ino_t>;

std::map<FileKey, std::weak_ptr<SharedFile>>& OpenFiles() {
  static std::map<FileKey, std::weak_ptr<SharedFile>> files;
  return files;
}

int CodeOfErrno(int error, bool create) {
  if (error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY || error == EBUSY) return kErrorAccess;
  return create ? kErrorCreate : kErrorRead;
}

bool SetLock(int fd, short type, std::int64_t offset, std::int64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  while (fcntl(fd, F_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

void SharedFile::KeepOpenFilesBook() { (void)OpenFiles(); }

std::shared_ptr<SharedFile> SharedFile::Open(const std::string& path, bool create, int& code) {
  code = kSuccess;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      code = S_ISDIR(st.st_mode) ? kErrorAccess : kErrorRead;
      return nullptr;
    }
    auto& files = OpenFiles();
    auto it = files.find({st.st_dev, st.st_ino});
    if (it != files.end()) {
      auto existing = it->second.lock();
      // A forked child inherits the table but not the parent's locks: it starts over.
      if (existing && existing->pid_ == getpid()) {
        if (create && !existing->Truncate(0)) {
          code = kErrorCreate;
          return nullptr;
        }
        return existing;
      }
      files.erase(it);
    }
  } else if (!create) {
    code = errno == EACCES ? kErrorAccess : kErrorRead;
    return nullptr;
  }

  int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_TRUNC : 0);
  int fd = ::open(path.c_str(), flags, 0666);
  bool writable = true;
  if (fd < 0 && !create && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    writable = false;
  }
  if (fd < 0) {
    code = CodeOfErrno(errno, create);
    return nullptr;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    code = kErrorRead;
    return nullptr;
  }
  std::shared_ptr<SharedFile> file(new SharedFile());
  file->fd_ = fd;
  file->writable_ = writable;
  file->pid_ = getpid();
  file->dev_ = st.st_dev;
  file->ino_ = st.st_ino;
  file->path_ = path;
  OpenFiles()[{st.st_dev, st.st_ino}] = file;
  return file;
}

SharedFile::~SharedFile() {
  if (head_) munmap(head_, kHeadBytes);
  if (fd_ >= 0) ::close(fd_);
  auto& files = OpenFiles();
  auto it = files.find({dev_, ino_});
  if (it != files.end() && it->second.expired()) files.erase(it);
}

std::int64_t SharedFile::Size() const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

std::size_t SharedFile::ReadSome(std::int64_t offset, void* to, std::size_t count) const {
  auto* out = static_cast<char*>(to);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool SharedFile::Read(std::int64_t offset, void* to, std::size_t count) const {
  return offset >= 0 && ReadSome(offset, to, count) == count;
}

bool SharedFile::Write(std::int64_t offset, std::string_view bytes) {
  if (!writable_ || offset < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool SharedFile::Truncate(std::int64_t size) {
  if (!writable_) return false;
  if (head_ && size < kMinMappedSize) {
    munmap(head_, kHeadBytes);
    head_ = nullptr;
    headTried_ = false;
  }
  return ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool SharedFile::Grow(std::int64_t size) {
  if (!writable_) return false;
  const std::int64_t old = Size();
  if (old < 0) return false;
  if (size <= old) return true;
  int error = 0;
  do {
    error = posix_fallocate(fd_, static_cast<off_t>(old), static_cast<off_t>(size - old));
  } while (error == EINTR);
  if (error == 0) return true;
  // Some file systems keep the part they could allocate, and the length with it.
  if (Size() != old) (void)ftruncate(fd_, static_cast<off_t>(old));
  errno = error;
  return false;
}

bool SharedFile::Sync() { return fdatasync(fd_) == 0; }

// Mapped once the file holds a whole header's start: bytes within the mapped page
// stay readable as long as the file is not cut below them, which only a rewrite of
// the whole file would do.
bool SharedFile::MapHead() {
  if (head_) return true;
  if (headTried_) return false;
  std::int64_t size = Size();
  if (size < kMinMappedSize) return false;
  headTried_ = true;
  void* p = mmap(nullptr, kHeadBytes, PROT_READ | (writable_ ? PROT_WRITE : 0), MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return false;
  head_ = static_cast<unsigned char*>(p);
  return true;
}

bool SharedFile::ReadHead(std::int64_t offset, void* to, std::size_t count) {
  if (offset < 0 || offset + static_cast<std::int64_t>(count) > kMinMappedSize || !MapHead())
    return Read(offset, to, count);
  std::memcpy(to, head_ + offset, count);
  return true;
}

bool SharedFile::WriteHead(std::int64_t offset, std::string_view bytes) {
  if (!writable_) return false;
  if (offset < 0 || offset + static_cast<std::int64_t>(bytes.size()) > kMinMappedSize || !MapHead())
    return Write(offset, bytes);
  std::memcpy(head_ + offset, bytes.data(), bytes.size());
  return true;
}

// The book keeps one-byte locks (records, headers) by offset and the few longer
// ranges (whole-file locks) in a list, so that a table with thousands of locked
// records still answers at once.
SharedFile::Held* SharedFile::Find(const void* owner, std::int64_t offset, std::int64_t length) {
  if (length == 1) {
    auto it = bytes_.find(offset);
    if (it == bytes_.end()) return nullptr;
    for (Held& h : it->second) {
      if (h.owner == owner) return &h;
    }
    return nullptr;
  }
  for (Held& h : wide_) {
    if (h.owner == owner && h.offset == offset && h.length == length) return &h;
  }
  return nullptr;
}

bool SharedFile::WideCovers(const void* owner, std::int64_t offset, std::int64_t length) const {
  return std::any_of(wide_.begin(), wide_.end(), [&](const Held& h) {
    return (owner == nullptr || h.owner == owner) && h.offset <= offset && offset + length <= h.offset + h.length;
  });
}

bool SharedFile::ProcessHolds(std::int64_t offset, std::int64_t length) const {
  if (length == 1) {
    auto it = bytes_.find(offset);
    if (it != bytes_.end() && !it->second.empty()) return true;
  }
  return WideCovers(nullptr, offset, length);
}

bool SharedFile::Holds(const void* owner, std::int64_t offset, std::int64_t length) const {
  if (length == 1) {
    auto it = bytes_.find(offset);
    if (it != bytes_.end() && std::any_of(it->second.begin(), it->second.end(),
                                          [&](const Held& h) { return h.owner == owner; }))
      return true;
  }
  return WideCovers(owner, offset, length);
}

int SharedFile::Lock(const void* owner, std::int64_t offset, std::int64_t length, int waitMs) {
  if (Held* held = Find(owner, offset, length)) {
    ++held->times;
    return kSuccess;
  }
  if (!ProcessHolds(offset, length)) {
    short type = writable_ ? F_WRLCK : F_RDLCK;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!SetLock(fd_, type, offset, length)) {
      if (errno != EAGAIN && errno != EACCES && errno != EDEADLK) return kErrorAccess;
      if (std::chrono::steady_clock::now() >= deadline) return kLocked;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  Held held{owner, offset, length, 1};
  if (length == 1) {
    bytes_[offset].push_back(held);
  } else {
    wide_.push_back(held);
  }
  return kSuccess;
}

namespace {
// The first lock of another process that conflicts with [offset, offset + length);
// false when there is none (or the question cannot be asked).
bool OtherLock(int fd, std::int64_t offset, std::int64_t length, struct flock& lock) {
  lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(length);
  return fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}
}  // namespace

bool SharedFile::LockedElsewhere(std::int64_t offset, std::int64_t length) const {
  struct flock lock;
  return OtherLock(fd_, offset, length, lock);
}

bool SharedFile::WideLockElsewhere(std::int64_t offset) const {
  struct flock lock;
  return OtherLock(fd_, offset, 1, lock) && lock.l_len != 1;
}

// Gives back to the system the bytes of a range that no handle of this process
// still holds (locks of the process merge, so unlocking blindly would also free
// bytes that another handle still needs).
void SharedFile::ReleaseUncovered(std::int64_t offset, std::int64_t length) {
  std::vector<std::pair<std::int64_t, std::int64_t>> cover;
  for (const Held& h : wide_) {
    std::int64_t from = std::max(offset, h.offset);
    std::int64_t to = std::min(offset + length, h.offset + h.length);
    if (from < to) cover.emplace_back(from, to);
  }
  if (length == 1) {
    auto it = bytes_.find(offset);
    if (it != bytes_.end() && !it->second.empty()) return;
  } else {
    for (const auto& [at, holders] : bytes_) {
      if (!holders.empty() && at >= offset && at < offset + length) cover.emplace_back(at, at + 1);
    }
  }
  std::sort(cover.begin(), cover.end());
  std::int64_t at = offset;
  for (auto [from, to] : cover) {
    if (from > at) SetLock(fd_, F_UNLCK, at, from - at);
    at = std::max(at, to);
  }
  if (at < offset + length) SetLock(fd_, F_UNLCK, at, offset + length - at);
}

void SharedFile::Unlock(const void* owner, std::int64_t offset, std::int64_t length) {
  Held* held = Find(owner, offset, length);
  if (!held || --held->times > 0) return;
  if (length == 1) {
    auto it = bytes_.find(offset);
    std::erase_if(it->second, [&](const Held& h) { return h.owner == owner; });
    if (it->second.empty()) bytes_.erase(it);
  } else {
    std::erase_if(wide_, [&](const Held& h) { return h.owner == owner && h.offset == offset && h.length == length; });
  }
  ReleaseUncovered(offset, length);
}

void SharedFile::UnlockAll(const void* owner) {
  std::vector<Held> wide;
  for (const Held& h : wide_) {
    if (h.owner == owner) wide.push_back(h);
  }
  std::erase_if(wide_, [&](const Held& h) { return h.owner == owner; });
  // Single bytes that nobody else holds go back in runs of neighbours.
  std::vector<std::int64_t> freed;
  for (auto it = bytes_.begin(); it != bytes_.end();) {
    std::size_t before = it->second.size();
    std::erase_if(it->second, [&](const Held& h) { return h.owner == owner; });
    if (it->second.empty()) {
      if (before > 0) freed.push_back(it->first);
      it = bytes_.erase(it);
    } else {
      ++it;
    }
  }
  std::sort(freed.begin(), freed.end());
  for (std::size_t i = 0; i < freed.size();) {
    std::size_t j = i + 1;
    while (j < freed.size() && freed[j] == freed[j - 1] + 1) ++j;
    std::int64_t from = freed[i];
    std::int64_t length = freed[j - 1] - from + 1;
    if (wide_.empty()) {
      SetLock(fd_, F_UNLCK, from, length);
    } else {
      ReleaseUncovered(from, length);
    }
    i = j;
  }
  for (const Held& h : wide) ReleaseUncovered(h.offset, h.length);
}

}  // namespace xbase::detail
