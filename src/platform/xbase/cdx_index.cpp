#include "platform/xbase/cdx_index.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <numeric>
#include <optional>
#include <thread>
#include <unordered_set>

#include "platform/xbase/paths.h"
#include "platform/xbase/prefetch.h"
#include "platform/xbase/shared_file.h"

namespace xbase::detail {

namespace {

constexpr std::int64_t kLockOffset = 0x7FFFFFFE;
constexpr int kLockWaitMs = 10000;
constexpr int kMarkOffset = kCdxMarkOffset;
constexpr int kJournalFlagOffset = 29;  // a pack's kept records lie complete beyond the count
constexpr int kJournalOffset = 32;      // first moved record, kept count (LE)
constexpr int kUniqueMarkOffset = 24;  // tag header byte: 15 when duplicates refuse the write

// A page has to be read from the file while the index lock is not held: the
// operation starts over under the lock.
struct NeedLock {};
struct LockFailed {
  int code;
};

int CompareBytes(const char* a, const char* b, size_t m) {
  if (m <= 8) {
    // Short keys (most tags): one big-endian word compare instead of a call.
    std::uint64_t x = 0, y = 0;
    for (size_t k = 0; k < m; ++k) {
      x = x << 8 | static_cast<unsigned char>(a[k]);
      y = y << 8 | static_cast<unsigned char>(b[k]);
    }
    return x < y ? -1 : x > y ? 1 : 0;
  }
  return std::memcmp(a, b, m);
}

bool Less(const CdxNode& n, int i, int kl, std::string_view key, std::uint32_t recno, bool prefix) {
  const size_t m = std::min(key.size(), static_cast<size_t>(kl));
  int c = CompareBytes(n.keys.data() + static_cast<size_t>(i) * static_cast<size_t>(kl), key.data(), m);
  if (c != 0) return c < 0;
  if (prefix) return false;
  return n.recnos[static_cast<size_t>(i)] < recno;
}

std::string Pool(const unsigned char* h, int offset, int length) {
  const unsigned char* p = h + 512 + offset;
  int n = 0;
  while (n < length && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
}

}  // namespace

std::string TagName(std::string_view name) {
  std::string r;
  for (char c : name) {
    if (r.size() == 10) break;
    r += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  while (!r.empty() && r.back() == ' ') r.pop_back();
  return r;
}

CdxIndex::~CdxIndex() {
  if (file_ && lockDepth_ > 0) file_->Unlock(this, kLockOffset, 1);
}

// ---------------------------------------------------------------------------
// Locking, freshness, cache.

int CdxIndex::LockIndex() {
  if (lockDepth_ == 0) {
    int rc = file_->Lock(this, kLockOffset, 1, kLockWaitMs);
    if (rc != kSuccess) throw LockFailed{rc};
  }
  ++lockDepth_;
  return kSuccess;
}

void CdxIndex::UnlockIndex() {
  if (lockDepth_ > 0 && --lockDepth_ == 0) file_->Unlock(this, kLockOffset, 1);
}

// Other processes write a new record's keys just before the record itself: the
// table's header count tells which entries already have their record.
void CdxIndex::WatchTable() {
  bool exists = false;
  const std::string dbf = SiblingFile(file_->Path(), ".dbf", &exists);
  if (!exists) return;
  int code = kSuccess;
  table_ = SharedFile::Open(dbf, false, code);
  if (!table_ || table_->Size() < 32) return;
  dbfMap_.Open(table_->Descriptor(), false, 4096);
}

void CdxIndex::RefreshSize() {
  std::int64_t size = file_->Size();
  if (size < 1024 || size > 0x7FFFFE00) throw CdxDamaged("index size");
  physicalSize_ = static_cast<std::uint32_t>(size);
  fileSize_ = physicalSize_ / kPageSize * kPageSize;
  if (!map_.Cover(physicalSize_)) throw CdxDamaged("index cannot be mapped");
}

bool CdxIndex::ReadAt(std::uint32_t offset, void* to, std::size_t count) const {
  if (static_cast<std::uint64_t>(offset) + count > physicalSize_ || offset + count > map_.Length()) return false;
  std::memcpy(to, map_.At(offset), count);
  return true;
}

void CdxIndex::DropCache() {
  cache_.Clear();
  dirty_.clear();
  rawPages_.clear();
  headDirty_ = false;
  ++generation_;
}

void CdxIndex::Sync(bool force) {
  unsigned char h[32];
  if (!ReadAt(0, h, sizeof h)) throw CdxDamaged("index header unreadable");
  // A deferred bulk copy's own mark: the pages stand as they were before it.
  if (h[kMarkOffset] != 0 && !deferred_) {
    if (lockDepth_ == 0) throw NeedLock{};
    throw CdxDamaged("an update of the index was cut short");
  }
  const std::uint32_t counter = Be32(h + 8);
  if (!force && counter == counter_) {
    checkNext_ = false;
    return;
  }
  // Another writer has been at work: what it changed is read under the lock only,
  // so that no half-made change is taken for the new state.
  if (lockDepth_ == 0) throw NeedLock{};
  checkNext_ = false;
  std::memcpy(head_, h, sizeof h);
  counter_ = counter;
  freeHead_ = Le32(h + 4);
  RefreshSize();
  DropCache();
  directory_.root = Le32(h);
  // Another writer may have rebuilt the file: find every tag's header again.
  std::vector<std::pair<std::string, std::uint32_t>> names;
  std::function<void(std::string_view, long)> collect = [&](std::string_view key, long recno) {
    names.emplace_back(TagName(key), static_cast<std::uint32_t>(recno));
  };
  if (WalkTree(directory_, collect) != kSuccess) throw CdxDamaged("tag directory");
  for (auto& t : tags_) {
    auto it = std::find_if(names.begin(), names.end(), [&](const auto& n) { return n.first == t.desc.name; });
    if (it == names.end()) throw CdxDamaged("a tag disappeared from the index");
    t.header = it->second;
    unsigned char th[16];
    if (t.header % kPageSize != 0 || t.header + 1024 > fileSize_ || !ReadAt(t.header, th, sizeof th))
      throw CdxDamaged("tag header");
    if (Le16(th + 12) != t.desc.keyLength) throw CdxDamaged("tag key length changed");
    t.root = Le32(th);
    std::memcpy(t.headerBytes.data(), th, 4);
  }
}

CdxNode& CdxIndex::Load(const TagState& tag, std::uint32_t offset) {
  const int kl = tag.desc.keyLength;
  if (CdxNode* hit = cache_.Find(offset)) {
    if (hit->keyLen != kl) throw CdxDamaged("page shared by two tags");
    return *hit;
  }
  if (offset % kPageSize != 0 || offset < 1024 || offset > fileSize_ - kPageSize)
    throw CdxDamaged("page pointer outside the index");
  if (lockDepth_ == 0) throw NeedLock{};
  if (offset + kPageSize > map_.Length()) throw CdxDamaged("index page unreadable");
  CdxNode& node = cache_.Make(offset);
  try {
    DecodeNode(map_.At(offset), kl, tag.pad, node);
  } catch (...) {
    cache_.Erase(offset);
    throw;
  }
  node.offset = offset;
  node.keyLen = kl;
  node.pad = tag.pad;
  return node;
}

std::uint32_t CdxIndex::Allocate() {
  if (freeHead_ != 0 && freeHead_ != kNone) {
    const std::uint32_t off = freeHead_;
    if (off % kPageSize != 0 || off < 1024 || off > fileSize_ - kPageSize || cache_.Find(off))
      throw CdxDamaged("free page list");
    unsigned char next[4];
    auto raw = rawPages_.find(off);
    if (raw != rawPages_.end()) {
      std::memcpy(next, raw->second.data(), 4);
      rawPages_.erase(raw);
    } else if (!ReadAt(off, next, 4)) {
      throw CdxDamaged("free page unreadable");
    }
    freeHead_ = Le32(next);
    headDirty_ = true;
    return off;
  }
  if (fileSize_ > 0x7FFFF000u) throw CdxDamaged("index too large");
  const std::uint32_t off = fileSize_;
  fileSize_ += kPageSize;
  return off;
}

void CdxIndex::FreePage(std::uint32_t offset) {
  cache_.Erase(offset);
  std::string page(kPageSize, '\0');
  PutLe32(reinterpret_cast<unsigned char*>(page.data()), freeHead_ == kNone ? 0 : freeHead_);
  rawPages_[offset] = page;
  freeHead_ = offset;
  headDirty_ = true;
}

void CdxIndex::Commit() {
  if (dirty_.empty() && rawPages_.empty() && !headDirty_ && !marked_) return;
  Prepare();
  MarkUpdate();
  Publish();
}

void CdxIndex::Prepare() {
  if (dirty_.empty() && rawPages_.empty() && !headDirty_) return;
  if (!map_.Writable()) throw LockFailed{kErrorAccess};
  grownFrom_ = 0;
  if (fileSize_ > physicalSize_) {
    // New pages get their disk blocks before anything is written into the mapping.
    if (!file_->Grow(fileSize_) || !map_.Cover(fileSize_)) throw LockFailed{kErrorWrite};
    grownFrom_ = physicalSize_;
    physicalSize_ = fileSize_;
  }
  for (std::uint32_t off : dirty_) {
    CdxNode* hit = cache_.Find(off);
    if (!hit || !hit->dirty) continue;
    CdxNode& n = *hit;
    if (!n.imageValid) {
      EncodeNode(n, n.keyLen, n.pad, n.image.data());
      n.imageValid = true;
    }
    if (off + kPageSize > physicalSize_ || off + kPageSize > map_.Length()) throw LockFailed{kErrorWrite};
  }
  for (const auto& [off, bytes] : rawPages_)
    if (off + bytes.size() > physicalSize_ || off + bytes.size() > map_.Length()) throw LockFailed{kErrorWrite};
}

// Other processes see the mark and the new counter at once (the header is mapped):
// from here until Publish they wait for the lock, and a writer that dies leaves the
// mark behind.
void CdxIndex::MarkUpdate() {
  if (marked_) return;
  if (!map_.Writable() || map_.Length() < 32 || physicalSize_ < 32) throw LockFailed{kErrorAccess};
  ++counter_;
  PutBe32(head_ + 8, counter_);
  head_[kMarkOffset] = 1;
  std::memcpy(map_.MutableAt(0), head_, 32);
  marked_ = true;
}

void CdxIndex::Publish() {
  for (std::uint32_t off : dirty_) {
    CdxNode* hit = cache_.Find(off);
    if (!hit || !hit->dirty) continue;
    std::memcpy(map_.MutableAt(off), hit->image.data(), kPageSize);
    hit->dirty = false;
  }
  for (auto& [off, bytes] : rawPages_) std::memcpy(map_.MutableAt(off), bytes.data(), bytes.size());
  PutLe32(head_ + 4, freeHead_);
  head_[kMarkOffset] = 0;
  std::memcpy(map_.MutableAt(0), head_, 32);
  marked_ = false;
  grownFrom_ = 0;
  dirty_.clear();
  rawPages_.clear();
  headDirty_ = false;
  ++generation_;
}

void CdxIndex::Abandon() {
  if (marked_) {
    head_[kMarkOffset] = 0;
    std::memcpy(map_.MutableAt(0), head_, 32);
    marked_ = false;
  }
  // The pages Prepare added go again: nobody else has seen them (the lock is held).
  if (grownFrom_ != 0 && file_->Truncate(grownFrom_)) physicalSize_ = grownFrom_;
  grownFrom_ = 0;
  DropCache();
  checkNext_ = true;
  counter_ = ~counter_;
}

// The pages of one change go out around the data file's writes, under the mark.
int CdxIndex::Apply(WriteStep write) {
  Prepare();
  MarkUpdate();
  const int code = write();
  if (code != kSuccess) {
    Abandon();
    return code;
  }
  Publish();
  return kSuccess;
}

bool CdxIndex::CutShort() const { return map_.Length() >= 32 && map_.At(0)[kMarkOffset] != 0; }

int CdxIndex::Hold() {
  try {
    LockIndex();
  } catch (const LockFailed& f) {
    return f.code;
  }
  // The counter goes on from the file's (the rebuild rewrites every page; cached
  // ones are not trusted from here on). A dead writer's mark may already be there.
  unsigned char h[32];
  if (!ReadAt(0, h, sizeof h)) {
    UnlockIndex();
    return error_ = kErrorIndex;
  }
  std::memcpy(head_, h, sizeof h);
  counter_ = Be32(h + 8);
  markedBefore_ = h[kMarkOffset] != 0;
  DropCache();
  try {
    MarkUpdate();
  } catch (const LockFailed& f) {
    UnlockIndex();
    return f.code;
  }
  return kSuccess;
}

void CdxIndex::Release(bool unchanged) {
  if (unchanged && marked_ && !markedBefore_ && map_.Writable() && map_.Length() >= 32) {
    head_[kMarkOffset] = 0;
    std::memcpy(map_.MutableAt(0), head_, 32);
  }
  marked_ = false;
  checkNext_ = true;
  counter_ = ~counter_;
  UnlockIndex();
}

void CdxIndex::Keep(bool keep) {
  if (keep == kept_) return;
  if (!keep) {
    kept_ = false;
    UnlockIndex();
    return;
  }
  try {
    LockIndex();
    kept_ = true;
  } catch (const LockFailed&) {
    // Another process holds it: each change takes it on its own, as without Keep.
  }
}

int CdxIndex::Defer() {
  if (deferred_) return kSuccess;
  for (const auto& t : tags_)
    if (!t.key) return kErrorExpr;
  std::vector<std::unordered_set<std::string>> keys(tags_.size());
  for (size_t i = 0; i < tags_.size(); ++i) {
    if (tags_[i].desc.unique != kUniqueError) continue;
    const int code = Walk(static_cast<int>(i), [&](std::string_view key, long) { keys[i].emplace(key); });
    if (code != kSuccess) return code;
  }
  const int code = Hold();
  if (code != kSuccess) return code;
  deferredKeys_ = std::move(keys);
  deferred_ = true;
  return kSuccess;
}

int CdxIndex::Resume(const std::function<bool(long& recno, std::string& record)>& next, long expected) {
  if (!deferred_) return kSuccess;
  deferred_ = false;
  deferredKeys_.clear();
  // The mark stays when the rebuild fails: the index then reads as damaged.
  const int code = Rebuild(next, expected);
  Release(false);
  return code;
}

// The journal lies in the header's reserved bytes: a flag beside the update mark,
// the first moved record and the kept count after the 32 bytes every update writes.
int CdxIndex::Note(long first, long kept) {
  unsigned char journal[8];
  PutLe32(journal, static_cast<std::uint32_t>(first));
  PutLe32(journal + 4, static_cast<std::uint32_t>(kept));
  if (!file_->Write(kJournalOffset, std::string_view(reinterpret_cast<const char*>(journal), 8)) ||
      !file_->Write(kJournalFlagOffset, "\x01"))
    return kErrorWrite;
  return kSuccess;
}

bool CdxIndex::Noted(long& first, long& kept) const {
  unsigned char flag = 0, journal[8];
  if (!file_->Read(kJournalFlagOffset, &flag, 1) || flag != 1 || !file_->Read(kJournalOffset, journal, 8)) return false;
  first = static_cast<long>(Le32(journal));
  kept = static_cast<long>(Le32(journal + 4));
  return true;
}

// ---------------------------------------------------------------------------
// Opening and creating.

CdxIndex::TagState CdxIndex::ReadTagHeader(const std::string& name, std::uint32_t offset, bool forRebuild) {
  TagState t;
  if (offset % kPageSize != 0 || offset < 1024 || offset > fileSize_ - 1024) throw CdxDamaged("tag header offset");
  t.headerBytes.assign(1024, '\0');
  if (!ReadAt(offset, t.headerBytes.data(), 1024)) throw CdxDamaged("tag header unreadable");
  const auto* h = reinterpret_cast<const unsigned char*>(t.headerBytes.data());
  t.header = offset;
  t.root = Le32(h);
  const int keyLen = Le16(h + 12);
  const unsigned char options = h[14];
  if (keyLen < 1 || keyLen > 240) throw CdxDamaged("tag key length");
  if ((options & 0x60) != 0x60 && (options & 0x20) == 0) throw CdxDamaged("not a compact index");
  const int forOff = Le16(h + 504), forLen = Le16(h + 506), keyOff = Le16(h + 508), keyExprLen = Le16(h + 510);
  if (keyOff + keyExprLen > 512 || forOff + forLen > 512 || keyExprLen == 0) throw CdxDamaged("expression pool");
  std::string keyText = Pool(h, keyOff, keyExprLen);
  std::string forText;
  if (forLen > 1) {
    int start = forOff == 0 && keyOff == 0 ? keyExprLen : forOff;
    if (start + forLen > 512) throw CdxDamaged("expression pool");
    if (start < keyOff + keyExprLen && start + forLen > keyOff && forOff != 0) throw CdxDamaged("expressions overlap");
    forText = Pool(h, start, forLen);
  }
  t.desc.name = name;
  t.desc.expression = keyText;
  t.desc.filter = forText;
  t.desc.unique = (options & 0x01) ? (h[kUniqueMarkOffset] == kUniqueError ? kUniqueError : kUniqueContinue) : kUniqueNone;
  t.desc.descending = Le16(h + 502) == 1;
  t.desc.keyLength = keyLen;
  t.key = Expression::Parse(keyText, layout_);
  if (!forText.empty()) {
    t.filter = Expression::Parse(forText, layout_);
    if (!t.filter || t.filter->Type() != 'L') t.key.reset();
  }
  if (t.key) {
    char type = t.key->Type();
    bool fits = type == 'C' || (type == 'N' && (keyLen == 8 || keyLen == 4)) || (type == 'D' && keyLen == 8) ||
                (type == 'L' && keyLen == 1);
    if (!fits) t.key.reset();
    else t.desc.keyType = type;
  }
  if (!t.key) {
    // A key we cannot compute: the tag can still be walked; writes needing it fail.
    t.filter.reset();
    t.desc.keyType = keyLen == 8 ? 'N' : keyLen == 1 ? 'L' : 'C';
  }
  t.pad = t.desc.keyType == 'C' ? ' ' : '\0';
  // A rebuild cut short leaves the headers before the roots they will point to.
  if (!forRebuild && (t.root % kPageSize != 0 || t.root < 1024 || t.root > fileSize_ - kPageSize))
    throw CdxDamaged("tag root");
  return t;
}

void CdxIndex::ReadTags(bool forRebuild) {
  const auto* h = head_;
  if ((h[14] & 0xE0) != 0xE0) throw CdxDamaged("not a compound index");
  if (Le16(h + 12) != 10) throw CdxDamaged("tag directory key length");
  directory_.desc.name = "";
  directory_.desc.keyLength = 10;
  directory_.desc.keyType = 'C';
  directory_.pad = ' ';
  directory_.root = Le32(h);
  std::vector<std::pair<std::string, std::uint32_t>> names;
  tags_.clear();
  int rc = WalkTree(directory_, [&](std::string_view key, long recno) {
    names.emplace_back(TagName(key), static_cast<std::uint32_t>(recno));
  });
  if (rc != kSuccess) throw CdxDamaged("tag directory");
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  for (const auto& entry : names) {
    const std::uint32_t offset = entry.second;
    if (std::any_of(tags_.begin(), tags_.end(), [&](const TagState& t) { return t.header == offset; }))
      throw CdxDamaged("two tags share a header");
    tags_.push_back(ReadTagHeader(entry.first, offset, forRebuild));
  }
}

std::unique_ptr<CdxIndex> CdxIndex::Open(const std::string& path, const RecordLayout& layout, int& code,
                                         bool forRebuild) {
  code = kSuccess;
  auto file = SharedFile::Open(path, false, code);
  if (!file) return nullptr;
  std::unique_ptr<CdxIndex> index(new CdxIndex());
  index->file_ = std::move(file);
  index->layout_ = layout;
  try {
    IndexLock lock(*index);
    std::int64_t size = index->file_->Size();
    if (size < 1024 + static_cast<std::int64_t>(kPageSize) || size > 0x7FFFFE00) throw CdxDamaged("index size");
    if (!index->map_.Open(index->file_->Descriptor(), index->file_->Writable(), static_cast<std::size_t>(size)))
      throw LockFailed{kErrorRead};
    index->RefreshSize();
    index->WatchTable();
    if (!index->ReadAt(0, index->head_, kPageSize)) throw CdxDamaged("index header");
    if (index->head_[kMarkOffset] != 0 && !forRebuild) throw CdxDamaged("an update of the index was cut short");
    index->counter_ = Be32(index->head_ + 8);
    index->freeHead_ = Le32(index->head_ + 4);
    index->ReadTags(forRebuild);
  } catch (const CdxDamaged&) {
    code = kErrorIndex;
    return nullptr;
  } catch (const LockFailed& f) {
    code = f.code;
    return nullptr;
  }
  return index;
}

namespace {

std::string MakeTagHeader(const TagInfo& info, int keyLen, std::uint32_t root) {
  std::string h(1024, '\0');
  auto* p = reinterpret_cast<unsigned char*>(h.data());
  PutLe32(p, root);
  PutLe16(p + 12, static_cast<std::uint32_t>(keyLen));
  unsigned char options = 0x60;
  if (info.unique == kUniqueError || info.unique == kUniqueContinue) options |= 0x01;
  if (!info.filter.empty()) options |= 0x08;
  p[14] = options;
  p[15] = 1;
  if (info.unique == kUniqueError) p[kUniqueMarkOffset] = kUniqueError;
  PutLe16(p + 502, info.descending ? 1 : 0);
  const size_t keyText = info.expression.size();
  PutLe16(p + 504, static_cast<std::uint32_t>(keyText + 1));
  PutLe16(p + 506, static_cast<std::uint32_t>(info.filter.size() + 1));
  PutLe16(p + 508, 0);
  PutLe16(p + 510, static_cast<std::uint32_t>(keyText + 1));
  std::memcpy(p + 512, info.expression.data(), keyText);
  std::memcpy(p + 512 + keyText + 1, info.filter.data(), info.filter.size());
  return h;
}

}  // namespace

std::unique_ptr<CdxIndex> CdxIndex::Create(const std::string& path, const RecordLayout& layout,
                                           const std::vector<TagInfo>& tags, int& code) {
  code = kSuccess;
  std::unique_ptr<CdxIndex> index(new CdxIndex());
  index->layout_ = layout;
  std::vector<std::string> seen;
  for (const TagInfo& info : tags) {
    TagState t;
    t.desc.name = TagName(info.name);
    if (t.desc.name.empty() || std::find(seen.begin(), seen.end(), t.desc.name) != seen.end()) {
      code = kErrorIndex;
      return nullptr;
    }
    seen.push_back(t.desc.name);
    if (info.expression.size() + info.filter.size() + 2 > 510) {
      code = kErrorExpr;
      return nullptr;
    }
    t.key = Expression::Parse(info.expression, index->layout_);
    if (!info.filter.empty()) t.filter = Expression::Parse(info.filter, index->layout_);
    if (!t.key || (!info.filter.empty() && (!t.filter || t.filter->Type() != 'L'))) {
      code = kErrorExpr;
      return nullptr;
    }
    const char type = t.key->Type();
    const int keyLen = type == 'C' ? t.key->Length() : type == 'L' ? 1 : 8;
    if (keyLen < 1 || keyLen > 240) {
      code = kErrorExpr;
      return nullptr;
    }
    t.desc.expression = info.expression;
    t.desc.filter = info.filter;
    t.desc.unique = info.unique == kUniqueError || info.unique == kUniqueContinue ? info.unique : kUniqueNone;
    t.desc.descending = info.descending != 0;
    t.desc.keyType = type;
    t.desc.keyLength = keyLen;
    t.pad = type == 'C' ? ' ' : '\0';
    t.headerBytes = MakeTagHeader(info, keyLen, 0);
    index->tags_.push_back(std::move(t));
  }
  index->file_ = SharedFile::Open(path, true, code);
  if (!index->file_) return nullptr;
  // The directory header: key length 10, options 0xE0, empty expressions.
  std::memset(index->head_, 0, kPageSize);
  PutLe16(index->head_ + 12, 10);
  index->head_[14] = 0xE0;
  index->head_[15] = 1;
  PutLe16(index->head_ + 504, 1);
  PutLe16(index->head_ + 506, 1);
  PutLe16(index->head_ + 510, 1);
  index->directory_.desc.keyLength = 10;
  index->directory_.desc.keyType = 'C';
  try {
    IndexLock lock(*index);
    std::vector<SortedKeys> empty(index->tags_.size());
    index->WriteAll(index->Lay(empty));
    index->WatchTable();
  } catch (const CdxDamaged&) {
    code = kErrorIndex;
    return nullptr;
  } catch (const LockFailed& f) {
    code = f.code;
    return nullptr;
  }
  return index;
}

// ---------------------------------------------------------------------------
// Writing a whole file: header, every tag with its tree, the directory.

namespace {

// Packs sorted entries into leaves and interior levels; pages get consecutive
// offsets from base. Returns the root offset.
std::uint32_t BuildTree(const CdxIndex::SortedKeys& entries, int kl, char pad, std::uint32_t base,
                        std::vector<CdxNode>& out) {
  std::vector<CdxNode> level;
  {
    CdxNode cur;
    cur.attr = 2;
    std::uint32_t maxRec = 0;
    int keyBytes = 0;
    const size_t ukl = static_cast<size_t>(kl);
    for (size_t i = 0; i < entries.recnos.size(); ++i) {
      const char* key = entries.keys.data() + i * ukl;
      const std::uint32_t recno = entries.recnos[i];
      const int need = EntryKeyBytes(cur.Count() > 0 ? key - kl : nullptr, key, kl, pad);
      const std::uint32_t m = std::max(maxRec, recno);
      const int count = cur.Count() + 1;
      if (cur.Count() > 0 && 24 + count * EntryWidth(kl, m) + keyBytes + need > 512) {
        level.push_back(std::move(cur));
        cur = CdxNode();
        cur.attr = 2;
        keyBytes = EntryKeyBytes(nullptr, key, kl, pad);
        maxRec = recno;
      } else {
        keyBytes += need;
        maxRec = m;
      }
      cur.keys.append(key, ukl);
      cur.recnos.push_back(recno);
    }
    if (!cur.recnos.empty() || level.empty()) level.push_back(std::move(cur));
  }
  std::uint32_t next = base;
  auto place = [&](std::vector<CdxNode>& nodes) {
    for (size_t i = 0; i < nodes.size(); ++i) nodes[i].offset = next + static_cast<std::uint32_t>(i) * kPageSize;
    for (size_t i = 0; i < nodes.size(); ++i) {
      nodes[i].left = i == 0 ? kNone : nodes[i - 1].offset;
      nodes[i].right = i + 1 == nodes.size() ? kNone : nodes[i + 1].offset;
    }
    next += static_cast<std::uint32_t>(nodes.size()) * kPageSize;
  };
  place(level);
  const int capacity = InteriorCapacity(kl);
  while (level.size() > 1) {
    std::vector<CdxNode> upper;
    for (size_t i = 0; i < level.size(); i += static_cast<size_t>(capacity)) {
      CdxNode n;
      n.attr = 0;
      for (size_t j = i; j < std::min(level.size(), i + static_cast<size_t>(capacity)); ++j) {
        const CdxNode& c = level[j];
        n.keys.append(c.Key(c.Count() - 1, kl));
        n.recnos.push_back(c.recnos.back());
        n.children.push_back(c.offset);
      }
      upper.push_back(std::move(n));
    }
    for (auto& n : level) out.push_back(std::move(n));
    level = std::move(upper);
    place(level);
  }
  level[0].attr |= 1;
  const std::uint32_t root = level[0].offset;
  out.push_back(std::move(level[0]));
  return root;
}

}  // namespace

CdxIndex::Layout CdxIndex::Lay(std::vector<SortedKeys>& entries) const {
  Layout layout;
  std::string& image = layout.pages;
  auto page = [&]() {
    image.append(kPageSize, '\0');
    return reinterpret_cast<unsigned char*>(image.data() + image.size() - kPageSize);
  };
  auto byOffset = [](const CdxNode& a, const CdxNode& b) { return a.offset < b.offset; };

  // The directory's pages come first; the headers follow them in creation order.
  std::vector<std::pair<std::string, size_t>> names;
  for (size_t i = 0; i < tags_.size(); ++i) {
    std::string padded = tags_[i].desc.name;
    padded.resize(10, ' ');
    names.emplace_back(padded, i);
  }
  std::sort(names.begin(), names.end());
  std::vector<CdxNode> dirNodes;
  std::uint32_t dirPages = 1;
  for (int round = 0; round < 8; ++round) {
    SortedKeys directory;
    for (const auto& [name, i] : names) {
      directory.keys += name;
      directory.recnos.push_back(1024 + dirPages * kPageSize + static_cast<std::uint32_t>(i) * 1024);
    }
    dirNodes.clear();
    layout.dirRoot = BuildTree(directory, 10, ' ', 1024, dirNodes);
    const auto built = static_cast<std::uint32_t>(dirNodes.size());
    if (built <= dirPages) break;
    dirPages = built;
  }
  std::sort(dirNodes.begin(), dirNodes.end(), byOffset);
  for (const CdxNode& n : dirNodes) EncodeNode(n, 10, ' ', page());
  image.resize(static_cast<size_t>(dirPages) * kPageSize, '\0');
  const std::uint32_t headersAt = 1024 + dirPages * kPageSize;
  for (const TagState& t : tags_) {
    image += t.headerBytes;
    auto* h = reinterpret_cast<unsigned char*>(image.data() + image.size() - 1024);
    PutLe32(h, 0);
    PutLe32(h + 4, 0);
    PutLe32(h + 8, 0);
  }

  // The trees a tag at a time, each right after the one before.
  for (size_t i = 0; i < tags_.size(); ++i) {
    const TagState& t = tags_[i];
    std::vector<CdxNode> nodes;
    const std::uint32_t root = BuildTree(entries[i], t.desc.keyLength, t.pad, End(layout), nodes);
    entries[i] = SortedKeys();  // the tree holds them now
    std::sort(nodes.begin(), nodes.end(), byOffset);
    image.reserve(image.size() + nodes.size() * kPageSize);
    for (const CdxNode& n : nodes) EncodeNode(n, t.desc.keyLength, t.pad, page());
    const std::uint32_t header = headersAt + static_cast<std::uint32_t>(i) * 1024;
    PutLe32(reinterpret_cast<unsigned char*>(image.data() + (header - 1024)), root);
    layout.roots.push_back(root);
    layout.headers.push_back(header);
  }
  return layout;
}

void CdxIndex::WriteAll(const Layout& layout) {
  // The whole file is laid out in memory and its space taken before anything is
  // written, so that a full disk refuses the rebuild with the old index untouched.
  // Then mark the update, write the directory, the tag headers and the trees in one
  // go, cut the file to what it holds and write the header. A writer stopped midway
  // leaves the mark, and the index reads as damaged; the tag definitions are in
  // place for the reindex that mends it.
  const std::int64_t oldSize = file_->Size();
  const std::uint32_t at = End(layout);
  if (oldSize < 0 || !file_->Grow(at)) throw LockFailed{kErrorWrite};
  ++counter_;
  PutBe32(head_ + 8, counter_);
  head_[kMarkOffset] = 1;
  if (oldSize >= 32 && !file_->Write(0, std::string_view(reinterpret_cast<const char*>(head_), 32)))
    throw LockFailed{kErrorWrite};
  if (!file_->Write(1024, layout.pages)) throw LockFailed{kErrorWrite};
  // Pages the old file had beyond the new image are given back. Other processes
  // read pages from their mappings only after they have seen the new counter and
  // the new length under the index lock.
  if (oldSize > static_cast<std::int64_t>(at) && !file_->Truncate(at)) throw LockFailed{kErrorWrite};
  PutLe32(head_, layout.dirRoot);
  PutLe32(head_ + 4, 0);
  head_[kMarkOffset] = 0;
  head_[kJournalFlagOffset] = 0;
  std::memset(head_ + kJournalOffset, 0, 8);
  std::string header(reinterpret_cast<const char*>(head_), kPageSize);
  header.append(512, '\0');  // the directory's (empty) expression pool
  if (!file_->Write(0, header)) throw LockFailed{kErrorWrite};
  if (map_.Length() == 0) {
    if (!map_.Open(file_->Descriptor(), true, at)) throw LockFailed{kErrorWrite};
  }
  RefreshSize();
  freeHead_ = 0;
  DropCache();
  directory_.root = layout.dirRoot;
  for (size_t i = 0; i < tags_.size(); ++i) {
    tags_[i].header = layout.headers[i];
    tags_[i].root = layout.roots[i];
    PutLe32(reinterpret_cast<unsigned char*>(tags_[i].headerBytes.data()), layout.roots[i]);
  }
}

// ---------------------------------------------------------------------------
// Tree operations.

namespace {

int LeafSize(CdxNode& n) {
  const int kl = n.keyLen;
  if (n.keyBytes < 0) {
    int sum = 0;
    for (int i = 0; i < n.Count(); ++i) {
      const char* key = n.keys.data() + static_cast<size_t>(i) * static_cast<size_t>(kl);
      sum += EntryKeyBytes(i == 0 ? nullptr : key - kl, key, kl, n.pad);
    }
    n.keyBytes = sum;
  }
  if (n.maxRecno == 0)
    for (auto r : n.recnos) n.maxRecno = std::max(n.maxRecno, r);
  return 24 + n.Count() * EntryWidth(kl, n.maxRecno) + n.keyBytes;
}

}  // namespace

void MarkDirty(std::vector<std::uint32_t>& dirty, CdxNode& n) {
  n.imageValid = false;
  if (!n.dirty) {
    n.dirty = true;
    dirty.push_back(n.offset);
  }
}

CdxIndex::Path CdxIndex::Locate(TagState& tag, std::string_view key, std::uint32_t recno, bool prefix) {
  Path path;
  std::uint32_t off = tag.root;
  const int kl = tag.desc.keyLength;
  const bool fast = kl <= 8 && key.size() >= static_cast<size_t>(kl);
  const int shift = (8 - kl) * 8;
  std::uint64_t target = 0;
  if (fast)
    for (int k = 0; k < kl; ++k) target = target << 8 | static_cast<unsigned char>(key[static_cast<size_t>(k)]);
  for (int depth = 0;; ++depth) {
    if (depth >= kMaxDepth) throw CdxDamaged("index tree too deep");
    CdxNode& n = Load(tag, off);
    int lo = 0, hi = n.Count();
    // The search's probes wait for one another: asking for all the lines they may
    // touch at once lets those waits overlap.
    PrefetchBytes(n.keys.data(), n.keys.size());
    if (n.Leaf()) PrefetchBytes(n.recnos.data(), n.recnos.size() * sizeof(std::uint32_t));
    if (fast) {
      // Keys of up to 8 bytes compare as one big-endian word, loaded whole where
      // eight bytes remain (the bytes after a key belong to the next one).
      const char* base = n.keys.data();
      const size_t size = n.keys.size();
      const int loadable = size >= 8 ? static_cast<int>((size - 8) / static_cast<size_t>(kl)) + 1 : 0;
      while (lo < hi) {
        const int mid = (lo + hi) / 2;
        std::uint64_t x;
        if (mid < loadable) {
          std::memcpy(&x, base + static_cast<size_t>(mid) * static_cast<size_t>(kl), 8);
          x = __builtin_bswap64(x) >> shift;
        } else {
          x = 0;
          for (int k = 0; k < kl; ++k) x = x << 8 | static_cast<unsigned char>(base[static_cast<size_t>(mid) * kl + k]);
        }
        const bool less = x < target || (x == target && !prefix && n.recnos[static_cast<size_t>(mid)] < recno);
        if (less) lo = mid + 1;
        else hi = mid;
      }
    } else {
      while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (Less(n, mid, kl, key, recno, prefix)) lo = mid + 1;
        else hi = mid;
      }
    }
    if (n.Leaf()) {
      path.push_back({off, lo});
      return path;
    }
    if (lo == n.Count()) lo = n.Count() - 1;
    path.push_back({off, lo});
    const std::uint32_t child = n.children[static_cast<size_t>(lo)];
    for (const Step& s : path)
      if (s.offset == child) throw CdxDamaged("index tree loops");
    off = child;
  }
}

// Moves a leaf position that stands past its leaf's end onto the next leaf. false
// at the end of the tag.
bool CdxIndex::Normalize(TagState& tag, Step& at) {
  for (int guard = 0; guard < kMaxDepth * 4; ++guard) {
    CdxNode& n = Load(tag, at.offset);
    if (!n.Leaf()) throw CdxDamaged("sibling is not a leaf");
    if (at.index < n.Count()) return true;
    if (n.right == kNone) return false;
    std::uint32_t right = n.right;
    CdxNode& r = Load(tag, right);
    if (!r.Leaf() || r.left != at.offset) throw CdxDamaged("leaf chain broken");
    at = {right, 0};
  }
  throw CdxDamaged("empty leaves in a row");
}

void CdxIndex::FixMax(TagState& tag, Path& path, size_t level) {
  const int kl = tag.desc.keyLength;
  for (size_t l = level; l > 0; --l) {
    CdxNode& child = Load(tag, path[l].offset);
    CdxNode& parent = Load(tag, path[l - 1].offset);
    const int pi = path[l - 1].index;
    if (child.Count() == 0) return;
    const char* last = child.keys.data() + static_cast<size_t>(child.Count() - 1) * static_cast<size_t>(kl);
    std::memcpy(parent.keys.data() + static_cast<size_t>(pi) * static_cast<size_t>(kl), last, static_cast<size_t>(kl));
    parent.recnos[static_cast<size_t>(pi)] = child.recnos.back();
    // The interior page changes in one entry: write it into the image directly.
    const bool patch = parent.imageValid && !parent.Leaf();
    MarkDirty(dirty_, parent);
    if (patch) {
      unsigned char* e = parent.image.data() + 12 + static_cast<size_t>(pi) * static_cast<size_t>(kl + 8);
      std::memcpy(e, last, static_cast<size_t>(kl));
      PutBe32(e + kl, child.recnos.back());
      parent.imageValid = true;
    }
    if (pi != parent.Count() - 1) return;
  }
}

void CdxIndex::SetRoot(TagState& tag, std::uint32_t root) {
  tag.root = root;
  PutLe32(reinterpret_cast<unsigned char*>(tag.headerBytes.data()), root);
  rawPages_[tag.header] = tag.headerBytes.substr(0, kPageSize);
}

void CdxIndex::SplitIfNeeded(TagState& tag, Path& path, size_t level) {
  const int kl = tag.desc.keyLength;
  const size_t ukl = static_cast<size_t>(kl);
  CdxNode& n = Load(tag, path[level].offset);
  const int count = n.Count();
  const bool leaf = n.Leaf();
  if (leaf) {
    if (n.keyBytes >= 0 && 24 + count * EntryWidth(kl, 0xFFFFFFFFu) + n.keyBytes <= 512) return;
    if (LeafSize(n) <= 512) return;
  } else if (count <= InteriorCapacity(kl)) {
    return;
  }
  const int at = path[level].index;
  int s;
  if (at >= count - 2 && n.right == kNone) s = count - 1;  // growing at the end: keep the old node full
  else if (at <= 0 && n.left == kNone) s = 1;
  else s = count / 2;
  if (leaf) {
    auto fits = [&](int from, int to) {
      return LeafBytes(n.keys.data() + static_cast<size_t>(from) * ukl, n.recnos.data() + from, to - from, kl,
                       tag.pad) <= 512;
    };
    while (s > 1 && !fits(0, s)) --s;
    while (s < count - 1 && !fits(s, count)) ++s;
    if (!fits(0, s) || !fits(s, count)) throw CdxDamaged("leaf cannot be split");
  }
  s = std::clamp(s, 1, count - 1);
  const std::uint32_t newOff = Allocate();
  CdxNode& nn = cache_.Make(newOff);
  nn = CdxNode();
  nn.offset = newOff;
  nn.keyLen = kl;
  nn.pad = tag.pad;
  nn.attr = static_cast<std::uint16_t>(n.attr & 2);
  nn.keys = n.keys.substr(0, static_cast<size_t>(s) * ukl);
  nn.recnos.assign(n.recnos.begin(), n.recnos.begin() + s);
  n.keys.erase(0, static_cast<size_t>(s) * ukl);
  n.recnos.erase(n.recnos.begin(), n.recnos.begin() + s);
  n.keyBytes = -1;
  n.maxRecno = 0;
  if (!leaf) {
    nn.children.assign(n.children.begin(), n.children.begin() + s);
    n.children.erase(n.children.begin(), n.children.begin() + s);
  }
  nn.left = n.left;
  nn.right = n.offset;
  if (n.left != kNone) {
    CdxNode& l = Load(tag, n.left);
    l.right = newOff;
    MarkDirty(dirty_, l);
  }
  n.left = newOff;
  MarkDirty(dirty_, n);
  MarkDirty(dirty_, nn);
  if (level == 0) {
    const std::uint32_t rootOff = Allocate();
    CdxNode& r = cache_.Make(rootOff);
    r = CdxNode();
    r.offset = rootOff;
    r.keyLen = kl;
    r.pad = tag.pad;
    r.attr = 1;
    n.attr = static_cast<std::uint16_t>(n.attr & ~1);
    nn.attr = n.attr;
    r.keys.append(nn.Key(nn.Count() - 1, kl));
    r.keys.append(n.Key(n.Count() - 1, kl));
    r.recnos = {nn.recnos.back(), n.recnos.back()};
    r.children = {newOff, n.offset};
    MarkDirty(dirty_, r);
    SetRoot(tag, rootOff);
    return;
  }
  CdxNode& p = Load(tag, path[level - 1].offset);
  const int pi = path[level - 1].index;
  p.keys.insert(static_cast<size_t>(pi) * ukl, nn.Key(nn.Count() - 1, kl));
  p.recnos.insert(p.recnos.begin() + pi, nn.recnos.back());
  p.children.insert(p.children.begin() + pi, newOff);
  MarkDirty(dirty_, p);
  path[level - 1].index = pi + 1;
  SplitIfNeeded(tag, path, level - 1);
}

// Brings the nodes on the way to each new entry into the cache side by side. Each
// descent waits for memory at every level, but the descents of different tags do
// not depend on one another: asking for all of them a level at a time lets their
// waits overlap. Only pages already decoded are looked at, and nothing changes.
// The way taken is the one of an appended record (after every equal key).
void CdxIndex::WarmPaths(const std::vector<std::string>& keys, const std::vector<char>& add) const {
  struct Way {
    std::string_view key;
    const CdxNode* node;
  };
  std::array<Way, 16> ways;
  size_t n = 0;
  for (size_t i = 0; i < tags_.size() && n < ways.size(); ++i) {
    if (!add[i]) continue;
    const CdxNode* root = cache_.Find(tags_[i].root);
    if (!root) continue;
    PrefetchBytes(root, 128);
    ways[n++] = {keys[i], root};
  }
  for (int depth = 0; n > 0 && depth < kMaxDepth; ++depth) {
    for (size_t w = 0; w < n; ++w) {
      const CdxNode& node = *ways[w].node;
      PrefetchBytes(node.keys.data(), node.keys.size());
      if (node.Leaf()) {
        PrefetchBytes(node.recnos.data(), node.recnos.size() * sizeof(std::uint32_t));
        PrefetchBytes(node.image.data(), node.image.size());
      } else {
        PrefetchBytes(node.children.data(), node.children.size() * sizeof(std::uint32_t));
      }
    }
    size_t kept = 0;
    for (size_t w = 0; w < n; ++w) {
      const CdxNode& node = *ways[w].node;
      const int count = node.Count();
      if (node.Leaf() || count == 0 || node.children.size() != static_cast<size_t>(count)) continue;
      const size_t kl = static_cast<size_t>(node.keyLen);
      const std::string_view key = ways[w].key;
      const size_t m = std::min(key.size(), kl);
      if (node.keys.size() < static_cast<size_t>(count) * kl) continue;
      int lo = 0, hi = count;
      while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (std::memcmp(node.keys.data() + static_cast<size_t>(mid) * kl, key.data(), m) <= 0) lo = mid + 1;
        else hi = mid;
      }
      const CdxNode* child = cache_.Find(node.children[static_cast<size_t>(std::min(lo, count - 1))]);
      if (!child) continue;
      PrefetchBytes(child, 128);
      ways[kept++] = {key, child};
    }
    n = kept;
  }
}

void CdxIndex::InsertEntry(TagState& tag, std::string_view key, std::uint32_t recno) {
  Path path = Locate(tag, key, recno, false);
  CdxNode& leaf = Load(tag, path.back().offset);
  const int i = path.back().index;
  const size_t kl = static_cast<size_t>(tag.desc.keyLength);
  if (leaf.keyBytes >= 0) {
    // Only the new entry and the one after it change what they need.
    const int k = static_cast<int>(kl);
    const char* base = leaf.keys.data();
    const char* prev = i > 0 ? base + static_cast<size_t>(i - 1) * kl : nullptr;
    const char* next = i < leaf.Count() ? base + static_cast<size_t>(i) * kl : nullptr;
    int delta = EntryKeyBytes(prev, key.data(), k, tag.pad);
    if (next) delta += EntryKeyBytes(key.data(), next, k, tag.pad) - EntryKeyBytes(prev, next, k, tag.pad);
    leaf.keyBytes += delta;
  }
  const char* prevKey = i > 0 ? leaf.keys.data() + static_cast<size_t>(i - 1) * kl : nullptr;
  const char* nextKey = i < leaf.Count() ? leaf.keys.data() + static_cast<size_t>(i) * kl : nullptr;
  const bool patched = leaf.imageValid && PatchLeafInsert(leaf.image.data(), static_cast<int>(kl), tag.pad, i,
                                                          prevKey, nextKey, key.data(), recno);
  leaf.keys.insert(static_cast<size_t>(i) * kl, key.data(), kl);
  leaf.recnos.insert(leaf.recnos.begin() + i, recno);
  if (leaf.maxRecno != 0) leaf.maxRecno = std::max(leaf.maxRecno, recno);
  MarkDirty(dirty_, leaf);
  leaf.imageValid = patched;
  if (i == leaf.Count() - 1) FixMax(tag, path, path.size() - 1);
  SplitIfNeeded(tag, path, path.size() - 1);
}

void CdxIndex::RemoveNode(TagState& tag, Path& path, size_t level) {
  CdxNode& n = Load(tag, path[level].offset);
  const std::uint32_t left = n.left, right = n.right, off = n.offset;
  if (left != kNone) {
    CdxNode& l = Load(tag, left);
    l.right = right;
    MarkDirty(dirty_, l);
  }
  if (right != kNone) {
    CdxNode& r = Load(tag, right);
    r.left = left;
    MarkDirty(dirty_, r);
  }
  FreePage(off);
  CdxNode& p = Load(tag, path[level - 1].offset);
  const int pi = path[level - 1].index;
  const size_t kl = static_cast<size_t>(tag.desc.keyLength);
  p.keys.erase(static_cast<size_t>(pi) * kl, kl);
  p.recnos.erase(p.recnos.begin() + pi);
  p.children.erase(p.children.begin() + pi);
  MarkDirty(dirty_, p);
  if (p.Count() == 0) {
    if (level - 1 == 0) {
      p.attr = 3;  // the whole tag is empty again: one empty root leaf
    } else {
      RemoveNode(tag, path, level - 1);
    }
  } else if (pi == p.Count()) {
    path[level - 1].index = pi - 1;
    FixMax(tag, path, level - 1);
  }
}

bool CdxIndex::DeleteEntry(TagState& tag, std::string_view key, std::uint32_t recno) {
  Path path = Locate(tag, key, recno, false);
  CdxNode& leaf = Load(tag, path.back().offset);
  const int i = path.back().index;
  const int kl = tag.desc.keyLength;
  if (i >= leaf.Count() || leaf.recnos[static_cast<size_t>(i)] != recno || leaf.Key(i, kl) != key) return false;
  leaf.keys.erase(static_cast<size_t>(i) * static_cast<size_t>(kl), static_cast<size_t>(kl));
  leaf.recnos.erase(leaf.recnos.begin() + i);
  leaf.keyBytes = -1;
  leaf.maxRecno = 0;
  MarkDirty(dirty_, leaf);
  if (leaf.Count() == 0) {
    if (path.size() > 1) RemoveNode(tag, path, path.size() - 1);
  } else if (i == leaf.Count()) {
    path.back().index = i - 1;
    FixMax(tag, path, path.size() - 1);
  }
  // An interior root left with one child hands the root over to it.
  for (int guard = 0; guard < kMaxDepth; ++guard) {
    CdxNode& root = Load(tag, tag.root);
    if (root.Leaf() || root.Count() != 1) break;
    const std::uint32_t child = root.children[0];
    const std::uint32_t old = tag.root;
    CdxNode& c = Load(tag, child);
    c.attr = static_cast<std::uint16_t>(c.attr | 1);
    c.left = c.right = kNone;
    MarkDirty(dirty_, c);
    SetRoot(tag, child);
    FreePage(old);
  }
  return true;
}

bool CdxIndex::Contains(TagState& tag, std::string_view key, std::uint32_t except) {
  Path path = Locate(tag, key, 0, true);
  Step at = path.back();
  const int kl = tag.desc.keyLength;
  for (int guard = 0; guard < 1000000; ++guard) {
    if (!Normalize(tag, at)) return false;
    CdxNode& n = Load(tag, at.offset);
    if (n.Key(at.index, kl) != key) return false;
    if (n.recnos[static_cast<size_t>(at.index)] != except) return true;
    ++at.index;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Keys.

std::string CdxIndex::Encode(const TagState& tag, const ExprValue& v) const {
  const int kl = tag.desc.keyLength;
  switch (tag.desc.keyType) {
    case 'N': return EncodeDouble(v.type == 'C' ? ParseNumber(v.text) : v.number, kl);
    case 'D': return EncodeDouble(v.type == 'C' ? static_cast<double>(JulianFromText(v.text)) : v.number, kl);
    case 'L': return std::string(1, v.logical ? 'T' : 'F');
    default: {
      std::string k = v.text;
      k.resize(static_cast<size_t>(kl), ' ');
      return k;
    }
  }
}

std::string CdxIndex::KeyFor(const TagState& tag, std::string_view record, long recno) const {
  std::string key;
  AppendKey(tag, record, recno, key);
  return key;
}

// A key that is one character field is that field's bytes, padded or cut to the
// key's length: most tags. The bytes, when the tag's key is such a field and the
// record holds it.
std::optional<std::string_view> CdxIndex::CharKeyBytes(const TagState& tag, std::string_view record) const {
  const FieldLayout* f = tag.desc.keyType == 'C' ? tag.key->CharField() : nullptr;
  if (!f || f->offset < 0 || static_cast<size_t>(f->offset) + static_cast<size_t>(f->length) > record.size())
    return std::nullopt;
  return record.substr(static_cast<size_t>(f->offset), static_cast<size_t>(f->length));
}

void CdxIndex::AppendKey(const TagState& tag, std::string_view record, long recno, std::string& out) const {
  // Such keys are taken as they are (every key of every record a rebuild sorts).
  if (const auto bytes = CharKeyBytes(tag, record)) {
    const size_t kl = static_cast<size_t>(tag.desc.keyLength);
    const size_t n = std::min(kl, bytes->size());
    out.append(bytes->data(), n);
    out.append(kl - n, ' ');
    return;
  }
  out += Encode(tag, tag.key->Evaluate(record, recno));
}

bool CdxIndex::Wanted(int tag, std::string_view record, long recno) const {
  const TagState& t = tags_[static_cast<size_t>(tag)];
  return !t.filter || t.filter->Evaluate(record, recno).logical;
}

std::string CdxIndex::KeyOf(int tag, std::string_view record) {
  const TagState& t = tags_[static_cast<size_t>(tag)];
  if (!t.key) return {};
  return KeyFor(t, record, 0);
}

// ---------------------------------------------------------------------------
// Maintenance.

// Runs one change of the file under the index lock. A change that fails part-way
// leaves nothing cached and makes the next call look at the file again; failures
// come back as the engine's codes.
template <class F>
int CdxIndex::Change(F&& change) {
  try {
    IndexLock lock(*this);
    try {
      return change();
    } catch (...) {
      // A mark this process set stays in the file: what it covered may be half done.
      marked_ = false;
      DropCache();
      checkNext_ = true;
      counter_ = ~counter_;
      throw;
    }
  } catch (const CdxDamaged&) {
    return error_ = kErrorIndex;
  } catch (const LockFailed& f) {
    return f.code;
  } catch (const NeedLock&) {
    return error_ = kErrorIndex;
  }
}

int CdxIndex::Insert(long recno, std::string_view record, WriteStep write) {
  for (const auto& t : tags_)
    if (!t.key) return kErrorExpr;
  if (recno <= 0) return kErrorRecord;
  if (deferred_) {
    std::vector<std::string>& keys = insertKeys_;
    keys.assign(tags_.size(), std::string());
    for (size_t i = 0; i < tags_.size(); ++i) {
      if (tags_[i].desc.unique != kUniqueError || !Wanted(static_cast<int>(i), record, recno)) continue;
      keys[i] = KeyFor(tags_[i], record, recno);
      if (deferredKeys_[i].count(keys[i])) return kUnique;
    }
    const int code = write();
    if (code != kSuccess) return code;
    for (size_t i = 0; i < tags_.size(); ++i)
      if (tags_[i].desc.unique == kUniqueError && !keys[i].empty()) deferredKeys_[i].insert(std::move(keys[i]));
    return kSuccess;
  }
  return Change([&] {
    Sync();
    std::vector<std::string>& keys = insertKeys_;
    std::vector<char>& add = insertAdd_;
    keys.resize(tags_.size());
    add.assign(tags_.size(), 0);
    const std::uint32_t r = static_cast<std::uint32_t>(recno);
    for (size_t i = 0; i < tags_.size(); ++i) {
      TagState& t = tags_[i];
      if (!Wanted(static_cast<int>(i), record, recno)) continue;
      keys[i] = KeyFor(t, record, recno);
      add[i] = 1;
      if (t.desc.unique != kUniqueNone && Contains(t, keys[i], r)) {
        if (t.desc.unique == kUniqueError) return kUnique;
        add[i] = 0;
      }
    }
    WarmPaths(keys, add);
    for (size_t i = 0; i < tags_.size(); ++i)
      if (add[i]) InsertEntry(tags_[i], keys[i], r);
    return Apply(write);
  });
}

int CdxIndex::Replace(long recno, std::string_view before, std::string_view after, WriteStep write) {
  if (recno <= 0) return kErrorRecord;
  for (const auto& t : tags_)
    if (!t.key) return kErrorExpr;
  // Keys come from the record bytes alone: a write that moves no key (a deletion,
  // a change of other fields) leaves the index alone and never takes its lock.
  const std::uint32_t r = static_cast<std::uint32_t>(recno);
  struct KeyMove {
    bool remove = false, add = false;
    std::string oldKey, newKey;
  };
  std::vector<KeyMove> moves(tags_.size());
  bool any = false;
  for (size_t i = 0; i < tags_.size(); ++i) {
    TagState& t = tags_[i];
    const bool was = Wanted(static_cast<int>(i), before, recno);
    const bool is = Wanted(static_cast<int>(i), after, recno);
    KeyMove& m = moves[i];
    if (was) m.oldKey = KeyFor(t, before, recno);
    if (is) m.newKey = KeyFor(t, after, recno);
    if (was == is && m.oldKey == m.newKey) continue;
    m.remove = was;
    m.add = is;
    any = true;
  }
  if (!any) return write();
  if (deferred_) {
    for (size_t i = 0; i < tags_.size(); ++i)
      if (tags_[i].desc.unique == kUniqueError && moves[i].add && deferredKeys_[i].count(moves[i].newKey))
        return kUnique;
    const int code = write();
    if (code != kSuccess) return code;
    for (size_t i = 0; i < tags_.size(); ++i) {
      if (tags_[i].desc.unique != kUniqueError) continue;
      if (moves[i].remove) deferredKeys_[i].erase(moves[i].oldKey);
      if (moves[i].add) deferredKeys_[i].insert(moves[i].newKey);
    }
    return kSuccess;
  }
  return Change([&] {
    Sync();
    for (size_t i = 0; i < tags_.size(); ++i) {
      TagState& t = tags_[i];
      KeyMove& m = moves[i];
      if (m.add && t.desc.unique != kUniqueNone && Contains(t, m.newKey, r)) {
        if (t.desc.unique == kUniqueError) return kUnique;
        m.add = false;
      }
    }
    for (size_t i = 0; i < tags_.size(); ++i) {
      bool held = moves[i].remove && DeleteEntry(tags_[i], moves[i].oldKey, r);
      if (moves[i].add) InsertEntry(tags_[i], moves[i].newKey, r);
      // A unique tag whose holder of a key moves on hands the key to the next
      // record that has it, so that every distinct key stays findable.
      if (held && tags_[i].desc.unique != kUniqueNone) Promote(static_cast<int>(i), moves[i].oldKey, r);
    }
    return Apply(write);
  });
}

void CdxIndex::Promote(int tagIndex, const std::string& key, std::uint32_t except) {
  TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  if (Contains(tag, key, except)) return;
  int code = kSuccess;
  auto dbf = SharedFile::Open(SiblingFile(file_->Path(), ".dbf"), false, code);
  if (!dbf) return;
  unsigned char h[12];
  if (!dbf->Read(0, h, sizeof h)) return;
  const long count = static_cast<long>(Le32(h + 4));
  const int headerLength = Le16(h + 8), recordLength = Le16(h + 10);
  const std::int64_t size = dbf->Size();
  if (recordLength < 1 || headerLength < 32 || size < headerLength) return;
  const long fits = static_cast<long>((size - headerLength) / recordLength);
  const long records = std::min(count, fits);
  const long chunk = std::max(1L, 65536L / recordLength);
  std::string buffer;
  for (long first = 1; first <= records; first += chunk) {
    const long n = std::min(chunk, records - first + 1);
    buffer.resize(static_cast<size_t>(n) * static_cast<size_t>(recordLength));
    if (!dbf->Read(headerLength + static_cast<std::int64_t>(first - 1) * recordLength, buffer.data(), buffer.size()))
      return;
    for (long k = 0; k < n; ++k) {
      const long recno = first + k;
      if (recno == static_cast<long>(except)) continue;
      std::string_view record(buffer.data() + static_cast<size_t>(k) * static_cast<size_t>(recordLength),
                              static_cast<size_t>(recordLength));
      if (Wanted(tagIndex, record, recno) && KeyFor(tag, record, recno) == key) {
        InsertEntry(tag, key, static_cast<std::uint32_t>(recno));
        return;
      }
    }
  }
}

namespace {

// Runs work(i) for every tag, side by side on large tables: the tags' sorts are
// independent and a reindex of a large table is mostly sorting. Small tables (nearly
// all of them) stay on the calling thread. The first failure is passed on.
void ForEachTag(size_t tags, size_t entries, const std::function<void(size_t)>& work) {
  constexpr size_t kParallelFrom = 50000;
  const size_t workers = std::min<size_t>(tags, std::max(1u, std::thread::hardware_concurrency()));
  if (tags < 2 || entries < kParallelFrom || workers < 2) {
    for (size_t i = 0; i < tags; ++i) work(i);
    return;
  }
  std::vector<std::exception_ptr> failures(tags);
  std::atomic<size_t> next{0};
  auto run = [&] {
    for (size_t i = next++; i < tags; i = next++) {
      try {
        work(i);
      } catch (...) {
        failures[i] = std::current_exception();
      }
    }
  };
  {
    std::vector<std::jthread> pool;
    for (size_t w = 1; w < workers; ++w) pool.emplace_back(run);
    run();
  }
  for (const auto& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

int CdxIndex::Rebuild(const std::function<bool(long& recno, std::string& record)>& next, long expected,
                      const std::function<int()>& before) {
  for (const auto& t : tags_)
    if (!t.key) return kErrorExpr;
  std::vector<std::string> keys(tags_.size());
  std::vector<std::vector<std::uint32_t>> recnos(tags_.size());
  const size_t room = static_cast<size_t>(std::clamp(expected, 0L, 1L << 24));
  for (size_t i = 0; i < tags_.size(); ++i) {
    keys[i].reserve(room * static_cast<size_t>(tags_[i].desc.keyLength));
    recnos[i].reserve(room);
  }
  long recno = 0;
  std::string record;
  while (next(recno, record)) {
    for (size_t i = 0; i < tags_.size(); ++i) {
      if (!Wanted(static_cast<int>(i), record, recno)) continue;
      AppendKey(tags_[i], record, recno, keys[i]);
      recnos[i].push_back(static_cast<std::uint32_t>(recno));
    }
  }
  std::vector<SortedKeys> entries(tags_.size());
  auto sortTag = [&](size_t i) {
    const size_t kl = static_cast<size_t>(tags_[i].desc.keyLength);
    const char* base = keys[i].data();
    const size_t count = recnos[i].size();
    // Sort on the first eight key bytes as a word, then the rest, then the
    // arrival (record) order.
    auto head = [&](size_t k) {
      std::uint64_t word = 0;
      const char* key = base + k * kl;
      for (size_t b = 0; b < 8; ++b) word = word << 8 | (b < kl ? static_cast<unsigned char>(key[b]) : 0u);
      return word;
    };
    std::vector<std::uint32_t> order(count);
    if (kl <= 8) {
      // Short keys: head and position make one number, sorted as such.
      std::vector<unsigned __int128> packed(count);
      for (size_t k = 0; k < count; ++k) packed[k] = static_cast<unsigned __int128>(head(k)) << 32 | k;
      std::sort(packed.begin(), packed.end());
      for (size_t k = 0; k < count; ++k) order[k] = static_cast<std::uint32_t>(packed[k]);
    } else {
      struct Item {
        std::uint64_t head;
        std::uint32_t index;
      };
      std::vector<Item> items(count);
      for (size_t k = 0; k < count; ++k) items[k] = {head(k), static_cast<std::uint32_t>(k)};
      const size_t rest = kl - 8;
      std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.head != b.head) return a.head < b.head;
        int c = std::memcmp(base + a.index * kl + 8, base + b.index * kl + 8, rest);
        if (c != 0) return c < 0;
        return a.index < b.index;
      });
      for (size_t k = 0; k < count; ++k) order[k] = items[k].index;
    }
    auto& out = entries[i];
    out.keys.reserve(order.size() * kl);
    out.recnos.reserve(order.size());
    const bool unique = tags_[i].desc.unique != kUniqueNone;
    for (std::uint32_t o : order) {
      const char* k = base + o * kl;
      if (unique && !out.recnos.empty() && std::memcmp(out.keys.data() + out.keys.size() - kl, k, kl) == 0) continue;
      out.keys.append(k, kl);
      out.recnos.push_back(recnos[i][o]);
    }
    keys[i].clear();
    keys[i].shrink_to_fit();
  };
  size_t total = 0;
  for (const auto& r : recnos) total += r.size();
  ForEachTag(tags_.size(), total, sortTag);
  const Layout layout = Lay(entries);
  const int code = Change([&] {
    const std::int64_t size = file_->Size();
    if (size < 0 || !file_->Grow(End(layout))) throw LockFailed{kErrorWrite};
    if (before) {
      const int done = before();
      if (done != kSuccess) {
        // Nobody has seen the longer file: the lock was held from before it grew.
        if (file_->Size() > size) file_->Truncate(size);
        return done;
      }
    }
    unsigned char h[32];
    if (ReadAt(0, h, sizeof h)) {
      std::memcpy(head_, h, sizeof h);
      counter_ = Be32(h + 8);
    }
    WriteAll(layout);
    return kSuccess;
  });
  if (code == kSuccess) error_ = kSuccess;
  return code;
}

int CdxIndex::CanRebuild() const {
  for (const auto& t : tags_)
    if (!t.key) return kErrorExpr;
  return kSuccess;
}

void CdxIndex::Refresh() { checkNext_ = true; }

// The change counter every writer bumps, and the update-in-progress mark.
std::uint64_t CdxIndex::ChangeMark() const {
  if (map_.Length() < 32) return 0;
  return static_cast<std::uint64_t>(Be32(map_.At(8))) << 8 | map_.At(0)[kMarkOffset];
}

int CdxIndex::Flush() { return kSuccess; }

// ---------------------------------------------------------------------------
// Reading: every operation first runs without the lock on cached pages; when it
// needs a page from the file it starts over holding the lock.

template <class R, class F>
R Reading(int& error, F&& body, R failed) {
  try {
    try {
      return body(false);
    } catch (const NeedLock&) {
    }
    return body(true);
  } catch (const CdxDamaged&) {
    error = kErrorIndex;
  } catch (const NeedLock&) {
    error = kErrorIndex;
  } catch (const LockFailed& f) {
    error = f.code;
  }
  return failed;
}

long CdxIndex::CursorRecno(TagState& tag) {
  CdxNode& n = Load(tag, tag.cursor.leaf);
  return static_cast<long>(n.recnos[static_cast<size_t>(tag.cursor.index)]);
}

long CdxIndex::Edge(int tagIndex, bool last) {
  TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  auto run = [&](bool locked) -> long {
    std::optional<IndexLock> guard;
    if (locked) guard.emplace(*this);
    Sync();
    std::uint32_t off = tag.root;
    std::vector<std::uint32_t> seen;
    for (int depth = 0;; ++depth) {
      if (depth >= kMaxDepth) throw CdxDamaged("index tree too deep");
      CdxNode& n = Load(tag, off);
      if (n.Leaf()) break;
      seen.push_back(off);
      off = last ? n.children.back() : n.children.front();
      if (std::find(seen.begin(), seen.end(), off) != seen.end()) throw CdxDamaged("index tree loops");
    }
    CdxNode& leaf = Load(tag, off);
    if (leaf.Count() == 0) {
      tag.cursor = Cursor();
      return 0;
    }
    tag.cursor = {generation_, off, last ? leaf.Count() - 1 : 0};
    return Settle(tag, last ? -1 : +1);
  };
  return Reading(error_, run, 0L);
}

long CdxIndex::First(int tag) {
  error_ = kSuccess;
  return Edge(tag, tags_[static_cast<size_t>(tag)].desc.descending);
}

long CdxIndex::Last(int tag) {
  error_ = kSuccess;
  return Edge(tag, !tags_[static_cast<size_t>(tag)].desc.descending);
}

long CdxIndex::Upcoming(int tagIndex, int direction, int distance) const {
  const TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  if (tag.cursor.generation != generation_ || tag.cursor.index < 0) return 0;
  const CdxNode* n = cache_.Find(tag.cursor.leaf);
  if (!n || !n->Leaf()) return 0;
  long i = tag.cursor.index + static_cast<long>(direction) * distance;
  if (i >= n->Count() && n->right != kNone) {
    // Past the leaf's end: the next leaf, when it is in the cache.
    i -= n->Count();
    n = cache_.Find(n->right);
  } else if (i < 0 && n->left != kNone) {
    n = cache_.Find(n->left);
    if (n) i += n->Count();
  }
  if (!n || !n->Leaf() || i < 0 || i >= n->Count()) return 0;
  return static_cast<long>(n->recnos[static_cast<size_t>(i)]);
}

// One entry forward (+1) or back (-1) from the cursor, checking that the order
// really moves, so that no damaged chain can walk in circles.
long CdxIndex::StepCursor(TagState& tag, int direction) {
  const int kl = tag.desc.keyLength;
  CdxNode& n = Load(tag, tag.cursor.leaf);
  const int i = tag.cursor.index;
  Step to{tag.cursor.leaf, i + direction};
  if (to.index < 0 || to.index >= n.Count()) {
    std::uint32_t off = tag.cursor.leaf;
    for (int guard = 0;; ++guard) {
      if (guard > kMaxDepth * 4) throw CdxDamaged("empty leaves in a row");
      CdxNode& cur = Load(tag, off);
      const std::uint32_t sib = direction > 0 ? cur.right : cur.left;
      if (sib == kNone) return 0;
      CdxNode& s = Load(tag, sib);
      if (!s.Leaf() || (direction > 0 ? s.left : s.right) != off) throw CdxDamaged("leaf chain broken");
      off = sib;
      if (s.Count() > 0) {
        to = {sib, direction > 0 ? 0 : s.Count() - 1};
        break;
      }
    }
    CdxNode& from = Load(tag, tag.cursor.leaf);
    CdxNode& dest = Load(tag, to.offset);
    int c = std::memcmp(from.keys.data() + static_cast<size_t>(i) * static_cast<size_t>(kl),
                        dest.keys.data() + static_cast<size_t>(to.index) * static_cast<size_t>(kl),
                        static_cast<size_t>(kl));
    std::uint32_t ra = from.recnos[static_cast<size_t>(i)], rb = dest.recnos[static_cast<size_t>(to.index)];
    bool forward = c < 0 || (c == 0 && ra < rb);
    if (forward != (direction > 0)) throw CdxDamaged("leaves out of order");
  }
  tag.cursor = {generation_, to.offset, to.index};
  return CursorRecno(tag);
}

bool CdxIndex::Visible(long recno) const {
  if (dbfMap_.Length() < 8) return true;
  return static_cast<std::uint32_t>(recno) <= Le32(dbfMap_.At(4));
}

long CdxIndex::Settle(TagState& tag, int direction) {
  long r = CursorRecno(tag);
  while (r != 0 && !Visible(r)) r = StepCursor(tag, direction);
  return r;
}

long CdxIndex::StepVisible(TagState& tag, int direction) {
  long r = StepCursor(tag, direction);
  while (r != 0 && !Visible(r)) r = StepCursor(tag, direction);
  return r;
}

long CdxIndex::Neighbour(int tagIndex, long recno, std::string_view record, int direction) {
  TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  if (tag.desc.descending) direction = -direction;
  error_ = kSuccess;
  // Fast path: the cursor still stands on this record, the pages are cached and
  // no other writer has been at the file since (its counter is read in memory).
  if (!checkNext_ && tag.cursor.generation == generation_ && map_.Length() >= 32 &&
      Be32(map_.At(8)) == counter_ && map_.At(0)[kMarkOffset] == 0) {
    CdxNode* hit = cache_.Find(tag.cursor.leaf);
    if (hit && tag.cursor.index >= 0 && tag.cursor.index < hit->Count() &&
        hit->recnos[static_cast<size_t>(tag.cursor.index)] == static_cast<std::uint32_t>(recno)) {
      try {
        return StepVisible(tag, direction);
      } catch (const NeedLock&) {
      } catch (const CdxDamaged&) {
        error_ = kErrorIndex;
        return 0;
      }
    }
  }
  auto run = [&](bool locked) -> long {
    std::optional<IndexLock> guard;
    if (locked) guard.emplace(*this);
    Sync();
    // Nothing changed since the cursor was set: step from it (the pages it needs
    // can be read now), which keeps a walk going forward even over an entry whose
    // stored key no longer matches its record.
    if (tag.cursor.generation == generation_) {
      CdxNode* hit = cache_.Find(tag.cursor.leaf);
      if (hit && tag.cursor.index >= 0 && tag.cursor.index < hit->Count() &&
          hit->recnos[static_cast<size_t>(tag.cursor.index)] == static_cast<std::uint32_t>(recno))
        return StepVisible(tag, direction);
    }
    if (!tag.key) return 0L;  // without its key the record cannot be found again
    return AroundEntry(tag, KeyFor(tag, record, recno), recno, direction, false);
  };
  return Reading(error_, run, 0L);
}

// From the entry (key, recno), or the place where it would stand, one entry on in
// stored order (direction +1 or -1); with stay the entry itself when it is there.
// The caller has synced the index.
long CdxIndex::AroundEntry(TagState& tag, const std::string& key, long recno, int direction, bool stay) {
  Path path = Locate(tag, key, static_cast<std::uint32_t>(recno), false);
  Step at = path.back();
  const int kl = tag.desc.keyLength;
  if (!Normalize(tag, at)) {
    // Past every entry: only a backward step finds something (the last entry).
    if (direction > 0) return 0L;
    CdxNode& n = Load(tag, path.back().offset);
    if (n.Count() > 0) {
      tag.cursor = {generation_, path.back().offset, n.Count() - 1};
      return Settle(tag, -1);
    }
    tag.cursor = {generation_, path.back().offset, 0};
    // An empty last leaf: step back from a virtual position.
    CdxNode& e = Load(tag, path.back().offset);
    if (e.left == kNone) return 0L;
    CdxNode& l = Load(tag, e.left);
    if (!l.Leaf() || l.Count() == 0) return 0L;
    tag.cursor = {generation_, e.left, l.Count() - 1};
    return Settle(tag, -1);
  }
  CdxNode& n = Load(tag, at.offset);
  const bool exact =
      n.recnos[static_cast<size_t>(at.index)] == static_cast<std::uint32_t>(recno) && n.Key(at.index, kl) == key;
  tag.cursor = {generation_, at.offset, at.index};
  if (exact) return stay ? Settle(tag, direction) : StepVisible(tag, direction);
  // Not in the tag (left out as a duplicate, or changed): the entry found is
  // the next one; the one before it is the previous.
  if (direction > 0) return Settle(tag, +1);
  return StepVisible(tag, -1);
}

long CdxIndex::Reposition(int tagIndex, const std::string& key, long recno, int direction) {
  TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  if (tag.desc.descending) direction = -direction;
  error_ = kSuccess;
  auto run = [&](bool locked) -> long {
    std::optional<IndexLock> guard;
    if (locked) guard.emplace(*this);
    Sync();
    return AroundEntry(tag, key, recno, direction, true);
  };
  return Reading(error_, run, 0L);
}

// The key of the entry the cursor stands on when it stands on recno and nothing has
// been read since that could have moved it; "" otherwise.
std::string_view CdxIndex::CursorEntry(const TagState& tag, long recno) const {
  if (tag.cursor.generation != generation_) return {};
  CdxNode* hit = cache_.Find(tag.cursor.leaf);
  if (!hit || tag.cursor.index < 0 || tag.cursor.index >= hit->Count()) return {};
  if (hit->recnos[static_cast<size_t>(tag.cursor.index)] != static_cast<std::uint32_t>(recno)) return {};
  return hit->Key(tag.cursor.index, tag.desc.keyLength);
}

bool CdxIndex::EntryMatches(int tagIndex, long recno, std::string_view record) {
  const TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  if (!tag.key) return true;
  const std::string_view entry = CursorEntry(tag, recno);
  if (entry.empty()) return true;
  // A key that is one character field is compared in place (seeks check every
  // record they land on).
  if (const auto field = CharKeyBytes(tag, record)) {
    const std::string_view bytes = *field;
    if (bytes.size() >= entry.size()) return bytes.substr(0, entry.size()) == entry;
    return entry.substr(0, bytes.size()) == bytes &&
           entry.find_first_not_of(' ', bytes.size()) == std::string_view::npos;
  }
  return KeyFor(tag, record, recno) == entry;
}

std::string CdxIndex::CursorKey(int tagIndex, long recno) {
  return std::string(CursorEntry(tags_[static_cast<size_t>(tagIndex)], recno));
}

bool CdxIndex::Unchanged() const {
  unsigned char h[32];
  if (map_.Length() >= 32) {
    std::memcpy(h, map_.At(0), sizeof h);
  } else if (!ReadAt(0, h, sizeof h)) {
    return true;
  }
  return Be32(h + 8) == counter_ && h[kMarkOffset] == 0;
}

std::uint64_t CdxIndex::SyncedMark() const {
  if (map_.Length() < 32) return ~std::uint64_t{0};
  return static_cast<std::uint64_t>(counter_) << 8;
}

long CdxIndex::Next(int tag, long recno, std::string_view record) { return Neighbour(tag, recno, record, +1); }
long CdxIndex::Prev(int tag, long recno, std::string_view record) { return Neighbour(tag, recno, record, -1); }

SeekResult CdxIndex::SeekKey(TagState& tag, const std::string& key, bool prefix) {
  auto run = [&](bool locked) -> SeekResult {
    std::optional<IndexLock> guard;
    if (locked) guard.emplace(*this);
    Sync();
    const int kl = tag.desc.keyLength;
    const size_t m = std::min(key.size(), static_cast<size_t>(kl));
    Path path = Locate(tag, key, 0, prefix);
    Step at = path.back();
    auto matches = [&](const Step& s) {
      CdxNode& n = Load(tag, s.offset);
      return std::memcmp(n.keys.data() + static_cast<size_t>(s.index) * static_cast<size_t>(kl), key.data(), m) == 0;
    };
    const bool any = Normalize(tag, at);
    if (!tag.desc.descending) {
      if (!any) {
        tag.cursor = Cursor();
        return SeekResult{kEof, 0};
      }
      tag.cursor = {generation_, at.offset, at.index};
      const long r = Settle(tag, +1);
      if (r == 0) {
        tag.cursor = Cursor();
        return SeekResult{kEof, 0};
      }
      return SeekResult{matches({tag.cursor.leaf, tag.cursor.index}) ? kSuccess : kAfter, r};
    }
    // Descending: the first match in walking order is the last one stored.
    if (any && matches(at)) {
      tag.cursor = {generation_, at.offset, at.index};
      for (int guard = 0; guard < 10000000; ++guard) {
        Cursor keep = tag.cursor;
        long r = StepCursor(tag, +1);
        if (r == 0 || !matches({tag.cursor.leaf, tag.cursor.index})) {
          tag.cursor = keep;
          break;
        }
      }
      const long r = Settle(tag, -1);
      if (r == 0) {
        tag.cursor = Cursor();
        return SeekResult{kEof, 0};
      }
      return SeekResult{matches({tag.cursor.leaf, tag.cursor.index}) ? kSuccess : kAfter, r};
    }
    // Otherwise the entry before the insertion point comes next in walking order.
    if (any) {
      tag.cursor = {generation_, at.offset, at.index};
      long r = StepVisible(tag, -1);
      if (r == 0) {
        tag.cursor = Cursor();
        return SeekResult{kEof, 0};
      }
      return SeekResult{kAfter, r};
    }
    long r = Edge(static_cast<int>(&tag - tags_.data()), true);
    return r == 0 ? SeekResult{kEof, 0} : SeekResult{kAfter, r};
  };
  error_ = kSuccess;
  SeekResult failed{kErrorIndex, 0};
  SeekResult r = Reading(error_, run, failed);
  if (error_ != kSuccess) r.code = error_;
  return r;
}

SeekResult CdxIndex::Seek(int tagIndex, std::string_view key) {
  TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  const int kl = tag.desc.keyLength;
  switch (tag.desc.keyType) {
    case 'N': return SeekKey(tag, EncodeDouble(ParseNumber(key), kl), false);
    case 'D': {
      std::string_view t = key;
      while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
      return SeekKey(tag, EncodeDouble(static_cast<double>(JulianFromText(t)), kl), false);
    }
    case 'L': {
      bool v = !key.empty() && (key[0] == 'T' || key[0] == 't' || key[0] == 'Y' || key[0] == 'y');
      return SeekKey(tag, std::string(1, v ? 'T' : 'F'), false);
    }
    default: {
      std::string k(key.substr(0, static_cast<size_t>(kl)));
      return SeekKey(tag, k, true);
    }
  }
}

SeekResult CdxIndex::SeekDouble(int tagIndex, double value) {
  TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  switch (tag.desc.keyType) {
    case 'N': case 'D': return SeekKey(tag, EncodeDouble(value, tag.desc.keyLength), false);
    default: {
      std::string text = FormatNumber(value, 20, 0);
      size_t start = text.find_first_not_of(' ');
      return Seek(tagIndex, start == std::string::npos ? "" : text.substr(start));
    }
  }
}

std::string CdxIndex::StoredKey(int tagIndex, long recno, std::string_view record) {
  TagState& tag = tags_[static_cast<size_t>(tagIndex)];
  const int kl = tag.desc.keyLength;
  // The cursor usually stands on the record already.
  auto fromCursor = [&]() -> std::string {
    if (tag.cursor.generation != generation_) return {};
    CdxNode* hit = cache_.Find(tag.cursor.leaf);
    if (!hit || tag.cursor.index < 0 || tag.cursor.index >= hit->Count()) return {};
    if (hit->recnos[static_cast<size_t>(tag.cursor.index)] != static_cast<std::uint32_t>(recno)) return {};
    return std::string(hit->Key(tag.cursor.index, kl));
  };
  std::string k = fromCursor();
  if (!k.empty() || !tag.key) return k;
  auto run = [&](bool locked) -> std::string {
    std::optional<IndexLock> guard;
    if (locked) guard.emplace(*this);
    Sync();
    const std::string key = KeyFor(tag, record, recno);
    Path path = Locate(tag, key, static_cast<std::uint32_t>(recno), false);
    Step at = path.back();
    if (!Normalize(tag, at)) return std::string();
    CdxNode& n = Load(tag, at.offset);
    if (n.recnos[static_cast<size_t>(at.index)] == static_cast<std::uint32_t>(recno) && n.Key(at.index, kl) == key)
      return key;
    return std::string();
  };
  return Reading(error_, run, std::string());
}

int CdxIndex::Walk(int tagIndex, const std::function<void(std::string_view key, long recno)>& visit) {
  return WalkTree(tags_[static_cast<size_t>(tagIndex)], visit, true);
}

int CdxIndex::WalkTree(TagState& tag, const std::function<void(std::string_view key, long recno)>& visit,
                       bool sync) {
  const int kl = tag.desc.keyLength;
  auto run = [&](bool locked) -> int {
    std::optional<IndexLock> guard;
    if (locked) guard.emplace(*this);
    // Another process may have rebuilt (and shortened) the file since the pages
    // were cached.
    if (sync) Sync();
    // Leftmost leaf, then along the chain with the order checked at every step.
    std::uint32_t off = tag.root;
    std::vector<std::uint32_t> seen;
    for (int depth = 0;; ++depth) {
      if (depth >= kMaxDepth) throw CdxDamaged("index tree too deep");
      CdxNode& n = Load(tag, off);
      if (n.Leaf()) break;
      seen.push_back(off);
      off = n.children.front();
      if (std::find(seen.begin(), seen.end(), off) != seen.end()) throw CdxDamaged("index tree loops");
    }
    // Collect first, so that a restart under the lock does not visit twice.
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    std::uint32_t prev = kNone;
    const std::uint32_t maxPages = fileSize_ / kPageSize;
    for (std::uint32_t pages = 0; off != kNone; ++pages) {
      if (pages > maxPages) throw CdxDamaged("leaf chain loops");
      CdxNode& n = Load(tag, off);
      if (!n.Leaf() || n.left != prev) throw CdxDamaged("leaf chain broken");
      for (int i = 0; i < n.Count(); ++i) {
        std::string_view k = n.Key(i, kl);
        if (!entries.empty()) {
          int c = std::memcmp(entries.back().first.data(), k.data(), static_cast<size_t>(kl));
          if (c > 0 || (c == 0 && entries.back().second >= n.recnos[static_cast<size_t>(i)]))
            throw CdxDamaged("entries out of order");
        }
        entries.emplace_back(std::string(k), n.recnos[static_cast<size_t>(i)]);
      }
      prev = off;
      off = n.right;
    }
    for (auto& [k, r] : entries) visit(k, static_cast<long>(r));
    return kSuccess;
  };
  int error = kSuccess;
  int rc = Reading(error, run, kErrorIndex);
  return error != kSuccess ? error : rc;
}

}  // namespace xbase::detail
