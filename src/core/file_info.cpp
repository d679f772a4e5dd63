#include "core/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

namespace tolvarin {
namespace {

std::string WithThousands(std::int64_t value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
  return value < 0 ? "-" + digits : digits;
}

std::string Fixed(double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return buffer;
}

CFileInfo::Time FromTimespec(const timespec& ts) {
  return CFileInfo::Time(std::chrono::duration_cast<CFileInfo::Time::duration>(std::chrono::seconds(ts.tv_sec) +
                                                                             std::chrono::nanoseconds(ts.tv_nsec)));
}

timespec ToTimespec(CFileInfo::Time when) {
  const auto since = when.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds.count());
  ts.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
  return ts;
}

}  // namespace

std::string FormatFileSize(std::int32_t size) {
  if (size < 1024) return WithThousands(size) + " bytes";
  const double kb = size / 1024.0;
  std::string text;
  if (kb < 1000) {
    text = Fixed(kb, kb < 10 ? 2 : kb < 100 ? 1 : 0) + "KB";
  } else if (kb < 1000000) {
    text = Fixed(size / 1048576.0, kb < 10000 ? 2 : kb < 100000 ? 1 : 0) + "MB";
  } else {
    text = Fixed(size / 1024.0 / 1024.0 / 1024.0, 2) + "GB";
  }
  return text + " (" + WithThousands(size) + " bytes)";
}

void CFileInfo::SetFullPathName(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  fullPath_ = ec ? path : absolute.lexically_normal().string();
  Refresh();
}

void CFileInfo::Refresh() {
  found_ = false;
  size_ = compressed_ = 0;
  created_ = accessed_ = modified_ = Time{};
  attributes_ = 0;
  struct statx st {};
  if (fullPath_.empty() ||
      ::statx(AT_FDCWD, fullPath_.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
    return;
  found_ = true;
  size_ = st.stx_size;
  compressed_ = std::min<std::uint64_t>(size_, st.stx_blocks * 512);
  auto toTime = [](const statx_timestamp& t) { return FromTimespec(timespec{static_cast<time_t>(t.tv_sec), t.tv_nsec}); };
  accessed_ = toTime(st.stx_atime);
  modified_ = toTime(st.stx_mtime);
  created_ = (st.stx_mask & STATX_BTIME) ? toTime(st.stx_btime) : modified_;
  if ((st.stx_mode & 0222) == 0) attributes_ |= kFileAttrReadOnly;
  if (!filename().empty() && filename()[0] == '.') attributes_ |= kFileAttrHidden;
  if (S_ISDIR(st.stx_mode)) attributes_ |= kFileAttrDirectory;
}

std::string CFileInfo::filename() const {
  const size_t slash = fullPath_.rfind('/');
  return slash == std::string::npos ? fullPath_ : fullPath_.substr(slash + 1);
}

std::string CFileInfo::FilePath() const {
  const size_t slash = fullPath_.rfind('/');
  return slash == std::string::npos ? "" : fullPath_.substr(0, slash + 1);
}

std::string CFileInfo::FileExtension() const {
  const std::string name = filename();
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : name.substr(dot + 1);
}

std::string CFileInfo::TypeName() const { return FileExtension() + " File"; }

bool CFileInfo::PathExists() const {
  // A root ("/") counts as existing, as a drive root or a share root does.
  struct stat st {};
  const std::string folder = FilePath();
  return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void CFileInfo::SetCreationTime(Time) { Refresh(); }
void CFileInfo::SetLastAccessTime(Time when) { SetTimes(&when, nullptr); }
void CFileInfo::SetModifyTime(Time when) { SetTimes(nullptr, &when); }

void CFileInfo::SetTimes(const Time* accessed, const Time* modified) {
  timespec times[2];
  times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
  times[0].tv_sec = times[1].tv_sec = 0;
  if (accessed) times[0] = ToTimespec(*accessed);
  if (modified) times[1] = ToTimespec(*modified);
  ::utimensat(AT_FDCWD, fullPath_.c_str(), times, AT_SYMLINK_NOFOLLOW);
  Refresh();
}

void CFileInfo::SetAttributes(std::uint32_t attributes) {
  struct stat st {};
  if (::lstat(fullPath_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    mode_t mode = st.st_mode & 07777;
    if (attributes & kFileAttrReadOnly)
      mode &= ~static_cast<mode_t>(0222);
    else if ((mode & 0222) == 0)
      mode |= 0200;  // writable again for its owner
    ::chmod(fullPath_.c_str(), mode);
  }
  Refresh();
}

std::string CFileInfo::FormatFileDate(Time when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm tm{};
  localtime_r(&t, &tm);
  // The long forms put no leading zero before the day or the hour.
  char weekdayMonth[64], minutes[32];
  std::strftime(weekdayMonth, sizeof weekdayMonth, "%A, %B ", &tm);
  std::strftime(minutes, sizeof minutes, ":%M:%S %p", &tm);
  const int hour = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
  return weekdayMonth + std::to_string(tm.tm_mday) + ", " + std::to_string(tm.tm_year + 1900) + " " +
         std::to_string(hour) + minutes;
}

}  // namespace tolvarin
