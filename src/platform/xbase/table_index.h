#pragma once
// The seam between a table and its production index: the table owns the record
// bytes and calls these at the moments the index must follow; the index owns the
// CDX file, its tags and their key expressions. Internal to the engine.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/xbase/xbase.h"

namespace xbase::detail {

// A field as it lies in the record buffer (the deleted flag is byte 0).
struct FieldLayout {
  std::string name;  // upper case
  char type = 'C';
  int offset = 0;
  int length = 0;
  int decimals = 0;
};

// What an expression evaluator needs to read a record: its fields, and the memo
// text behind a memo field (empty function: memos read as "").
struct RecordLayout {
  std::vector<FieldLayout> fields;
  int recordLength = 0;
  std::function<std::string(std::string_view record, const FieldLayout& field)> memoText;

  const FieldLayout* Find(std::string_view name) const;  // without regard to case
};

struct SeekResult {
  int code = kEof;  // kSuccess, kAfter, kEof
  long recno = 0;   // the record positioned on (0 at end of file)
};

struct TagDescription {
  std::string name;  // upper case, at most 10 characters
  std::string expression;
  std::string filter;
  int unique = kUniqueNone;
  bool descending = false;
  char keyType = 'C';  // C, N, D or L
  int keyLength = 0;
};

// The data file's writes of one append or write-back, run by the index at the one
// moment that keeps a killed process from leaving a wrong index behind. A reference
// to a callable that lives for the call (no allocation on the append path).
class WriteStep {
 public:
  template <class F>
  WriteStep(F&& f)  // NOLINT(google-explicit-constructor): passed as a lambda
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* o) { return (*static_cast<std::remove_reference_t<F>*>(o))(); }) {}
  int operator()() const { return call_(object_); }

 private:
  void* object_;
  int (*call_)(void*);
};

class TableIndex {
 public:
  virtual ~TableIndex() = default;

  // Maintenance. The index finds what the write changes in every tag (a non-zero
  // result, kUnique, refuses it before anything is written), marks the file "update
  // in progress", runs write (the record, its memos and the count), writes its own
  // pages and clears the mark. A process killed anywhere between leaves the mark,
  // and the index then reads as damaged until a reindex; a failed write leaves the
  // tags as they were.
  virtual int Insert(long recno, std::string_view record, WriteStep write) = 0;
  virtual int Replace(long recno, std::string_view before, std::string_view after, WriteStep write) = 0;
  // Whether the file carries the mark of an update that a killed writer cut short
  // (sound only where no writer can be at work: under the table's file lock).
  virtual bool CutShort() const { return false; }
  // A pack's journal. Hold takes the index lock and sets the update mark for the
  // whole pack (the rebuild at its end clears it; Release lets the lock go, and with
  // unchanged clears a mark that Hold set when nothing was written after all). Note
  // records that the records kept from first on (0-based) lie complete beyond the
  // table's count, kept of them in all, so that a reindex after a kill finishes the
  // move; Noted reads it back (false when no pack was that far).
  virtual int Hold() { return kSuccess; }
  virtual void Release(bool /*unchanged*/) {}
  // While the table is locked whole: keep the index lock from one change to the next
  // (true) instead of taking it for each, and let it go again (false). Every change
  // still marks, writes and clears as above.
  virtual void Keep(bool /*keep*/) {}
  // A bulk copy into a table locked whole: Defer takes the index lock and marks the
  // file for the whole copy; from then on Insert and Replace refuse what a unique
  // (15) tag would refuse and run the data file's writes without touching a page,
  // and reads see the tags as they were. Resume rebuilds every tag once from the
  // records (which clears the mark) and lets the lock go. A process killed in
  // between leaves the mark, and the reindex it calls for makes the tags whole.
  virtual int Defer() { return kErrorIndex; }
  virtual int Resume(const std::function<bool(long& recno, std::string& record)>& /*next*/, long /*expected*/) {
    return kSuccess;
  }
  virtual bool Deferred() const { return false; }
  virtual int Note(long /*first*/, long /*kept*/) { return kErrorIndex; }
  virtual bool Noted(long& /*first*/, long& /*kept*/) const { return false; }
  // Rebuilds every tag from all records (pack, reindex). next() yields records in
  // record-number order and returns false after the last; expected, when known, is
  // how many it will yield (room is made for their keys at once). The new index's
  // disk space is taken before its first byte is written, so that a full disk
  // refuses the rebuild (kErrorWrite) with the index as it was. before, when given,
  // runs once that space is there and before the index is written (a pack moves its
  // records then, after next() has read them where they were); its failure is
  // returned with the index untouched.
  virtual int Rebuild(const std::function<bool(long& recno, std::string& record)>& next, long expected = 0,
                      const std::function<int()>& before = {}) = 0;
  // kErrorExpr when a tag's key cannot be evaluated here (a foreign function): then
  // Insert, Replace and Rebuild refuse. Pack asks before it moves any record.
  virtual int CanRebuild() const { return kSuccess; }
  // Another process may have changed the file: drop what is cached.
  virtual void Refresh() = 0;
  // A number that moves whenever any writer (this process or another) changes the
  // index, read without a system call: records read ahead for a walk are kept only
  // while it stands still.
  virtual std::uint64_t ChangeMark() const { return 0; }
  virtual int Flush() = 0;
  // kErrorIndex once a walk or seek met a damaged page (First/Next/... answer 0 then).
  virtual int Error() const { return 0; }

