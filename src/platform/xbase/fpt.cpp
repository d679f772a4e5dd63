#include "platform/xbase/fpt.h"

#include <algorithm>

#include "platform/xbase/shared_file.h"
#include "platform/xbase/xbase.h"

namespace xbase::detail {
namespace {

std::uint32_t ReadBe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

void WriteBe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

}  // namespace

bool ParseMemoPointer(std::string_view bytes, std::uint32_t& block) {
  block = 0;
  if (bytes.size() == 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    block = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
  }
  std::uint64_t value = 0;
  bool digits = false;
  for (char c : bytes) {
    if (c == ' ' || c == '\0') {
      if (digits) return false;  // a blank after the number
      continue;
    }
    if (c < '0' || c > '9') return false;
    digits = true;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  block = static_cast<std::uint32_t>(value);
  return true;
}

void FormatMemoPointer(std::uint32_t block, char* to, int width) {
  if (width == 4) {
    auto* b = reinterpret_cast<unsigned char*>(to);
    b[0] = static_cast<unsigned char>(block);
    b[1] = static_cast<unsigned char>(block >> 8);
    b[2] = static_cast<unsigned char>(block >> 16);
    b[3] = static_cast<unsigned char>(block >> 24);
    return;
  }
  std::fill(to, to + width, ' ');
  if (block == 0) return;
  std::string digits = std::to_string(block);
  std::copy(digits.begin(), digits.end(), to + width - static_cast<int>(digits.size()));
}

std::unique_ptr<MemoFile> MemoFile::Open(const std::string& path, int& code) {
  auto file = SharedFile::Open(path, false, code);
  if (!file) {
    if (code != kErrorAccess) code = kErrorMemo;
    return nullptr;
  }
  unsigned char header[8];
  if (file->Size() < kFptHeaderSize || !file->Read(0, header, sizeof header)) {
    code = kErrorMemo;
    return nullptr;
  }
  std::unique_ptr<MemoFile> memo(new MemoFile());
  memo->file_ = std::move(file);
  int size = header[6] << 8 | header[7];
  memo->blockSize_ = size == 0 ? 1 : size;
  code = kSuccess;
  return memo;
}

std::unique_ptr<MemoFile> MemoFile::Create(const std::string& path, int& code) {
  auto file = SharedFile::Open(path, true, code);
  if (!file) return nullptr;
  std::string header(kFptHeaderSize, '\0');
  auto* b = reinterpret_cast<unsigned char*>(header.data());
  WriteBe32(b, kFptHeaderSize / kFptBlockSize);
  b[6] = 0;
  b[7] = kFptBlockSize;
  if (!file->Write(0, header)) {
    code = kErrorWrite;
    return nullptr;
  }
  std::unique_ptr<MemoFile> memo(new MemoFile());
  memo->file_ = std::move(file);
  code = kSuccess;
  return memo;
}

MemoFile::~MemoFile() = default;

std::uint32_t MemoFile::BlocksFor(std::uint64_t length) const {
  return static_cast<std::uint32_t>((length + 8 + blockSize_ - 1) / blockSize_);
}

int MemoFile::Length(std::uint32_t block, std::uint32_t& length) const {
  length = 0;
  std::uint64_t offset = static_cast<std::uint64_t>(block) * blockSize_;
  std::int64_t size = file_->Size();
  if (block == 0 || offset < kFptHeaderSize || size < 0 || offset + 8 > static_cast<std::uint64_t>(size))
    return kErrorMemo;
  unsigned char head[8];
  if (!file_->Read(static_cast<std::int64_t>(offset), head, sizeof head)) return kErrorMemo;
  std::uint32_t n = ReadBe32(head + 4);
  if (offset + 8 + n > static_cast<std::uint64_t>(size)) return kErrorMemo;
  length = n;
  return kSuccess;
}

int MemoFile::Read(std::uint32_t block, std::string& text) const {
  text.clear();
  std::uint64_t offset = static_cast<std::uint64_t>(block) * blockSize_;
  if (block == 0 || offset < kFptHeaderSize) return kErrorMemo;
  // One read takes the block header and a short memo whole; a longer one is checked
  // against the file's size before anything is allocated for it.
  char first[1024];
  std::size_t got = file_->ReadSome(static_cast<std::int64_t>(offset), first, sizeof first);
  if (got < 8) return kErrorMemo;
  std::uint32_t length = ReadBe32(reinterpret_cast<const unsigned char*>(first) + 4);
  if (8 + static_cast<std::uint64_t>(length) <= got) {
    text.assign(first + 8, length);
    return kSuccess;
  }
  std::int64_t size = file_->Size();
  if (size < 0 || offset + 8 + length > static_cast<std::uint64_t>(size)) return kErrorMemo;
  text.resize(length);
  std::size_t have = got - 8;
  std::copy(first + 8, first + got, text.begin());
  if (!file_->Read(static_cast<std::int64_t>(offset + 8 + have), text.data() + have, length - have)) {
    text.clear();
    return kErrorMemo;
  }
  return kSuccess;
}

bool MemoFile::ParseRun(std::string_view bytes, std::size_t at, std::string& text) {
  if (at + 8 > bytes.size()) return false;
  std::uint32_t length = ReadBe32(reinterpret_cast<const unsigned char*>(bytes.data()) + at + 4);
  if (at + 8 + static_cast<std::uint64_t>(length) > bytes.size()) return false;
  text.assign(bytes.data() + at + 8, length);
  return true;
}

int MemoFile::Write(std::vector<Put>& puts, bool headerKnown) {
  if (!file_->Writable()) return kErrorAccess;
  taken_ = {};
  unsigned char header[8];
  if (headerKnown && lastNext_ != 0) {
    WriteBe32(header, lastNext_);
  } else if (!file_->ReadHead(0, header, sizeof header)) {
    return kErrorMemo;
  }
  // New runs start at the end of the file: never inside blocks another program may
  // still read, and never past the end (a damaged header's next free block could lie
  // far beyond it). When the header still says what this object last wrote, nobody
  // else has allocated since and that is the end; only otherwise is the size asked.
  const std::uint32_t headerNext = ReadBe32(header);
  std::uint64_t next = headerNext;
  std::int64_t end = static_cast<std::int64_t>(next) * blockSize_;  // the file's length now
  if (next != lastNext_ || lastNext_ == 0) {
    std::int64_t size = file_->Size();
    if (size < 0) return kErrorMemo;
    std::uint64_t headerBlocks = (kFptHeaderSize + blockSize_ - 1) / blockSize_;
    std::uint64_t endBlocks = (static_cast<std::uint64_t>(size) + blockSize_ - 1) / blockSize_;
    next = std::max(headerBlocks, endBlocks);
    end = size;
  }
  const std::uint64_t first = next;
  std::string& tail = tail_;
  tail.clear();
  // The room stays for the next append, unless one large memo made it large.
  struct Trim {
    std::string& bytes;
    ~Trim() {
      if (bytes.capacity() > (1u << 16)) std::string().swap(bytes);
    }
  } trim{tail};

  auto block = [&](std::string& out, std::string_view text) {
    unsigned char head[8];
    WriteBe32(head, 1);
    WriteBe32(head + 4, static_cast<std::uint32_t>(text.size()));
    out.append(reinterpret_cast<const char*>(head), 8);
    out.append(text);
  };

  bool inPlace = false;
  for (Put& put : puts) {
    put.newBlock = 0;
    if (put.text.empty()) continue;
    if (put.text.size() > 0x7FFFFFF0u) return kErrorMemo;
    std::uint32_t oldLength = 0;
    if (put.oldBlock != 0 && Length(put.oldBlock, oldLength) == kSuccess &&
        BlocksFor(put.text.size()) <= BlocksFor(oldLength)) {
      put.newBlock = put.oldBlock;
      inPlace = true;
      continue;
    }
    std::uint64_t blocks = BlocksFor(put.text.size());
    if (next + blocks > 0xFFFFFFFFu) return kErrorMemo;
    put.newBlock = static_cast<std::uint32_t>(next);
    block(tail, put.text);
    tail.resize((next + blocks - first) * blockSize_, '\0');
    next += blocks;
  }
  // The new runs go first: they are all this write needs new disk space for, and a
  // disk too full for them leaves the file as it was (old runs not yet rewritten).
  if (!tail.empty()) {
    if (!file_->Write(static_cast<std::int64_t>(first * blockSize_), tail)) {
      if (file_->Size() > end) file_->Truncate(end);
      return kErrorWrite;
    }
    WriteBe32(header, static_cast<std::uint32_t>(next));
    if (!file_->WriteHead(0, std::string_view(reinterpret_cast<const char*>(header), 4))) {
      if (file_->Size() > end) file_->Truncate(end);
      return kErrorWrite;
    }
    lastNext_ = static_cast<std::uint32_t>(next);
    taken_ = {true, headerNext, end};
  }
  if (!inPlace) return kSuccess;
  std::string bytes;
  for (const Put& put : puts) {
    if (put.text.empty() || put.newBlock != put.oldBlock) continue;
    bytes.clear();
    block(bytes, put.text);
    if (!file_->Write(static_cast<std::int64_t>(put.oldBlock) * blockSize_, bytes)) return kErrorWrite;
  }
  return kSuccess;
}

int MemoFile::TakeBack() {
  if (!taken_.any) return kSuccess;
  const Taken taken = taken_;
  taken_ = {};
  lastNext_ = 0;  // the header is read again before the next allocation
  unsigned char header[4];
  WriteBe32(header, taken.next);
  if (!file_->WriteHead(0, std::string_view(reinterpret_cast<const char*>(header), 4))) return kErrorWrite;
  return file_->Size() <= taken.end || file_->Truncate(taken.end) ? kSuccess : kErrorWrite;
}

int MemoFile::Reset(std::int64_t keepBytes) {
  if (!file_->Writable()) return kErrorAccess;
  // A writer's larger header (its own marker past 512 bytes) is kept as it is.
  keepBytes = std::max<std::int64_t>(keepBytes, kFptHeaderSize);
  std::uint32_t headerBlocks = static_cast<std::uint32_t>((keepBytes + blockSize_ - 1) / blockSize_);
  unsigned char header[4];
  WriteBe32(header, headerBlocks);
  lastNext_ = 0;
  if (!file_->Truncate(keepBytes)) return kErrorWrite;
  if (!file_->Write(0, std::string_view(reinterpret_cast<const char*>(header), 4))) return kErrorWrite;
  return kSuccess;
}

}  // namespace xbase::detail
