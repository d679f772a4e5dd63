#pragma once
// One open descriptor per file and process, with the book of the byte-range
// locks that this process's handles hold on it.
//
// fcntl locks belong to the process, not to a descriptor or a handle: closing any
// descriptor of a file drops all of them, and two handles of one process never
// conflict. So every table, memo and index file is opened through here: handles of
// one file share one descriptor, and each lock is taken from the system when the
// first handle asks for it and given back when the last one lets it go.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace xbase::detail {

class SharedFile {
 public:
  // Opens (or with create, creates and truncates) a file read-write, falling back to
  // read-only when writing is refused. code: kSuccess, kErrorAccess (refused),
  // kErrorCreate, kErrorRead (missing or not a regular file).
  static std::shared_ptr<SharedFile> Open(const std::string& path, bool create, int& code);
  // Makes the process's book of open files now, so that it outlives whatever is
  // made after it (the handle registry closes tables when the program ends).
  static void KeepOpenFilesBook();
  ~SharedFile();
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  bool Writable() const { return writable_; }
  // The shared descriptor, for mapping the file (never close it: that would drop
  // every lock this process holds on the file).
  int Descriptor() const { return fd_; }
  const std::string& Path() const { return path_; }

  std::int64_t Size() const;  // -1 on failure
  // Whole reads and writes at an offset; false on a short read or a failed write.
  bool Read(std::int64_t offset, void* to, std::size_t count) const;
  std::size_t ReadSome(std::int64_t offset, void* to, std::size_t count) const;
  bool Write(std::int64_t offset, std::string_view bytes);
  bool Truncate(std::int64_t size);
  // Makes the file at least size bytes long with its disk blocks taken now, so that
  // writing the new bytes through a mapping cannot meet a full disk (a mapped page
  // that gets no block kills the process with SIGBUS). False with the file at its
  // old length when the space is not there (ENOSPC, EFBIG, EIO).
  bool Grow(std::int64_t size);
  bool Sync();

  // The first bytes of the file (kHeadBytes) read and written through a shared
  // mapping, so that the header fields every append reads and writes (a table's
  // record count, a memo file's next free block) cost no system call. Other
  // processes see these bytes at once, as with a write. Falls back to Read/Write
  // when the file is shorter than kMinMappedSize or cannot be mapped.
  static constexpr std::size_t kHeadBytes = 512;
  static constexpr std::int64_t kMinMappedSize = 32;
  bool ReadHead(std::int64_t offset, void* to, std::size_t count);
  bool WriteHead(std::int64_t offset, std::string_view bytes);

  // Locks [offset, offset + length) for owner. kSuccess when held (also when this
  // process already holds it through another owner), kLocked when another process
  // holds a byte of it. waitMs > 0 retries for that long.
  int Lock(const void* owner, std::int64_t offset, std::int64_t length, int waitMs = 0);
  void Unlock(const void* owner, std::int64_t offset, std::int64_t length);
  // Whether another process holds a lock on a byte of [offset, offset + length).
  bool LockedElsewhere(std::int64_t offset, std::int64_t length) const;
  // Whether another process holds a lock over the byte at offset that reaches
  // beyond it (a whole-file lock, as opposed to a lock of that byte alone).
  bool WideLockElsewhere(std::int64_t offset) const;
  void UnlockAll(const void* owner);
  bool Holds(const void* owner, std::int64_t offset, std::int64_t length) const;

 private:
  SharedFile() = default;
  // One entry per owner and range; taking the same range again only counts up
  // (the system locks the current record before every assignment).
  struct Held {
    const void* owner;
    std::int64_t offset;
    std::int64_t length;
    int times;
  };
  Held* Find(const void* owner, std::int64_t offset, std::int64_t length);
  bool WideCovers(const void* owner, std::int64_t offset, std::int64_t length) const;
  bool ProcessHolds(std::int64_t offset, std::int64_t length) const;
  void ReleaseUncovered(std::int64_t offset, std::int64_t length);

  bool MapHead();

  int fd_ = -1;
  bool writable_ = false;
  unsigned char* head_ = nullptr;  // kHeadBytes mapped, or nullptr
  bool headTried_ = false;
  pid_t pid_ = 0;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  std::string path_;
  std::unordered_map<std::int64_t, std::vector<Held>> bytes_;  // one-byte locks by offset
  std::vector<Held> wide_;                                     // longer ranges
};

}  // namespace xbase::detail