  // Tags, 0-based.
  virtual int TagCount() const = 0;
  virtual const TagDescription& Tag(int tag) const = 0;

  // Order on one tag. Positions are record numbers; 0 means none (end or start).
  virtual long First(int tag) = 0;
  virtual long Last(int tag) = 0;
  // The record after / before (recno, record) in tag order.
  virtual long Next(int tag, long recno, std::string_view record) = 0;
  virtual long Prev(int tag, long recno, std::string_view record) = 0;
  virtual SeekResult Seek(int tag, std::string_view key) = 0;
  virtual SeekResult SeekDouble(int tag, double key) = 0;
  // The key text an expression gives for a record, and the key stored for it.
  virtual std::string KeyOf(int tag, std::string_view record) = 0;
  virtual std::string StoredKey(int tag, long recno, std::string_view record) = 0;

  // A record reached in tag order, checked against the entry that led to it. A writer
  // changes the index before it writes the record back, so a reader can meet the
  // entry's new key beside the record's old bytes (or, the other way round, new bytes
  // beside an entry read before the change).
  // Whether the record's key is the one of the entry the last move stopped on; true
  // when that entry is no longer at hand (nothing to check it against).
  virtual bool EntryMatches(int /*tag*/, long /*recno*/, std::string_view /*record*/) { return true; }
  // The key of that entry, "" when it is not at hand.
  virtual std::string CursorKey(int /*tag*/, long /*recno*/) { return {}; }
  // Whether no writer has changed the index since the last move read it.
  virtual bool Unchanged() const { return true; }
  // ChangeMark() as the last move read the index: equal to ChangeMark() while it
  // stands still (never equal when unknown).
  virtual std::uint64_t SyncedMark() const { return ~std::uint64_t{0}; }
  // The entry (key, recno) as the index is now, or where it stood: the recno there,
  // else of the next entry in walking direction (+1 forward, -1 back); 0 at an end.
  virtual long Reposition(int /*tag*/, const std::string& /*key*/, long /*recno*/, int /*direction*/) { return 0; }
  // The record distance entries beyond the last move's entry in walking direction,
  // when the index has it at hand without reading; 0 otherwise. Only a hint: a
  // walk asks for the record's bytes early with it.
  virtual long Upcoming(int /*tag*/, int /*direction*/, int /*distance*/) const { return 0; }
};

// Opens the production index of a table; nullptr with code set (kErrorIndex) when
// the file is damaged. forRebuild: only its tag definitions are wanted, to rebuild
// it; the mark of a cut-short update (which otherwise refuses the file) is let pass.
std::unique_ptr<TableIndex> OpenProductionIndex(const std::string& cdxPath, const RecordLayout& layout,
                                                int& code, bool forRebuild = false);
// Whether the index file carries the mark of an update that a killed writer cut
// short (read without its lock: only a dead writer's mark outlives the appender's
// header lock that the caller holds).
bool ProductionIndexCutShort(const std::string& cdxPath);
// Creates a production index with the given tags.
std::unique_ptr<TableIndex> CreateProductionIndex(const std::string& cdxPath, const RecordLayout& layout,
                                                  const std::vector<TagInfo>& tags, int& code);

}  // namespace xbase::detail
