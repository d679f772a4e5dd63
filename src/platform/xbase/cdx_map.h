#pragma once
// The CDX file mapped into memory (shared with every process that maps or reads
// it), so that reading a page or writing one back costs no system call.
//
// Growing the file stays with the caller (SharedFile::Truncate); Cover() then
// widens the mapping. The index never shrinks a file it has open, because another
// process's mapping would fault past the new end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xbase::detail {

class CdxMap {
 public:
  CdxMap() = default;
  ~CdxMap();
  CdxMap(const CdxMap&) = delete;
  CdxMap& operator=(const CdxMap&) = delete;

  // Maps the first size bytes of path (size > 0). false when it cannot be mapped.
  bool Open(const std::string& path, bool writable, std::size_t size);
  // Makes the mapping reach at least size bytes (the file must already be that long).
  bool Cover(std::size_t size);
  void Close();

  std::size_t Length() const { return length_; }
  const unsigned char* At(std::size_t offset) const { return data_ + offset; }
  unsigned char* MutableAt(std::size_t offset) { return data_ + offset; }
  bool Writable() const { return writable_; }

 private:
  unsigned char* data_ = nullptr;
  std::size_t length_ = 0;
  bool writable_ = false;
};

}  // namespace xbase::detail
