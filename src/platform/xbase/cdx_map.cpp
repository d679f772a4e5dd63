#include "platform/xbase/cdx_map.h"

#include <sys/mman.h>

namespace xbase::detail {

CdxMap::~CdxMap() { Close(); }

void CdxMap::Close() {
  if (data_) munmap(data_, length_);
  data_ = nullptr;
  length_ = 0;
}

bool CdxMap::Open(int fd, bool writable, std::size_t size) {
  Close();
  if (size == 0 || fd < 0) return false;
  void* p = mmap(nullptr, size, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<unsigned char*>(p);
  length_ = size;
  writable_ = writable;
  return true;
}

bool CdxMap::Cover(std::size_t size) {
  if (size <= length_) return true;
  if (!data_) return false;
  // Grow in steps so that a growing index is remapped now and then, not per page.
  std::size_t want = size + size / 4 + 65536;
  want = (want + 4095) / 4096 * 4096;
  void* p = mremap(data_, length_, want, MREMAP_MAYMOVE);
  if (p == MAP_FAILED) return false;
  data_ = static_cast<unsigned char*>(p);
  length_ = want;
  return true;
}

}  // namespace xbase::detail
