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

  // Maps the first size bytes of the file open on fd (size > 0); fd stays open
  // (closing any descriptor of the file would drop the process's locks on it).
  bool Open(int fd, bool writable, std::size_t size);
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
