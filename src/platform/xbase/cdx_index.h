#pragma once
// The production CDX index of a table: the tag-of-tags, one B-tree per tag, kept
// in step with the table's records and shared with other processes.
//
// Sharing: pages are cached and the cache is trusted while the change counter in
// the file header (bytes 8-11) is unchanged. Writers hold the index lock (one byte
// at 0x7FFFFFFE of the .cdx), mark the header "update in progress" (byte 28) and
// bump the counter before they touch any page, and clear the mark when every page
// is written. A mark found without a writer holding the lock is the trace of a
// writer that died midway: the index reads as damaged and needs rebuilding.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/xbase/cdx_map.h"
#include "platform/xbase/cdx_node.h"
#include "platform/xbase/expr.h"
#include "platform/xbase/table_index.h"

namespace xbase::detail {

class SharedFile;

// Header byte set while an update is being written (ours; zero in other writers' files).
inline constexpr int kCdxMarkOffset = 28;

// Decoded pages by their offset.
class PageCache {
 public:
  CdxNode* Find(std::uint32_t offset) const {
    const size_t i = offset / kPageSize;
    return i < slots_.size() ? slots_[i].get() : nullptr;
  }
  CdxNode& Make(std::uint32_t offset) {
    const size_t i = offset / kPageSize;
    if (i >= slots_.size()) slots_.resize(i + 1 + i / 4);
    slots_[i] = std::make_unique<CdxNode>();
    return *slots_[i];
  }
  void Erase(std::uint32_t offset) {
    const size_t i = offset / kPageSize;
    if (i < slots_.size()) slots_[i].reset();
  }
  void Clear() { slots_.clear(); }

 private:
  std::vector<std::unique_ptr<CdxNode>> slots_;
};

class CdxIndex final : public TableIndex {
 public:
  static std::unique_ptr<CdxIndex> Open(const std::string& path, const RecordLayout& layout, int& code,
                                        bool forRebuild = false);
  static std::unique_ptr<CdxIndex> Create(const std::string& path, const RecordLayout& layout,
                                          const std::vector<TagInfo>& tags, int& code);
  ~CdxIndex() override;

  int Insert(long recno, std::string_view record, WriteStep write) override;
  int Replace(long recno, std::string_view before, std::string_view after, WriteStep write) override;
  bool CutShort() const override;
  int Hold() override;
  void Release(bool unchanged) override;
  void Keep(bool keep) override;
  int Defer() override;
  int Resume(const std::function<bool(long& recno, std::string& record)>& next, long expected) override;
  bool Deferred() const override { return deferred_; }
  int Note(long first, long kept) override;
  bool Noted(long& first, long& kept) const override;
  int Rebuild(const std::function<bool(long& recno, std::string& record)>& next, long expected = 0,
              const std::function<int()>& before = {}) override;
  int CanRebuild() const override;
  void Refresh() override;
  std::uint64_t ChangeMark() const override;
  int Flush() override;
  int Error() const override { return error_; }

  int TagCount() const override { return static_cast<int>(tags_.size()); }
  const TagDescription& Tag(int tag) const override { return tags_[static_cast<size_t>(tag)].desc; }

  long First(int tag) override;
  long Last(int tag) override;
  long Next(int tag, long recno, std::string_view record) override;
  long Prev(int tag, long recno, std::string_view record) override;
  SeekResult Seek(int tag, std::string_view key) override;
  SeekResult SeekDouble(int tag, double key) override;
  std::string KeyOf(int tag, std::string_view record) override;
  std::string StoredKey(int tag, long recno, std::string_view record) override;
  bool EntryMatches(int tag, long recno, std::string_view record) override;
  std::string CursorKey(int tag, long recno) override;
  bool Unchanged() const override;
  std::uint64_t SyncedMark() const override;
  long Reposition(int tag, const std::string& key, long recno, int direction) override;
  long Upcoming(int tag, int direction, int distance) const override;

