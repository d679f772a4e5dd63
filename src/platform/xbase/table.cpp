#include "platform/xbase/table.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/xbase/dbf.h"
#include "platform/xbase/fpt.h"
#include "platform/xbase/paths.h"
#include "platform/xbase/prefetch.h"
#include "platform/xbase/shared_file.h"

namespace xbase::detail {
namespace {

// How long a write waits for a lock that another process holds only for a moment
// (the header lock of an append, a record being written, a pack's file lock). Long
// enough that a large pack elsewhere does not refuse an append, whose callers do not
// try again; d4lock itself never waits.
constexpr int kWriteWaitMs = 10000;
// How long an open waits for another process's append to finish before it checks
// the file's length against the record count (an append holds its lock briefly).
constexpr int kOpenWaitMs = 1000;

// Lock bytes, as FoxPro-family programs place them (see the file-format notes):
// tables with a structural index count down from 0x7FFFFFFE, the others add
// 0x40000000 to the record's own offset.
constexpr std::int64_t kVfpHeaderByte = 0x7FFFFFFE;
constexpr std::int64_t kVfpFileStart = 0x77FFFFFF;
constexpr std::int64_t kVfpFileLength = 0x08000000;  // up to and including the header byte
constexpr std::int64_t kFoxHeaderByte = 0x40000000;
constexpr std::int64_t kFoxFileLength = 0x3FFFFFFE;  // the header byte and every record byte

char BlankByte(const FieldLayout& field, int memoWidth) {
  switch (field.type) {
    case 'I': case 'B': case 'T': case 'Y': case 'W': case '0':
      return '\0';
    default:
      return memoWidth == 4 ? '\0' : ' ';
  }
}

// Records beyond the count that an append killed before its count left behind: the
// index beside the table carries the mark of its cut-short update, and the reindex
// that the mark calls for cuts them off. Other records beyond the count are damage.
bool KilledAppendTail(const std::string& dbf, const DbfHeader& header, std::int64_t size) {
  const std::int64_t end = header.headerLength + static_cast<std::int64_t>(header.count) * header.recordLength;
  if (size < end + header.recordLength || !(header.flags & 0x01)) return false;
  bool exists = false;
  const std::string cdx = SiblingFile(dbf, ".cdx", &exists);
  return exists && ProductionIndexCutShort(cdx);
}

}  // namespace

Table::~Table() = default;

bool Table::HoldsFileLock() const {
  std::int64_t start = (flags_ & 0x01) ? kVfpFileStart : kFoxHeaderByte;
  std::int64_t length = (flags_ & 0x01) ? kVfpFileLength : kFoxFileLength;
  return file_->Holds(this, start, length);
}

std::unique_ptr<Table> Table::Open(const std::string& path, bool autoOpenIndex, int& code) {
  return OpenResolved(ResolvePathCase(WithDbfExtension(path)), autoOpenIndex, code);
}

std::unique_ptr<Table> Table::OpenResolved(const std::string& dbf, bool autoOpenIndex, int& code) {
  code = kSuccess;
  auto file = SharedFile::Open(dbf, false, code);
  if (!file) {
    // A missing file is one the system cannot reach, like one it may not read.
    if (code == kErrorRead) code = kErrorAccess;
    return nullptr;
  }
  std::string head(kDbfHeaderSize, '\0');
  if (file->Size() < kDbfHeaderSize || !file->Read(0, head.data(), head.size())) {
    code = kErrorDamaged;
    return nullptr;
  }
  // The length is checked against the count under the append lock, so that an
  // append of another process (record first, count after) is never taken for
  // damage. An append holds that lock for a moment and is waited for; while another
  // process holds the whole file (which may last), or the lock stays taken, only
  // the check that no append can upset is made: the count must fit in the file.
  const std::int64_t headerByte = (head[28] & 0x01) ? kVfpHeaderByte : kFoxHeaderByte;
  const char lockOwner = 0;
  int locking = file->Lock(&lockOwner, headerByte, 1);
  if (locking == kLocked && !file->WideLockElsewhere(headerByte))
    locking = file->Lock(&lockOwner, headerByte, 1, kOpenWaitMs);
  const bool locked = locking == kSuccess;
  struct Release {
    SharedFile& file;
    const void* owner;
    std::int64_t at;
    bool held;
    void Now() {
      if (held) file.Unlock(owner, at, 1);
      held = false;
    }
    ~Release() { Now(); }
  } release{*file, &lockOwner, headerByte, locked};
  std::int64_t size = file->Size();
  if (size < kDbfHeaderSize || !file->Read(0, head.data(), head.size())) {
    code = kErrorDamaged;
    return nullptr;
  }
  int headerLength = static_cast<unsigned char>(head[8]) | static_cast<unsigned char>(head[9]) << 8;
  std::string bytes(static_cast<std::size_t>(std::min<std::int64_t>(headerLength, size)), '\0');
  if (!bytes.empty() && !file->Read(0, bytes.data(), bytes.size())) {
    code = kErrorDamaged;
    return nullptr;
  }
  DbfHeader header;
  if (ParseDbfHeader(bytes, size, header) != kSuccess || (locked && CheckRecordArea(header, size) != kSuccess &&
                                                          !KilledAppendTail(dbf, header, size))) {
    code = kErrorDamaged;
    return nullptr;
  }
  release.Now();

  std::unique_ptr<Table> table(new Table());
  table->path_ = dbf;
  table->file_ = std::move(file);
  table->readOnly_ = !table->file_->Writable();
  table->version_ = header.version;
  table->flags_ = header.flags;
  table->codepage_ = header.codepage;
  table->headerLength_ = header.headerLength;
  table->terminator_ = header.terminator;
  table->count_ = header.count;
  table->layout_.recordLength = header.recordLength;
  const bool vfp = header.version == 0x30 || header.version == 0x31 || header.version == 0x32;
  bool hasMemo = false;
  for (const FieldDescriptor& f : header.fields) {
    if (vfp && (f.flags & 0x01)) continue;  // system column: part of the record, not a field
    table->layout_.fields.push_back(f.layout);
    table->displacement_.push_back(f.displacement);
    table->fieldFlags_.push_back(f.flags);
    int width = MemoPointerWidth(f.layout);
    table->memoWidth_.push_back(width);
    hasMemo = hasMemo || width != 0;
  }
  if (table->layout_.fields.empty()) {
    code = kErrorDamaged;
    return nullptr;
  }

  if (hasMemo) {
    bool exists = false;
    table->memoPath_ = SiblingFile(dbf, ".fpt", &exists);
    if (!exists) {
      code = kErrorMemo;
      return nullptr;
    }
    table->memo_ = MemoFile::Open(table->memoPath_, code);
    if (!table->memo_) return nullptr;
  }
  Table* self = table.get();
  // The record buffer itself reads with the memos assigned to it but not yet written.
  table->layout_.memoText = [self](std::string_view record, const FieldLayout& field) {
    if (record.data() == self->record_.data()) {
      for (int f = 0; f < self->FieldCount(); ++f) {
        const FieldLayout& mine = self->layout_.fields[f];
        if (mine.offset == field.offset && mine.length == field.length) {
          return self->IsMemo(f) ? self->MemoText(f) : std::string();
        }
      }
    }
    return self->MemoOf(record, field);
  };
  table->BlankBuffer();
  table->changed_ = false;
  table->original_ = table->record_;

  if (autoOpenIndex) {
    bool exists = false;
    std::string cdx = SiblingFile(dbf, ".cdx", &exists);
    if (exists) {
      table->index_ = OpenProductionIndex(cdx, table->layout_, code);
      if (code != kSuccess) return nullptr;
      if (table->index_) table->cdxPath_ = cdx;
    } else if (table->flags_ & 0x01) {
      code = kErrorIndex;  // the header says there is one
      return nullptr;
    }
  }
  return table;
}

std::unique_ptr<Table> Table::Create(const std::string& path, const std::vector<FieldInfo>& fields,
                                     const std::vector<TagInfo>& tags, int& code) {
  std::string dbf = ResolvePathCase(WithDbfExtension(path));
  if (access(dbf.c_str(), F_OK) == 0) {
    code = kErrorCreate;  // never over an existing table
    return nullptr;
  }
  DbfHeader header;
  std::string bytes;
  code = BuildDbfHeader(fields, header, bytes);
  if (code != kSuccess) return nullptr;
  {
    auto file = SharedFile::Open(dbf, true, code);
    if (!file) return nullptr;
    if (!file->Write(0, bytes + '\x1A')) {
      code = kErrorWrite;
      unlink(dbf.c_str());
      return nullptr;
    }
  }
  if (header.version == 0xF5) {
    auto memo = MemoFile::Create(SiblingFile(dbf, ".fpt"), code);
    if (!memo) {
      unlink(dbf.c_str());
      return nullptr;
    }
  }
  auto table = OpenResolved(dbf, false, code);
  // A table that could not be made whole is not left behind.
  auto removeFiles = [&] {
    table.reset();
    unlink(dbf.c_str());
    unlink(SiblingFile(dbf, ".fpt").c_str());
  };
  if (!table) {
    removeFiles();
    return nullptr;
  }
  if (!tags.empty()) {
    std::string cdx = SiblingFile(dbf, ".cdx");
    table->index_ = CreateProductionIndex(cdx, table->layout_, tags, code);
    if (code != kSuccess) {
      removeFiles();
      unlink(cdx.c_str());
      return nullptr;
    }
    if (table->index_) {
      table->cdxPath_ = cdx;
      table->flags_ |= 0x01;
      if (!table->file_->Write(28, std::string(1, static_cast<char>(table->flags_)))) {
        code = kErrorWrite;
        return nullptr;
      }
    }
  }
  return table;
}

// --- reading ----------------------------------------------------------------

std::int64_t Table::RecordLockOffset(long recno) const {
  if (flags_ & 0x01) return kVfpHeaderByte - recno;
  return kFoxHeaderByte + headerLength_ + static_cast<std::int64_t>(recno - 1) * RecordLength();
}

int Table::ReadHeaderCount(long& count) {
  unsigned char b[4];
  if (!file_->ReadHead(4, b, 4)) return kErrorRead;
  count = static_cast<long>(ReadLe32(b));
  if (count == count_) return kSuccess;
  // A new count is believed only as far as the file holds whole records.
  std::int64_t size = file_->Size();
  if (size >= headerLength_) {
    long fits = static_cast<long>((size - headerLength_) / RecordLength());
    if (count > fits) count = fits;
  }
  if (count < 0) count = 0;
  return kSuccess;
}

long Table::RecCount() {
  DropReadAhead();
  long count = count_;
  if (ReadHeaderCount(count) == kSuccess && count != count_) {
    count_ = count;
    if (index_) index_->Refresh();
  }
  return count_;
}

bool Table::ReadRecord(long recno, std::string& out) {
  if (recno < 1) return false;
  out.resize(static_cast<std::size_t>(RecordLength()));
  std::int64_t offset = headerLength_ + static_cast<std::int64_t>(recno - 1) * RecordLength();
  return file_->Read(offset, out.data(), out.size());
}

void Table::ReadRecords(long last, const std::function<void(long recno, std::string& record)>& visit) {
  const std::size_t width = static_cast<std::size_t>(RecordLength());
  const long perStretch = std::max<long>(1, static_cast<long>((1u << 20) / std::max<std::size_t>(1, width)));
  std::string stretch, record;
  for (long first = 1; first <= last; first += perStretch) {
    const long n = std::min(perStretch, last - first + 1);
    stretch.resize(static_cast<std::size_t>(n) * width);
    const bool read = file_->Read(headerLength_ + static_cast<std::int64_t>(first - 1) * RecordLength(),
                                  stretch.data(), stretch.size());
    for (long r = first; r < first + n; ++r) {
      if (read)
        record.assign(stretch, static_cast<std::size_t>(r - first) * width, width);
      else
        ReadRecord(r, record);  // a stretch the file does not hold whole: record by record, as far as it goes
      visit(r, record);
    }
  }
}

namespace {
constexpr std::size_t kReadAheadBlockBytes = 32768;
constexpr std::size_t kReadAheadMaxBytes = 32u << 20;  // records past this are read one by one
constexpr int kPrefetchDistance = 6;  // entries ahead whose record a walk asks for early
}  // namespace

Table::Buffer::Buffer(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return;
  madvise(p, size, MADV_HUGEPAGE);
  data_ = static_cast<char*>(p);
  size_ = size;
}

Table::Buffer::~Buffer() {
  if (data_) munmap(data_, size_);
}

Table::Buffer::Buffer(Buffer&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

Table::Buffer& Table::Buffer::operator=(Buffer&& other) noexcept {
  if (this != &other) {
    if (data_) munmap(data_, size_);
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void Table::DropReadAhead() { ++round_; }

void Table::PatchReadAhead(long recno, std::string_view bytes) {
  if (recno < 1) return;
  const std::size_t width = static_cast<std::size_t>(RecordLength());
  const std::size_t at = static_cast<std::size_t>(recno - 1) * width;
  if (at + width > readAheadSize_ || bytes.size() < width) return;
  std::copy_n(bytes.data(), width, readAhead_.get() + at);
}

// Where record recno (1 and up) lies among the blocks read ahead.
Table::ReadAheadSlot Table::SlotOf(long recno) const {
  const std::size_t width = static_cast<std::size_t>(RecordLength());
  const std::size_t perBlock = std::max<std::size_t>(1, kReadAheadBlockBytes / width);
  const std::size_t index = static_cast<std::size_t>(recno - 1);
  return {width, perBlock, index / perBlock, index % perBlock * width};
}

// A record for a skip from the blocks read ahead, reading its block when missing.
// false when the record cannot come from there (the caller reads it alone).
bool Table::ReadAhead(long recno, std::string& out) {
  unsigned char b[4];
  if (recno < 1 || !file_->ReadHead(4, b, 4)) return false;
  const long count = static_cast<long>(ReadLe32(b));
  const std::uint64_t mark = index_ ? index_->ChangeMark() : 0;
  if (count != readAheadCount_ || mark != readAheadMark_) {
    DropReadAhead();
    readAheadCount_ = count;
    readAheadMark_ = mark;
  }
  if (recno > count) return false;
  const auto [width, perBlock, block, at] = SlotOf(recno);
  const std::size_t blockBytes = perBlock * width;
  if ((block + 1) * blockBytes > kReadAheadMaxBytes) return false;
  if (block >= readAheadRound_.size()) {
    readAheadRound_.resize(block + 1, 0);
    readAheadLength_.resize(block + 1, 0);
  }
  char* bytes = nullptr;
  if (readAheadRound_[block] != round_ || at + width > readAheadLength_[block]) {
    // A writer locks its record before it changes the index and lets it go after
    // the record is written: a block with a record locked elsewhere may hold a
    // record older than the index, so it is not kept (asked before reading, so that
    // a writer that starts later changes the index's mark, which drops the block).
    const long first = static_cast<long>(block * perBlock) + 1;
    const long last = first + static_cast<long>(perBlock) - 1;
    const std::int64_t lockFrom = (flags_ & 0x01) ? RecordLockOffset(last) : RecordLockOffset(first);
    const std::int64_t lockTo = (flags_ & 0x01) ? RecordLockOffset(first) : RecordLockOffset(last);
    if (file_->LockedElsewhere(lockFrom, lockTo - lockFrom + 1)) {
      readAheadRound_[block] = 0;
      return false;
    }
    if (readAheadSize_ < (block + 1) * blockBytes) {
      // Room for the whole table at once (walks in key order reach every block),
      // up to the limit; blocks already read move along.
      const std::size_t blocks = (static_cast<std::size_t>(count) + perBlock - 1) / perBlock;
      const std::size_t size = std::max(block + 1, std::min(blocks, kReadAheadMaxBytes / blockBytes)) * blockBytes;
      Buffer grown(size);
      if (!grown.get()) return false;
      if (readAheadSize_ > 0) std::copy_n(readAhead_.get(), readAheadSize_, grown.get());
      readAhead_ = std::move(grown);
      readAheadSize_ = size;
    }
    bytes = readAhead_.get() + block * blockBytes;
    const std::int64_t offset = headerLength_ + static_cast<std::int64_t>(block * blockBytes);
    const std::size_t got = file_->ReadSome(offset, bytes, blockBytes);
    readAheadRound_[block] = round_;
    readAheadLength_[block] = static_cast<std::uint32_t>(got / width * width);
    if (at + width > readAheadLength_[block]) return false;
  } else {
    bytes = readAhead_.get() + block * blockBytes;
  }
  out.assign(bytes + at, width);
  return true;
}

// Asks the memory for a record's bytes among the blocks read ahead, so that a walk
// in key order (which meets the records in no order of theirs) waits for one while it
// steps to the ones before it. Reads nothing and changes nothing.
void Table::PrefetchAhead(long recno) const {
  if (recno < 1 || recno > readAheadCount_) return;
  const auto [width, perBlock, block, at] = SlotOf(recno);
  if (block >= readAheadRound_.size() || readAheadRound_[block] != round_ || at + width > readAheadLength_[block])
    return;
  const char* bytes = readAhead_.get() + block * perBlock * width + at;
  PrefetchBytes(bytes, width);
}

int Table::LoadRecord(long recno, bool walking) {
  const bool ahead = walking && ReadAhead(recno, scratch_);
  if (!ahead && !ReadRecord(recno, scratch_)) return kErrorRecord;
  readAheadRecord_ = ahead;
  record_.swap(scratch_);
  original_ = record_;
  changed_ = false;
  appending_ = false;
  ForgetMemos();
  recno_ = recno;
  eof_ = false;
  bof_ = false;
  return kSuccess;
}

void Table::BlankBuffer() {
  record_.assign(static_cast<std::size_t>(RecordLength()), ' ');
  for (std::size_t i = 0; i < layout_.fields.size(); ++i) {
    const FieldLayout& f = layout_.fields[i];
    std::fill_n(record_.begin() + f.offset, f.length, BlankByte(f, memoWidth_[i]));
  }
  ForgetMemos();
}

// Pending and read memo texts belong to the record in the buffer; their strings keep
// their room for the next record.
void Table::ForgetMemos() {
  if (memos_.size() != layout_.fields.size()) memos_.resize(layout_.fields.size());
  if (pendingMemos_ > 0 || memoPrefetched_ || anyMemoCached_) {
    for (MemoSlot& slot : memos_) {
      slot.pending = false;
      slot.cached = false;
    }
  }
  pendingMemos_ = 0;
  anyMemoCached_ = false;
  memoPrefetched_ = false;
}

void Table::CacheMemo(int field, std::string text) {
  memos_[field].text = std::move(text);
  memos_[field].cached = true;
  anyMemoCached_ = true;
}

void Table::SetEofState() {
  recno_ = count_ + 1;
  eof_ = true;
  appending_ = false;
  BlankBuffer();
  original_ = record_;
  changed_ = false;
}

bool Table::IsMemo(int field) const { return memoWidth_[field] != 0; }

std::string Table::MemoOf(std::string_view record, const FieldLayout& field) {
  int width = MemoPointerWidth(field);
  if (!memo_ || width == 0 || field.offset + field.length > static_cast<int>(record.size())) return "";
  std::uint32_t block = 0;
  std::string text;
  bool pointer = ParseMemoPointer(record.substr(field.offset, field.length), block);
  if (pointer && block == 0) return text;
  if (!pointer || memo_->Read(block, text) != kSuccess) ReportDamage(kErrorMemo);
  return text;
}

// A damaged memo reads as "" and leaves the memo code pending in the context, where
// the caller finds it with code4errorCode (a code already pending is kept).
void Table::ReportDamage(int code) {
  Context* context = Registry::Get().FindContext(code_);
  if (context && context->errorCode == kSuccess) context->errorCode = code;
}

// The memos of one record usually lie side by side (they are written together):
// the first memo asked for reads the whole stretch at once.
void Table::PrefetchMemos() {
  memoPrefetched_ = true;
  if (!memo_) return;
  std::vector<std::uint32_t>& blocks = memoBlocks_;
  blocks.assign(layout_.fields.size(), 0);
  std::uint32_t low = 0xFFFFFFFFu;
  std::uint32_t high = 0;
  int found = 0;
  for (int f = 0; f < FieldCount(); ++f) {
    if (!memoWidth_[f] || memos_[f].pending) continue;
    const FieldLayout& field = layout_.fields[f];
    std::uint32_t block = 0;
    if (!ParseMemoPointer(std::string_view(record_).substr(field.offset, field.length), block)) continue;
    if (block == 0) {
      CacheMemo(f, std::string());
      continue;
    }
    blocks[f] = block;
    ++found;
    low = std::min(low, block);
    high = std::max(high, block);
  }
  if (found == 0) return;
  const std::uint64_t bs = static_cast<std::uint64_t>(memo_->BlockSize());
  const std::uint64_t span = (static_cast<std::uint64_t>(high) - low) * bs + 1024;
  if (span > 65536 || static_cast<std::uint64_t>(low) * bs < kFptHeaderSize) return;
  memoSpan_.resize(static_cast<std::size_t>(span));
  memoSpan_.resize(memo_->File().ReadSome(static_cast<std::int64_t>(low * bs), memoSpan_.data(), memoSpan_.size()));
  for (int f = 0; f < FieldCount(); ++f) {
    if (blocks[f] == 0) continue;
    MemoSlot& slot = memos_[f];
    if (MemoFile::ParseRun(memoSpan_, static_cast<std::size_t>((blocks[f] - low) * bs), slot.text)) {
      slot.cached = true;
      anyMemoCached_ = true;
    }
  }
}

std::string Table::MemoText(int field) {
  const MemoSlot& slot = memos_[field];
  if (slot.pending) return slot.text;
  if (!memoPrefetched_) PrefetchMemos();
  if (slot.cached) return slot.text;
  CacheMemo(field, MemoOf(record_, layout_.fields[field]));
  return slot.text;
}

int Table::SetMemo(int field, std::string_view text) {
  if (!IsMemo(field)) return kErrorField;
  if (!appending_ && (eof_ || recno_ == 0)) return kErrorRecord;
  if (readOnly_) return kErrorAccess;
  MemoSlot& slot = memos_[field];
  slot.text.assign(text.data(), text.size());
  slot.cached = false;
  if (!slot.pending) ++pendingMemos_;
  slot.pending = true;
  changed_ = true;
  return kSuccess;
}

char* Table::MutableRecord() {
  changed_ = true;
  return record_.data();
}

// --- writing ----------------------------------------------------------------

int Table::LockHeader() {
  std::int64_t at = (flags_ & 0x01) ? kVfpHeaderByte : kFoxHeaderByte;
  return file_->Lock(this, at, 1, kWriteWaitMs);
}

void Table::UnlockHeader() {
  std::int64_t at = (flags_ & 0x01) ? kVfpHeaderByte : kFoxHeaderByte;
  file_->Unlock(this, at, 1);
}

int Table::WriteRecord(long recno, std::string_view bytes) {
  std::int64_t offset = headerLength_ + static_cast<std::int64_t>(recno - 1) * RecordLength();
  PatchReadAhead(recno, bytes);
  return file_->Write(offset, bytes) ? kSuccess : kErrorWrite;
}

// Writes the memo texts assigned to the buffer and stores their block numbers in
// record. before holds the pointers as they are on disk (runs that may be reused).
// The caller holds the header lock, which serialises memo allocation.
int Table::StorePendingMemos(std::string& record, std::string_view before) {
  if (pendingMemos_ == 0) return kSuccess;
  if (!memo_) return kErrorMemo;
  puts_.clear();
  for (int field = 0; field < FieldCount(); ++field) {
    if (!memos_[field].pending) continue;
    const FieldLayout& f = layout_.fields[field];
    MemoFile::Put put;
    put.text = memos_[field].text;
    if (!before.empty()) ParseMemoPointer(before.substr(f.offset, f.length), put.oldBlock);
    puts_.push_back(put);
  }
  int code = memo_->Write(puts_, HoldsFileLock());
  if (code != kSuccess) return code;
  std::size_t i = 0;
  for (int field = 0; field < FieldCount(); ++field) {
    if (!memos_[field].pending) continue;
    const FieldLayout& f = layout_.fields[field];
    FormatMemoPointer(puts_[i++].newBlock, record.data() + f.offset, memoWidth_[field]);
  }
  return kSuccess;
}

// The record that points at the stored memos is written: they are its memos now.
void Table::MemosStored() {
  if (pendingMemos_ == 0) return;
  for (MemoSlot& slot : memos_) {
    if (!slot.pending) continue;
    slot.pending = false;
    slot.cached = true;
  }
  anyMemoCached_ = true;
  pendingMemos_ = 0;
}

// The record could not be written: its new memo runs go again, and its memos stay
// pending for another try.
void Table::UnstoreMemos() {
  if (pendingMemos_ > 0 && memo_) memo_->TakeBack();
}

// The record is written inside the index's marked update (see TableIndex::Replace):
// under the record's lock, and under the header lock first when memos go out, so that
// every writer takes the header lock before the index lock.
int Table::WriteBack() {
  if (!changed_ || appending_ || eof_ || recno_ < 1) return kSuccess;
  if (readOnly_) return kErrorAccess;
  std::int64_t lockAt = RecordLockOffset(recno_);
  int code = file_->Lock(this, lockAt, 1, kWriteWaitMs);
  if (code != kSuccess) return code;
  const bool memos = pendingMemos_ > 0;
  if (memos) {
    code = LockHeader();
    if (code != kSuccess) {
      file_->Unlock(this, lockAt, 1);
      return code;
    }
  }
  bool ran = false;
  auto write = [&]() -> int {
    ran = true;
    int written = StorePendingMemos(record_, original_);
    if (written != kSuccess) return written;
    written = WriteRecord(recno_, record_);
    if (written == kSuccess) {
      MemosStored();
    } else {
      UnstoreMemos();
    }
    return written;
  };
  code = index_ ? index_->Replace(recno_, original_, record_, write) : write();
  if (memos) UnlockHeader();
  file_->Unlock(this, lockAt, 1);
  if (code != kSuccess && !ran) {
    // The index refused the change (a unique tag, a key it cannot compute, damage):
    // the record stays as it is on disk.
    record_ = original_;
    ForgetMemos();
    changed_ = false;
    return code;
  }
  if (code != kSuccess) return code;
  original_ = record_;
  changed_ = false;
  return kSuccess;
}

int Table::AppendStart(int /*useMemoEntries*/) {
  int code = WriteBack();
  if (code != kSuccess) return code;
  if (readOnly_) return kErrorAccess;
  BlankBuffer();
  original_ = record_;
  appending_ = true;
  changed_ = false;
  eof_ = false;
  bof_ = false;
  return kSuccess;
}

int Table::Blank() {
  if (!appending_ && (eof_ || recno_ < 1)) return kErrorRecord;
  char deleted = record_[0];
  BlankBuffer();
  record_[0] = deleted;
  // Blank memos: the pointers are blank now; pending "" keeps the old run untouched.
  changed_ = true;
  return kSuccess;
}

// The record goes to the end under the header lock: re-read the count (another
// process may have appended), let the index refuse it, then inside the index's
// marked update write its memos, the record with the end-of-file mark after it and
// the new count, before the index's own pages; let the lock go. So every append is
// on disk, count included, before d4append returns, and a process killed midway
// leaves the index marked (a reindex mends it) rather than entries for a record
// that was never counted. Under this handle's file lock (d4lockAll) nobody else can
// append or allocate memo blocks, so the count and the memo header are not read again.
int Table::Append() {
  if (!appending_) return kErrorRecord;
  if (readOnly_) return kErrorAccess;
  const bool exclusive = HoldsFileLock();
  int code = kSuccess;
  long count = count_;
  if (!exclusive) {
    code = LockHeader();
    if (code != kSuccess) return code;
    code = ReadHeaderCount(count);
    if (code == kSuccess && count != count_ && index_) index_->Refresh();
  }
  const long recno = count + 1;
  std::string& record = record_;
  if (record[0] != '*') record[0] = ' ';
  auto write = [&]() -> int {
    int written = StorePendingMemos(record, std::string_view());
    if (written != kSuccess) return written;
    record.push_back('\x1A');
    written = WriteRecord(recno, record);
    record.pop_back();
    if (written == kSuccess && !file_->WriteHead(1, HeaderDateAndCount(recno))) written = kErrorWrite;
    if (written != kSuccess) {
      // Nothing beyond the count may stay behind (an open would take it for damage),
      // nor the memo runs that only this record named.
      const std::int64_t end = headerLength_ + static_cast<std::int64_t>(count) * RecordLength();
      if (file_->Write(end, "\x1A")) file_->Truncate(end + 1);
      UnstoreMemos();
    } else {
      MemosStored();
    }
    return written;
  };
  if (code == kSuccess) code = index_ ? index_->Insert(recno, record, write) : write();
  if (!exclusive) UnlockHeader();
  if (code != kSuccess) return code;
  count_ = recno;
  recno_ = recno;
  original_ = record_;
  appending_ = false;
  changed_ = false;
  eof_ = false;
  bof_ = false;
  return kSuccess;
}

int Table::SetDeleted(bool deleted) {
  if (!appending_ && (eof_ || recno_ < 1)) return kErrorRecord;
  if (readOnly_) return kErrorAccess;
  char mark = deleted ? '*' : ' ';
  if (record_[0] != mark) {
    record_[0] = mark;
    changed_ = true;
  }
  return kSuccess;
}

int Table::LockFileForWrite(bool& took) {
  took = false;
  std::int64_t start = (flags_ & 0x01) ? kVfpFileStart : kFoxHeaderByte;
  std::int64_t length = (flags_ & 0x01) ? kVfpFileLength : kFoxFileLength;
  if (file_->Holds(this, start, length)) return kSuccess;
  int code = file_->Lock(this, start, length, kWriteWaitMs);
  took = code == kSuccess;
  if (took && memo_) memo_->Forget();
  return code;
}

// Yields records first..last in order for an index rebuild, reading them in
// stretches (one system call per stretch, not per record).
std::function<bool(long&, std::string&)> Table::RecordsInStretches(long last) {
  struct State {
    long next = 1;
    long last = 0;
    long chunkFirst = 1;
    long chunkCount = 0;
    std::string chunk;
  };
  auto state = std::make_shared<State>();
  state->last = last;
  return [this, state](long& recno, std::string& record) {
    State& st = *state;
    if (st.next > st.last) return false;
    const std::size_t width = static_cast<std::size_t>(RecordLength());
    if (st.next >= st.chunkFirst + st.chunkCount) {
      const long n = std::min<long>(std::max<long>(1, 65536 / RecordLength()), st.last - st.next + 1);
      st.chunk.resize(static_cast<std::size_t>(n) * width);
      if (!file_->Read(headerLength_ + static_cast<std::int64_t>(st.next - 1) * RecordLength(), st.chunk.data(),
                       st.chunk.size()))
        return false;
      st.chunkFirst = st.next;
      st.chunkCount = n;
    }
    record.assign(st.chunk, static_cast<std::size_t>(st.next - st.chunkFirst) * width, width);
    recno = st.next++;
    return true;
  };
}

int Table::Pack() {
  DropReadAhead();
  int code = BulkAppend(false);  // a pack ends a bulk copy first: it moves the records the tags name
  if (code == kSuccess) code = WriteBack();
  if (code != kSuccess) return code;
  if (readOnly_) return kErrorAccess;
  // Records move before the index is rebuilt: an index that could not follow them
  // (a tag whose key cannot be evaluated here) would be left pointing at the old
  // numbers, so such a pack is refused before any record is touched.
  if (index_) {
    code = index_->CanRebuild();
    if (code != kSuccess) return code;
  }
  bool took = false;
  code = LockFileForWrite(took);
  if (code != kSuccess) return code;
  std::int64_t start = (flags_ & 0x01) ? kVfpFileStart : kFoxHeaderByte;
  std::int64_t length = (flags_ & 0x01) ? kVfpFileLength : kFoxFileLength;

  long count = count_;
  code = ReadHeaderCount(count);
  // With an index the pack is journalled: the index is marked for the whole pack;
  // records up to the first deleted one stay; the kept ones after it go first
  // beyond the count, complete, then the journal notes them, then they are copied
  // down into place, the count and the end go in and the rebuild clears the mark.
  // A pack killed before the note leaves the table as it was (a reindex cuts off
  // what lies beyond the count); after it, the reindex finishes the move. Without an
  // index records move down in place.
  TableIndex* journal = index_.get();
  bool held = false;
  if (code == kSuccess && journal && journal->CutShort()) {
    // A writer killed earlier: its pack is finished and its uncounted records go first.
    code = FinishPack(*journal);
    if (code == kSuccess) code = CutTail();
    if (code == kSuccess) code = ReadHeaderCount(count);
  }
  if (code == kSuccess && journal) {
    code = journal->Hold();
    held = code == kSuccess;
  }
  const std::size_t width = static_cast<std::size_t>(RecordLength());
  const std::int64_t tail = headerLength_ + static_cast<std::int64_t>(count) * RecordLength();
  constexpr std::size_t kChunkRecords = 8192;
  std::string chunk;
  std::string kept;
  long keptCount = 0;
  long first = -1;  // 0-based place of the first deleted record
  std::int64_t moved = 0;  // bytes of the records after it that are kept
  for (long at = 1; code == kSuccess && at <= count; at += static_cast<long>(kChunkRecords)) {
    long n = std::min<long>(static_cast<long>(kChunkRecords), count - at + 1);
    chunk.resize(static_cast<std::size_t>(n) * width);
    if (!file_->Read(headerLength_ + static_cast<std::int64_t>(at - 1) * RecordLength(), chunk.data(),
                     chunk.size())) {
      code = kErrorRead;
      break;
    }
    kept.clear();
    for (long i = 0; i < n; ++i) {
      const char* rec = chunk.data() + static_cast<std::size_t>(i) * width;
      if (rec[0] == '*') {
        if (first < 0) first = keptCount;
      } else {
        if (first >= 0) kept.append(rec, width);
        ++keptCount;
      }
    }
    if (kept.empty()) continue;
    // Never past where they were read, in place; beyond the count, journalled.
    const std::int64_t to = journal ? tail + moved
                                    : headerLength_ + static_cast<std::int64_t>(first) * RecordLength() + moved;
    if (!file_->Write(to, kept)) code = kErrorWrite;
    moved += static_cast<std::int64_t>(kept.size());
  }
  if (first < 0) first = keptCount;
  bool counted = false;
  long renumbered = 0;  // kept records the new tags were made from
  auto move = [&]() -> int {
    if (index_ && renumbered != keptCount) return kErrorRead;  // a read fell short
    int moving = kSuccess;
    if (journal && moved > 0) {
      moving = journal->Note(first, keptCount);
      if (moving == kSuccess) moving = MoveDown(first, tail, moved);
    }
    if (moving != kSuccess) return moving;
    // The smaller count goes in before the file shrinks, so that a reader never finds
    // a count the file cannot hold.
    counted = true;
    moving = SetCount(keptCount);
    if (moving == kSuccess) count_ = keptCount;
    return moving;
  };
  if (code == kSuccess && index_) {
    // The new tags are made from the kept records where they lie now, and their
    // space is taken, before any record moves: a disk too full for them leaves the
    // table as it was.
    auto records = RecordsInStretches(count);
    auto keptRecords = [&](long& recno, std::string& record) {
      long at = 0;
      while (records(at, record)) {
        if (record[0] == '*') continue;
        recno = ++renumbered;
        return true;
      }
      return false;
    };
    code = index_->Rebuild(keptRecords, keptCount, move);
  } else if (code == kSuccess) {
    code = move();
  }
  // Not journalled yet, what went beyond the count goes and the table is as it was;
  // once journalled the mark stays for the reindex that finishes the move.
  long noted = 0, total = 0;
  const bool unchanged = code != kSuccess && journal && !counted && !journal->Noted(noted, total);
  if (unchanged && moved > 0) CutTail();
  if (held) journal->Release(unchanged);
  if (took) file_->Unlock(this, start, length);
  recno_ = 0;
  eof_ = false;
  bof_ = false;
  appending_ = false;
  BlankBuffer();
  original_ = record_;
  changed_ = false;
  return code;
}

// Also the way to mend an index that refused to open (damaged, or marked by a
// writer that was killed): a table opened without its index (code4autoOpen 0) whose
// header names a production index rebuilds that index from the tag definitions the
// file still holds, and keeps it open from then on.
int Table::RebuildIndex() {
  int code = BulkAppend(false);  // so does a reindex (it is one)
  if (code == kSuccess) code = WriteBack();
  if (code != kSuccess) return code;
  std::string cdx;
  if (!index_) {
    bool exists = false;
    if (!(flags_ & 0x01)) return kSuccess;
    cdx = SiblingFile(path_, ".cdx", &exists);
    if (!exists) return kSuccess;
    if (readOnly_) return kErrorAccess;
  }
  bool took = false;
  code = LockFileForWrite(took);
  if (code != kSuccess) return code;
  std::unique_ptr<TableIndex> found;
  if (!index_) found = OpenProductionIndex(cdx, layout_, code, true);
  TableIndex* index = index_ ? index_.get() : found.get();
  if (index) {
    // Under the file lock a mark is a dead writer's, and whatever it left beyond the
    // count goes (an append is part of the table once its count is written).
    if (index->CutShort()) {
      code = FinishPack(*index);
      if (code == kSuccess) code = CutTail();
    }
    const long count = RecCount();
    auto records = RecordsInStretches(count);
    long yielded = 0;
    auto counted = [&](long& recno, std::string& record) {
      if (!records(recno, record)) return false;
      ++yielded;
      return true;
    };
    auto whole = [&] { return yielded == count ? kSuccess : kErrorRead; };  // a read fell short
    if (code == kSuccess) code = index->Rebuild(counted, count, whole);
    if (code == kSuccess && found) {
      index_ = std::move(found);
      cdxPath_ = cdx;
    }
  }
  if (took) {
    file_->Unlock(this, (flags_ & 0x01) ? kVfpFileStart : kFoxHeaderByte,
                  (flags_ & 0x01) ? kVfpFileLength : kFoxFileLength);
  }
  return code;
}

// Cuts the file back to its counted records and the end-of-file mark (under the
// file lock).
int Table::CutTail() {
  long count = 0;
  unsigned char b[4];
  if (!file_->Read(4, b, 4)) return kErrorRead;
  count = static_cast<long>(ReadLe32(b));
  const std::int64_t end = headerLength_ + static_cast<std::int64_t>(count) * RecordLength();
  const std::int64_t size = file_->Size();
  if (size <= end + 1) return kSuccess;
  if (!file_->Write(end, "\x1A") || !file_->Truncate(end + 1)) return kErrorWrite;
  DropReadAhead();
  return kSuccess;
}

// Copies bytes records' bytes from the file offset from down to where record first
// + 1 starts, a stretch at a time (the source lies beyond the count, never under
// what is written).
int Table::MoveDown(long first, std::int64_t from, std::int64_t bytes) {
  const std::int64_t to = headerLength_ + static_cast<std::int64_t>(first) * RecordLength();
  constexpr std::int64_t kStretch = 1 << 20;
  std::string stretch;
  for (std::int64_t done = 0; done < bytes; done += kStretch) {
    stretch.resize(static_cast<std::size_t>(std::min(kStretch, bytes - done)));
    if (!file_->Read(from + done, stretch.data(), stretch.size())) return kErrorRead;
    if (!file_->Write(to + done, stretch)) return kErrorWrite;
  }
  DropReadAhead();
  return kSuccess;
}

// Writes a smaller count, then the end mark after the counted records, and cuts
// the file there.
int Table::SetCount(long count) {
  const std::int64_t end = headerLength_ + static_cast<std::int64_t>(count) * RecordLength();
  if (!file_->Write(1, HeaderDateAndCount(count)) || !file_->Write(end, "\x1A") || !file_->Truncate(end + 1))
    return kErrorWrite;
  return kSuccess;
}

// A pack killed after its journal was noted: the kept records still lie complete
// beyond the count (until the new count is written), and are moved into place.
int Table::FinishPack(TableIndex& index) {
  long first = 0, kept = 0;
  if (!index.Noted(first, kept)) return kSuccess;
  unsigned char b[4];
  if (!file_->Read(4, b, 4)) return kErrorRead;
  const long count = static_cast<long>(ReadLe32(b));
  if (count == kept) return kSuccess;  // moved already; CutTail does the rest
  const std::int64_t from = headerLength_ + static_cast<std::int64_t>(count) * RecordLength();
  const std::int64_t bytes = static_cast<std::int64_t>(kept - first) * RecordLength();
  if (first < 0 || kept < first || kept > count || file_->Size() < from + bytes) return kErrorDamaged;
  int code = MoveDown(first, from, bytes);
  if (code == kSuccess) code = SetCount(kept);
  return code;
}

// Copies every live memo into a fresh memo file (the space of abandoned runs is
// given back), rewriting each record's pointers, under the file lock.
int Table::MemoCompress() {
  int code = WriteBack();
  if (code != kSuccess || !memo_) return code;
  if (readOnly_) return kErrorAccess;
  bool took = false;
  code = LockFileForWrite(took);
  if (code != kSuccess) return code;
  long count = RecCount();
  std::vector<std::string> records(static_cast<std::size_t>(count));
  std::vector<std::vector<std::string>> texts(static_cast<std::size_t>(count));
  for (long r = 1; code == kSuccess && r <= count; ++r) {
    std::string& rec = records[static_cast<std::size_t>(r - 1)];
    if (!ReadRecord(r, rec)) {
      code = kErrorRead;
      break;
    }
    for (std::size_t f = 0; f < layout_.fields.size(); ++f) {
      if (!memoWidth_[f]) continue;
      texts[static_cast<std::size_t>(r - 1)].push_back(MemoOf(rec, layout_.fields[f]));
    }
  }
  if (code == kSuccess) {
    // Another writer's larger header (a marker and its free-block list after the
    // first 512 bytes, where a memo block would start with a small type word) names
    // blocks that compression would move: such a file is left as it is.
    unsigned char word[4] = {0, 0, 0, 0};
    memo_->File().ReadSome(kFptHeaderSize, word, sizeof word);
    const bool foreignHeader = word[0] != 0 || word[1] != 0 || word[2] != 0 || word[3] > 2;
    if (!foreignHeader) code = LockHeader();
    if (code == kSuccess && !foreignHeader) {
      code = memo_->Reset(kFptHeaderSize);
      for (long r = 1; code == kSuccess && r <= count; ++r) {
        std::string& rec = records[static_cast<std::size_t>(r - 1)];
        std::vector<MemoFile::Put> puts;
        for (const std::string& text : texts[static_cast<std::size_t>(r - 1)]) {
          MemoFile::Put put;
          put.text = text;
          puts.push_back(put);
        }
        code = memo_->Write(puts);
        std::size_t k = 0;
        for (std::size_t f = 0; code == kSuccess && f < layout_.fields.size(); ++f) {
          if (!memoWidth_[f]) continue;
          FormatMemoPointer(puts[k++].newBlock, rec.data() + layout_.fields[f].offset, memoWidth_[f]);
        }
        if (code == kSuccess) code = WriteRecord(r, rec);
      }
      UnlockHeader();
    }
  }
  if (took) {
    file_->Unlock(this, (flags_ & 0x01) ? kVfpFileStart : kFoxHeaderByte,
                  (flags_ & 0x01) ? kVfpFileLength : kFoxFileLength);
  }
  if (recno_ >= 1 && !eof_ && !appending_) LoadRecord(recno_);
  return code;
}

// --- position ---------------------------------------------------------------

int Table::PositionAt(long recno) {
  DropReadAhead();
  int code = WriteBack();
  if (code != kSuccess) return code;
  if (recno <= 0) {
    RecCount();
    SetEofState();
    bof_ = count_ == 0;
    return kEof;
  }
  return LoadRecord(recno);
}

bool Table::MatchesItsEntry(int tag) const {
  // A record from the blocks read ahead needs no check while the index has not
  // changed from the state the move read to now: its block was read after that state
  // began, at a moment when none of its records was locked, and any later writer
  // would have changed the index's mark before writing a record.
  if (readAheadRecord_ && readAheadMark_ == index_->SyncedMark() && index_->ChangeMark() == readAheadMark_)
    return true;
  return index_->EntryMatches(tag, recno_, record_);
}

// The record in the buffer differs from the entry that led to it.
int Table::SettleTagRecord(int tag, const Refind& again) {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
  for (;;) {
    if (index_->Unchanged()) {
      // The index is as the move read it: a writer that changed the entry still
      // holds the record's lock until it has written the record. Its bytes are read
      // again until they match or the lock goes (d4lock may keep it longer).
      const std::int64_t lockAt = RecordLockOffset(recno_);
      bool locked = file_->LockedElsewhere(lockAt, 1);
      // A stale entry nobody is changing is not ours to mend: the record as it is.
      if (!locked) return kSuccess;
      while (locked && Clock::now() < until && index_->Unchanged()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        locked = file_->LockedElsewhere(lockAt, 1);
        int code = LoadRecord(recno_);
        if (code != kSuccess) return code;
        if (index_->EntryMatches(tag, recno_, record_)) return kSuccess;
      }
      if (index_->Unchanged()) return kSuccess;
    }
    if (Clock::now() >= until) return kSuccess;
    // The index has moved on since the move read it (the record may have been
    // changed again, or written after the entry was read): the place is found anew
    // from the entry that led here.
    const std::string entry = index_->CursorKey(tag, recno_);
    if (entry.empty()) return kSuccess;
    const long recno = again(entry, recno_);
    if (index_->Error() != kSuccess) return index_->Error();
    if (recno == 0) return kEof;
    int code = LoadRecord(recno);
    if (code != kSuccess) return code;
    if (index_->EntryMatches(tag, recno_, record_)) return kSuccess;
  }
}

int Table::Top() {
  DropReadAhead();
  int code = WriteBack();
  if (code != kSuccess) return code;
  RecCount();
  if (index_) index_->Refresh();
  long first = 0;
  if (index_ && selectedTag_ >= 0) {
    first = index_->First(selectedTag_);
  } else {
    first = count_ >= 1 ? 1 : 0;
  }
  if (first == 0) {
    SetEofState();
    bof_ = true;
    return kEof;
  }
  code = LoadRecord(first);
  if (code != kSuccess || !index_ || selectedTag_ < 0) return code;
  if (MatchesItsEntry(selectedTag_)) return kSuccess;
  code = SettleTagRecord(selectedTag_, [this](const std::string&, long) { return index_->First(selectedTag_); });
  if (code == kEof) {
    SetEofState();
    bof_ = true;
  }
  return code;
}

int Table::Bottom() {
  DropReadAhead();
  int code = WriteBack();
  if (code != kSuccess) return code;
  RecCount();
  if (index_) index_->Refresh();
  long last = 0;
  if (index_ && selectedTag_ >= 0) {
    last = index_->Last(selectedTag_);
  } else {
    last = count_;
  }
  if (last == 0) {
    SetEofState();
    bof_ = true;
    return kEof;
  }
  code = LoadRecord(last);
  if (code != kSuccess || !index_ || selectedTag_ < 0) return code;
  if (MatchesItsEntry(selectedTag_)) return kSuccess;
  code = SettleTagRecord(selectedTag_, [this](const std::string&, long) { return index_->Last(selectedTag_); });
  if (code == kEof) {
    SetEofState();
    bof_ = true;
  }
  return code;
}

int Table::Go(long recno) {
  DropReadAhead();
  int code = WriteBack();
  if (code != kSuccess) return code;
  if (recno < 1) return kErrorRecord;
  if (recno > count_ && RecCount() < recno) return kErrorRecord;
  return LoadRecord(recno);
}

int Table::GoEof() {
  int code = WriteBack();
  if (code != kSuccess) return code;
  RecCount();
  SetEofState();
  bof_ = count_ == 0;
  return kEof;
}

int Table::NaturalSkip(long count) {
  long target = recno_ + count;
  if (target > count_) RecCount();
  if (count_ == 0) {
    SetEofState();
    bof_ = true;
    return count > 0 ? kEof : kBof;
  }
  if (target > count_) {
    SetEofState();
    return kEof;
  }
  if (target < 1) {
    int code = LoadRecord(1);
    if (code != kSuccess) return code;
    bof_ = true;
    return kBof;
  }
  return LoadRecord(target, true);
}

int Table::TagSkip(long count) {
  while (count != 0) {
    const int direction = count > 0 ? 1 : -1;
    long next = direction > 0 ? index_->Next(selectedTag_, recno_, record_) : index_->Prev(selectedTag_, recno_, record_);
    int code = kEof;
    if (next != 0) {
      code = LoadRecord(next, true);
      if (code != kSuccess) return code;
      PrefetchAhead(index_->Upcoming(selectedTag_, direction, kPrefetchDistance));
      if (!MatchesItsEntry(selectedTag_)) {
        code = SettleTagRecord(selectedTag_, [this, direction](const std::string& key, long recno) {
          return index_->Reposition(selectedTag_, key, recno, direction);
        });
        if (code != kSuccess && code != kEof) return code;
      }
    }
    if (code == kEof) {
      if (direction > 0) {
        RecCount();
        SetEofState();
        return kEof;
      }
      bof_ = true;
      return kBof;
    }
    count -= direction;
  }
  return kSuccess;
}

int Table::Skip(long count) {
  if (appending_) {
    // Leaving a record that was started but not appended drops it; the skip goes
    // from where the table was before.
    appending_ = false;
    changed_ = false;
    if (recno_ < 1) return kErrorRecord;
    if (recno_ > count_ || LoadRecord(recno_) != kSuccess) SetEofState();
  }
  int code = WriteBack();
  if (code != kSuccess) return code;
  const bool tagged = index_ && selectedTag_ >= 0;
  if (eof_) {
    if (count >= 0) return kEof;
    code = Bottom();
    if (code != kSuccess) return code == kEof ? kBof : code;
    ++count;
  }
  if (recno_ < 1) return kErrorRecord;
  if (count == 0) return LoadRecord(recno_);
  return tagged ? TagSkip(count) : NaturalSkip(count);
}

// --- locks ------------------------------------------------------------------

// A handle holds at most one record lock: locking another record gives the earlier
// one back (its changes were written when the handle moved off it). The system locks the
// current record before every assignment and never unlocks, so without this every
// record a program ever changed would stay locked against the others until close.
int Table::Lock(long recno) {
  if (recno < 1) return kErrorRecord;
  if (lockedRecord_ != recno) {
    int code = file_->Lock(this, RecordLockOffset(recno), 1);
    if (code != kSuccess) return code;
    // A changed record still in the buffer takes its own lock again when it is written.
    if (lockedRecord_ > 0) file_->Unlock(this, RecordLockOffset(lockedRecord_), 1);
    lockedRecord_ = recno;
  }
  // The system locks the current record before it changes it: a record that a walk
  // took from the blocks read ahead is read again now that nobody else can write it,
  // so that the change starts from what is on disk and loses no other writer's change.
  if (readAheadRecord_ && recno == recno_ && !changed_ && !appending_ && !eof_) {
    readAheadRecord_ = false;
    if (ReadRecord(recno, scratch_) && scratch_ != record_) {
      record_.swap(scratch_);
      original_ = record_;
      ForgetMemos();
    }
  }
  return kSuccess;
}

int Table::LockAll() {
  std::int64_t start = (flags_ & 0x01) ? kVfpFileStart : kFoxHeaderByte;
  std::int64_t length = (flags_ & 0x01) ? kVfpFileLength : kFoxFileLength;
  if (file_->Holds(this, start, length)) return kSuccess;
  int code = file_->Lock(this, start, length);
  if (code != kSuccess) return code;
  // From here on the count and the memo header change only through this handle.
  RecCount();
  if (memo_) memo_->Forget();
  // Nobody else can change the table now: its index lock is kept, not taken per row.
  if (index_) index_->Keep(true);
  return kSuccess;
}

int Table::BulkAppend(bool on) {
  if (!index_) return kSuccess;
  if (!on) {
    int code = WriteBack();
    const int rebuilt = index_->Resume(RecordsInStretches(count_), count_);
    return code != kSuccess ? code : rebuilt;
  }
  if (index_->Deferred()) return kSuccess;
  if (readOnly_) return kErrorAccess;
  if (!HoldsFileLock()) return kLocked;
  int code = WriteBack();
  if (code != kSuccess) return code;
  return index_->Defer();
}

int Table::Unlock() {
  int code = BulkAppend(false);
  const int written = WriteBack();
  if (code == kSuccess) code = written;
  if (index_) {
    int flushed = index_->Flush();
    if (code == kSuccess) code = flushed;
    index_->Keep(false);
  }
  file_->UnlockAll(this);
  lockedRecord_ = 0;
  return code;
}

int Table::Flush() {
  int code = WriteBack();
  if (index_) {
    int flushed = index_->Flush();
    if (code == kSuccess) code = flushed;
  }
  return code;
}

int Table::Close() {
  int code = BulkAppend(false);
  const int flushed = Flush();
  if (code == kSuccess) code = flushed;
  if (index_) index_->Keep(false);
  file_->UnlockAll(this);
  lockedRecord_ = 0;
  if (memo_) memo_->File().UnlockAll(this);
  return code;
}

}  // namespace xbase::detail
