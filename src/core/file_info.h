#pragma once
// One file of the file system described: its names, sizes, times and attributes,
// several of them writable. Built for completeness; no mode uses it.
//
// On this system: the short (8.3) names are the long ones; there are no shell type
// names (the type name is the extension and " File") and no icons (hIcon is 0); the
// creation time is the birth time where the file system keeps one (else the
// modification time) and cannot be set; the compressed size is what the file takes
// on disk when that is less than its size (sparse files), else its size. Attributes
// read as the host's bits: read-only (no write permission for anyone), hidden (a
// name beginning with "."), directory; system, archive, temporary and compressed are
// never set. Of the attribute writes only read-only changes anything.
#include <chrono>
#include <cstdint>
#include <string>

namespace tolvarin {

inline constexpr std::uint32_t kFileAttrReadOnly = 1;
inline constexpr std::uint32_t kFileAttrHidden = 2;
inline constexpr std::uint32_t kFileAttrSystem = 4;
inline constexpr std::uint32_t kFileAttrDirectory = 16;
inline constexpr std::uint32_t kFileAttrArchive = 32;
inline constexpr std::uint32_t kFileAttrTemporary = 256;
inline constexpr std::uint32_t kFileAttrCompressed = 2048;

// Below 1024 "500 bytes"; otherwise the size in KB, MB or GB with two, one or no
// decimals by its magnitude, then " (1,536 bytes)": 1536 gives "1.50KB (1,536 bytes)".
std::string FormatFileSize(std::int32_t size);

class CFileInfo {
 public:
  using Time = std::chrono::system_clock::time_point;

  // Stores the absolute form of the path and reads the file.
  void SetFullPathName(const std::string& path);
  const std::string& FullPathName() const { return fullPath_; }
  void Refresh();

  std::string filename() const;      // name and extension
  std::string FilePath() const;      // the folder, with its trailing "/"
  std::string FileExtension() const; // after the name's last "."; "" without one
  std::string ShortPathName() const { return fullPath_; }
  std::string ShortName() const { return filename(); }
  std::string ShortPath() const { return FilePath(); }
  std::string DisplayName() const { return filename(); }
  std::string TypeName() const;

  bool FileExists() const { return found_; }
  bool PathExists() const;
  std::uint32_t FileSize() const { return static_cast<std::uint32_t>(size_); }
  std::uint32_t FileSizeHigh() const { return static_cast<std::uint32_t>(size_ >> 32); }
  std::uint32_t CompressedFileSize() const { return static_cast<std::uint32_t>(compressed_); }
  std::uint32_t CompressedFileSizeHigh() const { return static_cast<std::uint32_t>(compressed_ >> 32); }

  Time CreationTime() const { return created_; }
  Time LastAccessTime() const { return accessed_; }
  Time ModifyTime() const { return modified_; }
  void SetCreationTime(Time when);  // cannot be set here: only refreshes
  void SetLastAccessTime(Time when);
  void SetModifyTime(Time when);

  std::uint32_t Attributes() const { return attributes_; }
  void SetAttributes(std::uint32_t attributes);
  bool attrReadOnly() const { return attributes_ & kFileAttrReadOnly; }
  bool attrHidden() const { return attributes_ & kFileAttrHidden; }
  bool attrSystem() const { return attributes_ & kFileAttrSystem; }
  bool attrArchive() const { return attributes_ & kFileAttrArchive; }
  bool attrTemporary() const { return attributes_ & kFileAttrTemporary; }
  bool attrCompressed() const { return attributes_ & kFileAttrCompressed; }
  void SetAttrReadOnly(bool on) { SetBit(kFileAttrReadOnly, on); }
  void SetAttrHidden(bool on) { SetBit(kFileAttrHidden, on); }
  void SetAttrSystem(bool on) { SetBit(kFileAttrSystem, on); }
  void SetAttrArchive(bool on) { SetBit(kFileAttrArchive, on); }
  void SetAttrTemporary(bool) {}
  void SetAttrCompressed(bool) {}

  std::uintptr_t hIcon() const { return 0; }

  // The long date, a blank and the long time: "Thursday, December 10, 2026 8:07:41 PM".
  static std::string FormatFileDate(Time when);
  static std::string FormatFileSize(std::int32_t size) { return tolvarin::FormatFileSize(size); }

 private:
  void SetBit(std::uint32_t bit, bool on) { SetAttributes(on ? attributes_ | bit : attributes_ & ~bit); }
  void SetTimes(const Time* accessed, const Time* modified);

  std::string fullPath_;
  bool found_ = false;
  std::uint64_t size_ = 0;
  std::uint64_t compressed_ = 0;
  Time created_{}, accessed_{}, modified_{};
  std::uint32_t attributes_ = 0;
};

}  // namespace tolvarin