  // Every entry of a tag in stored (ascending) order; kErrorIndex on damage.
  int Walk(int tag, const std::function<void(std::string_view key, long recno)>& visit);
  bool Usable(int tag) const { return tags_[static_cast<size_t>(tag)].key != nullptr; }
  // Seek of key bytes as the tag stores them.
  SeekResult SeekEncoded(int tag, const std::string& key) {
    return SeekKey(tags_[static_cast<size_t>(tag)], key, tags_[static_cast<size_t>(tag)].desc.keyType == 'C');
  }
  // Whether a record belongs in the tag (its FOR condition).
  bool Wanted(int tag, std::string_view record, long recno) const;

  struct Step {
    std::uint32_t offset;
    int index;
  };
  // The nodes from a tag's root down to a leaf: held in place, as every key
  // maintained or sought makes one.
  static constexpr int kMaxDepth = 32;
  class Path {
   public:
    void push_back(Step step) { steps_[size_++] = step; }
    size_t size() const { return size_; }
    Step& operator[](size_t i) { return steps_[i]; }
    Step& back() { return steps_[size_ - 1]; }
    const Step* begin() const { return steps_.data(); }
    const Step* end() const { return steps_.data() + size_; }

   private:
    std::array<Step, kMaxDepth> steps_;
    size_t size_ = 0;
  };
  // Entries of one tag in order: keys back to back, and their record numbers.
  struct SortedKeys {
    std::string keys;
    std::vector<std::uint32_t> recnos;
  };
  struct Cursor {
    std::uint64_t generation = 0;
    std::uint32_t leaf = 0;
    int index = -1;
  };
  struct TagState {
    TagDescription desc;
    std::uint32_t header = 0;  // offset of its 1024-byte header
    std::uint32_t root = 0;
    char pad = ' ';
    std::string headerBytes;   // the header as read or made, 1024 bytes
    std::unique_ptr<Expression> key;
    std::unique_ptr<Expression> filter;
    Cursor cursor;
  };

 private:
  CdxIndex() = default;

  // Page cache and freshness.
  void Sync(bool force = false);
  void DropCache();
  template <class F>
  int Change(F&& change);
  void RefreshSize();
  bool ReadAt(std::uint32_t offset, void* to, std::size_t count) const;
  CdxNode& Load(const TagState& tag, std::uint32_t offset);
  std::uint32_t Allocate();
  void FreePage(std::uint32_t offset);
  // Writing the changed pages: Prepare grows the file and encodes them (nothing can
  // fail after it), MarkUpdate sets the update mark, Publish writes them and clears
  // it, Abandon clears it and forgets the changes (the pages stay as they were).
  void Commit();
  void Prepare();
  void MarkUpdate();
  void Publish();
  void Abandon();
  int Apply(WriteStep write);
  // A whole index file as WriteAll writes it: its pages from byte 1024 on (the
  // directory, the tag headers, the trees), laid out in memory first.
  struct Layout {
    std::string pages;
    std::uint32_t dirRoot = 0;
    std::vector<std::uint32_t> roots, headers;
  };
  static std::uint32_t End(const Layout& layout) { return 1024 + static_cast<std::uint32_t>(layout.pages.size()); }
  Layout Lay(std::vector<SortedKeys>& entries) const;
  void WriteAll(const Layout& layout);
  int LockIndex();
  void UnlockIndex();
  // The index lock for a scope: taken on the way in (LockFailed when it cannot be),
  // released on the way out.
  class IndexLock {
   public:
    explicit IndexLock(CdxIndex& index) : index_(index) { index_.LockIndex(); }
    ~IndexLock() { index_.UnlockIndex(); }
    IndexLock(const IndexLock&) = delete;
    IndexLock& operator=(const IndexLock&) = delete;

   private:
    CdxIndex& index_;
  };

