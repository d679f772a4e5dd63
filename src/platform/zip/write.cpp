#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/zip/handles.h"
#include "platform/zip/zip.h"

namespace zipio {
namespace {

using detail::ArchiveHandle;

constexpr int kDeflateLevel = 6;  // zlib's own default: Info-ZIP's speed and size
constexpr size_t kBufferSize = 1 << 16;

std::string BareName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The size and CRC-32 of a file on disk.
bool FileSizeAndCrc(const std::string& path, std::uint64_t& size, std::uint32_t& crc, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "could not read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<unsigned char> buffer(kBufferSize);
  uLong sum = crc32(0L, Z_NULL, 0);
  size = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "could not read " + path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    sum = crc32(sum, buffer.data(), static_cast<uInt>(n));
    size += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  crc = static_cast<std::uint32_t>(sum);
  return true;
}

// The CRC-32 of an entry's data as it reads back.
bool ReadEntryCrc(zip_t* archive, zip_uint64_t index, std::uint64_t size, std::uint32_t& crc, std::string& error) {
  uLong sum = crc32(0L, Z_NULL, 0);
  const bool read = detail::ReadEntry(
      archive, index, size,
      [&](const unsigned char* data, std::size_t n, std::string&) {
        sum = crc32(sum, data, static_cast<uInt>(n));
        return true;
      },
      error);
  crc = static_cast<std::uint32_t>(sum);
  return read;
}

// One entry per file, in order, each with the file's name, size and CRC, and data
// that reads back to that CRC.
bool CheckArchive(const std::string& path, const std::vector<std::string>& files, std::string& error) {
  ArchiveHandle archive = detail::OpenForReading(path, error);
  if (!archive) return false;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  if (count != static_cast<zip_int64_t>(files.size())) {
    error = "the package holds " + std::to_string(count) + " files instead of " + std::to_string(files.size());
    return false;
  }
  for (size_t i = 0; i < files.size(); ++i) {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    if (!FileSizeAndCrc(files[i], size, crc, error)) return false;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), i, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME) ||
        std::string(st.name) != BareName(files[i])) {
      error = "the package does not hold " + BareName(files[i]) + " in its place";
      return false;
    }
    std::uint32_t readCrc = 0;
    if (st.size != size || st.crc != crc || !ReadEntryCrc(archive.get(), i, st.size, readCrc, error) ||
        readCrc != crc) {
      error = "the packaged copy of " + BareName(files[i]) + " differs from the file" +
              (error.empty() ? "" : " (" + error + ")");
      return false;
    }
  }
  return true;
}

// The smallest valid archive: an end-of-directory record with no entries (libzip
// writes no file at all for an archive without entries).
bool WriteEmptyArchive(detail::TempFile& temp, std::string& error) {
  unsigned char record[22] = {'P', 'K', 5, 6};
  if (::write(temp.fd(), record, sizeof record) != static_cast<ssize_t>(sizeof record)) {
    error = std::string("could not write the package: ") + std::strerror(errno);
    return false;
  }
  return true;
}

struct ProgressState {
  const FileProgress* progress;
  const std::vector<std::string>* files;
  size_t next = 0;  // the next file not yet reported
};

// libzip reports the fraction of the archive written; each file is reported when
// the writing reaches it.
void OnWriteProgress(zip_t*, double done, void* data) {
  auto* state = static_cast<ProgressState*>(data);
  const size_t count = state->files->size();
  const size_t reached = std::min(count, static_cast<size_t>(std::floor(done * static_cast<double>(count))) + 1);
  while (state->next < reached) {
    (*state->progress)(BareName((*state->files)[state->next]), state->next, count);
    ++state->next;
  }
}

bool WriteEntries(const std::string& path, const std::vector<std::string>& files, const FileProgress& progress,
                  std::string& error) {
  int code = 0;
  ArchiveHandle archive(zip_open(path.c_str(), ZIP_TRUNCATE, &code));
  if (!archive) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    error = std::string("could not create the package: ") + zip_error_strerror(&e);
    zip_error_fini(&e);
    return false;
  }
  for (const std::string& file : files) {
    zip_error_t e;
    zip_error_init(&e);
    zip_source_t* source = zip_source_file_create(file.c_str(), 0, -1, &e);
    if (!source) {
      error = "could not read " + file + ": " + zip_error_strerror(&e);
      zip_error_fini(&e);
      return false;
    }
    const zip_int64_t index = zip_file_add(archive.get(), BareName(file).c_str(), source, ZIP_FL_ENC_GUESS);
    if (index < 0) {
      zip_source_free(source);
      error = "could not add " + file + ": " + detail::ErrorText(archive.get());
      return false;
    }
    if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, kDeflateLevel) != 0) {
      error = detail::ErrorText(archive.get());
      return false;
    }
  }
  ProgressState state{&progress, &files};
  if (progress) zip_register_progress_callback_with_state(archive.get(), 0.001, OnWriteProgress, nullptr, &state);
  if (!detail::Commit(archive, error)) {
    error = "could not write the package: " + error;
    return false;
  }
  if (progress) OnWriteProgress(nullptr, 1.0, &state);
  return true;
}

}  // namespace

Outcome WriteArchive(const std::string& archive, const std::vector<std::string>& files, const FileProgress& progress) {
  Outcome outcome;
  // Entries are flat: two files of one name would make one of them unreachable.
  for (size_t i = 0; i < files.size(); ++i)
    for (size_t j = i + 1; j < files.size(); ++j)
      if (strcasecmp(BareName(files[i]).c_str(), BareName(files[j]).c_str()) == 0) {
        outcome.error = "two files named " + BareName(files[i]) + " cannot share one package";
        return outcome;
      }
  detail::TempFile temp(archive);
  if (!temp.ok()) {
    outcome.error = "could not create the package " + archive + ": " + std::strerror(errno);
    return outcome;
  }
  if (files.empty()) {
    if (!WriteEmptyArchive(temp, outcome.error)) return outcome;
  } else {
    temp.CloseFd();  // libzip writes the file through its own name
    if (!WriteEntries(temp.path(), files, progress, outcome.error)) return outcome;
  }
  if (!CheckArchive(temp.path(), files, outcome.error)) return outcome;
  if (!detail::PutInPlace(temp, archive, true, outcome.error)) return outcome;
  outcome.ok = true;
  return outcome;
}

Outcome ListEntries(const std::string& archivePath, std::vector<Entry>& entries) {
  Outcome outcome;
  entries.clear();
  ArchiveHandle archive = detail::OpenForReading(archivePath, outcome.error);
  if (!archive) return outcome;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0) {
      outcome.error = detail::ErrorText(archive.get());
      return outcome;
    }
    Entry entry;
    entry.name = st.name ? st.name : "";
    for (char& c : entry.name)
      if (c == '\\') c = '/';
    entry.size = st.size;
    entry.crc = st.crc;
    entry.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    entry.directory = !entry.name.empty() && entry.name.back() == '/';
    entry.link = detail::IsLink(archive.get(), static_cast<zip_uint64_t>(i));
    entries.push_back(std::move(entry));
  }
  outcome.ok = true;
  return outcome;
}

}  // namespace zipio
