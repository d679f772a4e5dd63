#pragma once
// Owning handles over libzip's archive and entry objects and a temporary file's
// name, so every way out of a routine closes and cleans up.
#include <zip.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zipio::detail {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }  // a write goes through Commit
};
using ArchiveHandle = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using EntryHandle = std::unique_ptr<zip_file_t, EntryCloser>;

// Opens an archive for reading with its consistency checked; null and the reason
// when it is not a readable zip.
ArchiveHandle OpenForReading(const std::string& path, std::string& error);

// Writes an archive's changes and closes it (the handle is released either way).
bool Commit(ArchiveHandle& archive, std::string& error);

// Reads an entry whole, handing each piece to sink (false from it stops the read);
// the data must come to exactly size bytes, and libzip checks the CRC when the last
// byte has been read.
bool ReadEntry(zip_t* archive, zip_uint64_t index, std::uint64_t size,
               const std::function<bool(const unsigned char*, std::size_t, std::string&)>& sink, std::string& error);

// Whether the entry was stored as a link (Unix) or a reparse point (Windows).
bool IsLink(zip_t* archive, zip_uint64_t index);

// libzip's text for the archive's or the entry's last error.
std::string ErrorText(zip_t* archive);
std::string ErrorText(zip_file_t* file);

// A fresh, empty file beside target ("." + name + ".tlvpart-XXXXXX"), removed when
// the guard ends unless Keep() was called.
class TempFile {
 public:
  explicit TempFile(const std::string& target);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  TempFile(TempFile&& other) noexcept;
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  int fd() const { return fd_; }
  void CloseFd();
  void Keep() { path_.clear(); }

 private:
  std::string path_;
  int fd_ = -1;
};

// Moves a written file over its target (a link at the target is replaced, never
// followed); after fsync when durable.
bool PutInPlace(TempFile& temp, const std::string& target, bool durable, std::string& error);

}  // namespace zipio::detail