  // Tree operations on one tag.
  Path Locate(TagState& tag, std::string_view key, std::uint32_t recno, bool prefix);
  bool Contains(TagState& tag, std::string_view key, std::uint32_t except);
  void WarmPaths(const std::vector<std::string>& keys, const std::vector<char>& add) const;
  void InsertEntry(TagState& tag, std::string_view key, std::uint32_t recno);
  bool DeleteEntry(TagState& tag, std::string_view key, std::uint32_t recno);
  void FixMax(TagState& tag, Path& path, size_t level);
  void SplitIfNeeded(TagState& tag, Path& path, size_t level);
  void RemoveNode(TagState& tag, Path& path, size_t level);
  void Promote(int tag, const std::string& key, std::uint32_t except);
  void SetRoot(TagState& tag, std::uint32_t root);
  // Cursor moves: the recno at the cursor after stepping, 0 at an end.
  long StepCursor(TagState& tag, int direction);
  long StepVisible(TagState& tag, int direction);
  long Settle(TagState& tag, int direction);
  bool Visible(long recno) const;
  void WatchTable();
  long CursorRecno(TagState& tag);
  bool Normalize(TagState& tag, Step& at);
  long Edge(int tag, bool last);
  long Neighbour(int tag, long recno, std::string_view record, int direction);
  long AroundEntry(TagState& tag, const std::string& key, long recno, int direction, bool stay);
  std::string_view CursorEntry(const TagState& tag, long recno) const;
  SeekResult SeekKey(TagState& tag, const std::string& key, bool prefix);
  std::string Encode(const TagState& tag, const ExprValue& value) const;
  std::string KeyFor(const TagState& tag, std::string_view record, long recno) const;
  std::optional<std::string_view> CharKeyBytes(const TagState& tag, std::string_view record) const;
  void AppendKey(const TagState& tag, std::string_view record, long recno, std::string& out) const;
  void ReadTags(bool forRebuild = false);
  int WalkTree(TagState& tag, const std::function<void(std::string_view key, long recno)>& visit,
               bool sync = false);
  TagState ReadTagHeader(const std::string& name, std::uint32_t offset, bool forRebuild);

  std::shared_ptr<SharedFile> file_;
  RecordLayout layout_;
  std::vector<TagState> tags_;
  TagState directory_;  // the tag-of-tags
  unsigned char head_[kPageSize] = {};
  std::uint32_t counter_ = 0;
  std::uint32_t freeHead_ = 0;
  std::uint32_t fileSize_ = 0;      // in whole pages
  std::uint32_t physicalSize_ = 0;  // as the system reports it
  std::uint32_t grownFrom_ = 0;     // the length before Prepare grew the file for a change, 0 when it did not
  CdxMap map_;
  std::shared_ptr<SharedFile> table_;  // the .dbf beside the index
  CdxMap dbfMap_;                      // its first page, for the record count
  std::uint64_t generation_ = 1;
  bool checkNext_ = false;
  int lockDepth_ = 0;
  int error_ = 0;
  PageCache cache_;
  std::vector<std::uint32_t> dirty_;
  std::unordered_map<std::uint32_t, std::string> rawPages_;  // freed pages, tag headers
  bool headDirty_ = false;
  bool marked_ = false;  // this process set the update mark and has not cleared it
  bool markedBefore_ = false;  // Hold found a dead writer's mark
  bool kept_ = false;  // Keep holds one level of the index lock
  bool deferred_ = false;  // between Defer and Resume
  // While deferred: per tag, the keys a unique (15) tag holds (empty set otherwise).
  std::vector<std::unordered_set<std::string>> deferredKeys_;
  // Scratch of Insert, kept so that an append allocates nothing for its keys.
  std::vector<std::string> insertKeys_;
  std::vector<char> insertAdd_;
};

// Tag names as stored: upper case, at most 10 characters.
std::string TagName(std::string_view name);

}  // namespace xbase::detail
