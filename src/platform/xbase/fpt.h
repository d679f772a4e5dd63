#pragma once
// The FPT memo file: a header with the next free block and the block size (both
// big-endian), then memos of a type word, a length and the bytes, each in a run of
// whole blocks. Block numbers count from the start of the file, whatever the size of
// the writer's header (some write 1024 bytes with their own marker).
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xbase::detail {

class SharedFile;

inline constexpr int kFptHeaderSize = 512;
inline constexpr int kFptBlockSize = 64;

class MemoFile {
 public:
  // kSuccess, kErrorAccess, or kErrorMemo for a missing or damaged file.
  static std::unique_ptr<MemoFile> Open(const std::string& path, int& code);
  static std::unique_ptr<MemoFile> Create(const std::string& path, int& code);
  ~MemoFile();

  int BlockSize() const { return blockSize_; }
  SharedFile& File() { return *file_; }

  // The memo at block: kSuccess, or kErrorMemo (text "") for a block inside the
  // header, past the end, or a length that runs past the end.
  int Read(std::uint32_t block, std::string& text) const;
  // Length only, with the same checks.
  int Length(std::uint32_t block, std::uint32_t& length) const;
  // The memo whose run starts at byte at of bytes read from the file; false when
  // bytes do not hold it whole.
  static bool ParseRun(std::string_view bytes, std::size_t at, std::string& text);

  // Writes memos: each text goes back into its old run when it fits, otherwise to
  // new blocks at the end of the file. "" gives block 0 (no memo). All new runs are
  // written with one write and one header update. The caller holds the lock that
  // serialises allocation; headerKnown: nobody else can have allocated since this
  // object's last write (the table is locked whole), so the header is not read.
  struct Put {
    std::string_view text;
    std::uint32_t oldBlock = 0;
    std::uint32_t newBlock = 0;
  };
  // The new runs are written (and the header moved on) before any old run is
  // rewritten: a disk too full for them fails the write (kErrorWrite) with the file
  // as it was.
  int Write(std::vector<Put>& puts, bool headerKnown = false);
  // Gives back the new runs of the last Write (the record that was to point at them
  // could not be written): the header and the length as they were before it. Only
  // right after that Write, under the same lock.
  int TakeBack();

  // The header must be read again before the next allocation.
  void Forget() { lastNext_ = 0; }

  // Empties the file to its first keepBytes (at least the 512-byte header); memo
  // compression then writes every live memo again.
  int Reset(std::int64_t keepBytes);

 private:
  MemoFile() = default;
  std::uint32_t BlocksFor(std::uint64_t length) const;

  std::shared_ptr<SharedFile> file_;
  int blockSize_ = kFptBlockSize;
  std::uint32_t lastNext_ = 0;  // next free block as this object last wrote it
  std::string tail_;  // the new runs of one Write, kept so that appends reuse its room
  // What the last Write took at the end of the file: the header's next free block and
  // the file's length before it.
  struct Taken {
    bool any = false;
    std::uint32_t next = 0;
    std::int64_t end = 0;
  };
  Taken taken_;
};

// A memo pointer field's block number: 10 ASCII digits (blanks or NULs = none) or a
// 4-byte little-endian number. false for garbage.
bool ParseMemoPointer(std::string_view bytes, std::uint32_t& block);
void FormatMemoPointer(std::uint32_t block, char* to, int width);

}  // namespace xbase::detail
