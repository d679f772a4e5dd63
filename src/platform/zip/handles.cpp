#include "platform/zip/handles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace zipio::detail {

namespace {
constexpr unsigned kUnixTypeMask = 0170000;
constexpr unsigned kUnixLink = 0120000;
constexpr unsigned kWindowsReparsePoint = 0x400;  // junctions and links made on Windows
}  // namespace

bool IsLink(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return false;
  if (system == ZIP_OPSYS_UNIX) return ((attributes >> 16) & kUnixTypeMask) == kUnixLink;
  return (attributes & kWindowsReparsePoint) != 0;
}

ArchiveHandle OpenForReading(const std::string& path, std::string& error) {
  int code = 0;
  ArchiveHandle archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  if (!archive) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    error = code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS ? "not a zip archive, or a damaged one ("
                                                               + std::string(zip_error_strerror(&e)) + ")"
                                                         : zip_error_strerror(&e);
    zip_error_fini(&e);
  }
  return archive;
}

bool Commit(ArchiveHandle& archive, std::string& error) {
  zip_t* raw = archive.get();
  if (zip_close(raw) == 0) {
    archive.release();  // closed and freed by zip_close
    return true;
  }
  error = ErrorText(raw);
  return false;  // the handle still owns it and discards it
}

bool ReadEntry(zip_t* archive, zip_uint64_t index, std::uint64_t size,
               const std::function<bool(const unsigned char*, std::size_t, std::string&)>& sink, std::string& error) {
  EntryHandle file(zip_fopen_index(archive, index, 0));
  if (!file) {
    error = ErrorText(archive);
    return false;
  }
  std::vector<unsigned char> buffer(1 << 16);
  std::uint64_t total = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
    if (n < 0) {
      error = ErrorText(file.get());
      return false;
    }
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    if (total > size) {
      error = "more data than the archive's directory says";
      return false;
    }
    if (!sink(buffer.data(), static_cast<std::size_t>(n), error)) return false;
  }
  if (total != size) {
    error = "less data than the archive's directory says";
    return false;
  }
  return true;
}

std::string ErrorText(zip_t* archive) { return zip_error_strerror(zip_get_error(archive)); }
std::string ErrorText(zip_file_t* file) { return zip_error_strerror(zip_file_get_error(file)); }

TempFile::TempFile(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = folder + "." + name + ".tlvpart-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkstemp(buffer.data());
  if (fd < 0) return;
  ::fchmod(fd, 0644);
  fd_ = fd;
  path_ = buffer.data();
}

TempFile::~TempFile() {
  CloseFd();
  if (!path_.empty()) ::unlink(path_.c_str());
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)), fd_(other.fd_) {
  other.path_.clear();
  other.fd_ = -1;
}

void TempFile::CloseFd() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool PutInPlace(TempFile& temp, const std::string& target, bool durable, std::string& error) {
  if (durable) {
    const int fd = temp.fd() >= 0 ? temp.fd() : ::open(temp.path().c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0 && fd != temp.fd()) ::close(fd);
    if (!synced) {
      error = "could not write " + target + ": " + std::strerror(errno);
      return false;
    }
  }
  temp.CloseFd();
  if (::rename(temp.path().c_str(), target.c_str()) != 0) {
    error = "could not write " + target + ": " + std::strerror(errno);
    return false;
  }
  temp.Keep();
  if (durable) {
    // The rename itself must survive a power cut too.
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  return true;
}

}  // namespace zipio::detail
