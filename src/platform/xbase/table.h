#pragma once
// The engine's inside: an open table (DBF with its FPT memo file and production
// index) and the registry that turns the API's 32-bit handles into objects.
//
// Everything the facade functions of xbase.h do goes through these. Tag and seek
// code reaches a table with Registry::Get().FindTable(data) (or FindTag for a
// Tag4), reads the record buffer with Record(), positions with PositionAt(), and
// uses Index() / SelectedTag() / SelectTag().
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/xbase/fpt.h"
#include "platform/xbase/table_index.h"
#include "platform/xbase/xbase.h"

namespace xbase::detail {

class SharedFile;  // one descriptor and its lock book per file and process (shared_file.h)

// Base of objects that live behind an Expr4 handle (the expression code derives from it).
struct HandleObject {
  virtual ~HandleObject() = default;
};

// Settings and the pending error code of one engine context.
struct Context {
  Code4 handle = 0;
  int autoOpen = 1;
  int errOff = 0;
  int errTagName = 0;
  int optimize = 0;
  int accessMode = 0;
  int errorCode = 0;  // pending code, read and replaced by code4errorCode
};

class Table {
 public:
  // Opens path (found without regard to case). nullptr with code set on failure:
  // kErrorAccess, kErrorDamaged, kErrorMemo, or the index's code.
  static std::unique_ptr<Table> Open(const std::string& path, bool autoOpenIndex, int& code);
  static std::unique_ptr<Table> Create(const std::string& path, const std::vector<FieldInfo>& fields,
                                       const std::vector<TagInfo>& tags, int& code);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Set by the registry.
  Data4 Handle() const { return handle_; }
  Code4 CodeHandle() const { return code_; }

  const std::string& Path() const { return path_; }  // the .dbf as opened
  const RecordLayout& Layout() const { return layout_; }
  int FieldCount() const { return static_cast<int>(layout_.fields.size()); }
  const FieldLayout& Field(int index) const { return layout_.fields[index]; }  // 0-based
  int RecordLength() const { return layout_.recordLength; }
  unsigned char Version() const { return version_; }
  int HeaderLength() const { return headerLength_; }

  // --- position -----------------------------------------------------------
  // Codes as the API: kSuccess on a record, kEof, kBof, negative errors. Every
  // move writes a changed record back first. With a tag selected, Top/Bottom/
  // Skip follow the tag; otherwise record-number order.
  int Top();
  int Bottom();
  int Skip(long count);
  int Go(long recno);  // natural position on recno; kErrorRecord out of range
  int GoEof();
  // For seeks and tag walks: writes back, then positions on recno (0: end of file).
  int PositionAt(long recno);
  // After a move in tag order onto the current record: whether its bytes are the
  // ones its index entry was made from (or there is nothing to check). A writer
  // changes the index before it writes the record back, holding the record's lock
  // from before the one until after the other.
  bool MatchesItsEntry(int tag) const;
  // When they are not: waits for that lock (reading the record again), and if the
  // index has moved on meanwhile finds the place again with again(entryKey, recno)
  // (0: none). kSuccess on a record (perhaps another one), kEof when again() found
  // none (the position is left to the caller), or an error.
  using Refind = std::function<long(const std::string& entryKey, long recno)>;
  int SettleTagRecord(int tag, const Refind& again);
  long RecNo() const { return eof_ || appending_ ? 0 : recno_; }  // 0 when there is no current record
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  long RecCount();  // re-reads the header count (other processes may have appended)

  // --- record buffer --------------------------------------------------------
  std::string_view Record() const { return record_; }
  char* MutableRecord();  // marks the buffer changed
  bool Changed() const { return changed_; }
  // The buffer holds a record or a started append (fields may be assigned).
  bool Editing() const { return appending_ || (!eof_ && recno_ >= 1); }
  bool Appending() const { return appending_; }
  int WriteBack();        // writes a changed current record (index Replace first)
  int AppendStart(int useMemoEntries);
  int Blank();
  int Append();
  int SetDeleted(bool deleted);
  bool Deleted() const { return !record_.empty() && record_[0] == '*'; }
  int Pack();
  int MemoCompress();

  // Memo of a field of the current buffer (pending assignments included).
  std::string MemoText(int field);
  int SetMemo(int field, std::string_view text);
  bool IsMemo(int field) const;

  // Reads any record's bytes (no position change); false past the end.
  bool ReadRecord(long recno, std::string& out);
  // Hands records 1..last to visit in order, read a stretch at a time (no position
  // change); a record past the file's end comes as ReadRecord leaves it.
  void ReadRecords(long last, const std::function<void(long recno, std::string& record)>& visit);
  // Memo text behind a record's pointer bytes (any record); "" for none, and "" with
  // kErrorMemo left pending in the context for a damaged pointer, block or length.
  std::string MemoOf(std::string_view record, const FieldLayout& field);

  // --- locks ----------------------------------------------------------------
  int Lock(long recno);  // kLocked while another process holds it; gives back the earlier record
  int LockAll();
  int Unlock();
  // With the whole file locked: appends (and write-backs) leave the tags alone until
  // the bulk copy ends (off, Unlock or Close), which rebuilds them once. See
  // TableIndex::Defer. kLocked without the file lock; nothing to do without an index.
  int BulkAppend(bool on);

  // --- index ----------------------------------------------------------------
  TableIndex* Index() const { return index_.get(); }
  int SelectedTag() const { return selectedTag_; }  // -1 natural order
  void SelectTag(int tag) { selectedTag_ = tag; }
  // Rebuilds every tag from all records under the file lock (pack, reindex).
  int RebuildIndex();

  // Raw header details (the dump's INFO lines).
  unsigned char Flags() const { return flags_; }
  unsigned char Codepage() const { return codepage_; }
  int Terminator() const { return terminator_; }
  std::uint32_t Displacement(int field) const { return displacement_[field]; }
  unsigned char FieldFlags(int field) const { return fieldFlags_[field]; }
  const std::string& MemoPath() const { return memoPath_; }  // "" without memo fields
  const std::string& IndexPath() const { return cdxPath_; }  // "" without an index open
  bool ReadOnly() const { return readOnly_; }

  int Flush();  // writes back the record, flushes the index
  int Close();  // writes back, flushes, releases locks

 private:
  Table() = default;
  friend class Registry;

  static std::unique_ptr<Table> OpenResolved(const std::string& dbfPath, bool autoOpenIndex, int& code);
  // walking: a skip may take the record from the records read ahead.
  int LoadRecord(long recno, bool walking = false);
  struct ReadAheadSlot {
    std::size_t width, perBlock, block, at;  // at: where the record starts in its block
  };
  ReadAheadSlot SlotOf(long recno) const;
  bool ReadAhead(long recno, std::string& out);
  void PrefetchAhead(long recno) const;
  std::function<bool(long&, std::string&)> RecordsInStretches(long last);
  void DropReadAhead();
  void PatchReadAhead(long recno, std::string_view bytes);
  int WriteRecord(long recno, std::string_view bytes);
  int ReadHeaderCount(long& count);
  int LockHeader();
  void UnlockHeader();
  bool HoldsFileLock() const;
  int LockFileForWrite(bool& took);
  int CutTail();
  int MoveDown(long first, std::int64_t from, std::int64_t bytes);
  int SetCount(long count);
  int FinishPack(TableIndex& index);
  std::int64_t RecordLockOffset(long recno) const;
  void SetEofState();
  int StorePendingMemos(std::string& record, std::string_view before);
  void MemosStored();
  void UnstoreMemos();
  void BlankBuffer();
  void PrefetchMemos();
  void ReportDamage(int code);
  void ForgetMemos();
  void CacheMemo(int field, std::string text);
  int NaturalSkip(long count);
  int TagSkip(long count);

  Data4 handle_ = 0;
  Code4 code_ = 0;
  std::string path_;
  std::string memoPath_;
  std::string cdxPath_;
  std::shared_ptr<SharedFile> file_;
  std::unique_ptr<MemoFile> memo_;
  std::unique_ptr<TableIndex> index_;
  RecordLayout layout_;
  std::vector<int> memoWidth_;  // per field: 0 not a memo, else 10 or 4
  unsigned char version_ = 0x03;
  unsigned char flags_ = 0;
  unsigned char codepage_ = 0;
  int headerLength_ = 0;
  int terminator_ = 0;
  std::vector<std::uint32_t> displacement_;  // per field, bytes 12-15 of its descriptor
  std::vector<unsigned char> fieldFlags_;    // per field, byte 18 of its descriptor
  long count_ = 0;       // record count as last read or written
  long recno_ = 0;       // current record; 0 none
  bool eof_ = false;
  bool bof_ = false;
  bool appending_ = false;  // the buffer is a new record not yet appended
  bool changed_ = false;
  bool readOnly_ = false;
  int selectedTag_ = -1;
  long lockedRecord_ = 0;  // the record this handle holds locked through Lock, 0 none
  std::string record_;    // current record buffer
  std::string original_;  // the record as read, for index Replace
  // Memo texts of the record in the buffer, per field: assigned and not yet written
  // (pending), or read from the memo file (cached).
  struct MemoSlot {
    bool pending = false;
    bool cached = false;
    std::string text;
  };
  std::vector<MemoSlot> memos_;
  int pendingMemos_ = 0;
  bool anyMemoCached_ = false;
  bool memoPrefetched_ = false;
  std::string scratch_;   // record read before it replaces the buffer
  // Records read ahead for walks: blocks of consecutive records, each read with one
  // system call. Kept from one skip to the next while the header's record count and
  // the index's change mark stand still; dropped at every point where another
  // process's writes must become visible (top, bottom, go, seek, record count) and
  // patched by this handle's own writes.
  // The blocks lie where they lie in the file, in one buffer that is kept from one
  // walk to the next (a block counts as read when its round is the current one).
  // readAheadSize_ bytes of memory of its own (large pages where the system gives
  // them: a walk in key order touches the blocks in no order).
  struct Buffer {
    Buffer() = default;
    explicit Buffer(std::size_t size);
    ~Buffer();
    Buffer(Buffer&& other) noexcept;
    Buffer& operator=(Buffer&& other) noexcept;
    char* get() const { return data_; }

   private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
  };
  Buffer readAhead_;
  std::size_t readAheadSize_ = 0;
  std::vector<std::uint64_t> readAheadRound_;  // per block: the round it was read in
  std::vector<std::uint32_t> readAheadLength_;  // per block: whole records' bytes read
  std::uint64_t round_ = 1;
  long readAheadCount_ = -1;  // header count when the blocks were read
  std::uint64_t readAheadMark_ = 0;
  bool readAheadRecord_ = false;  // the buffer's record came from the blocks read ahead
  std::string memoSpan_;  // the memo file bytes behind the buffer's memos
  std::vector<std::uint32_t> memoBlocks_;
  std::vector<MemoFile::Put> puts_;
};

// Handles of every kind come from one counter and are never reused. Closing a
// table drops its field, tag and expression handles.
class Registry {
 public:
  static Registry& Get();
  ~Registry();

  Code4 AddContext();
  Context* FindContext(Code4 code);
  int RemoveContext(Code4 code);  // closes the context's tables first

  Data4 AddTable(Code4 code, std::unique_ptr<Table> table);
  Table* FindTable(Data4 data);
  int CloseTable(Data4 data);
  std::vector<Data4> TablesOf(Code4 code) const;

  struct Member {
    Table* table = nullptr;
    int index = -1;  // 0-based field or tag index
  };
  Field4 FieldHandle(Data4 data, int index);  // the same handle on every call; 0 out of range
  Member FindField(Field4 field);
  Tag4 TagHandle(Data4 data, int index);      // the same handle on every call; 0 out of range
  Member FindTag(Tag4 tag);

  Expr4 AddExpr(Data4 data, std::unique_ptr<HandleObject> object);
  HandleObject* FindExpr(Expr4 expr, Table** table = nullptr);
  void RemoveExpr(Expr4 expr);

 private:
  Registry();
  struct Entry {
    enum class Kind { kContext, kTable, kField, kTag, kExpr };
    Kind kind = Kind::kContext;
    Data4 owner = 0;  // table of a field, tag or expression; context of a table
    Table* ownerTable = nullptr;  // the owner itself, for a field, tag or expression
    int index = -1;
    std::unique_ptr<Context> context;
    std::unique_ptr<Table> table;
    std::unique_ptr<HandleObject> object;
  };
  std::int32_t next_ = 1;
  int pid_ = 0;
  std::unordered_map<std::int32_t, Entry> entries_;
  // (table, index) -> handle, so that repeated asks give one handle.
  std::unordered_map<std::int64_t, std::int32_t> fieldHandles_;
  std::unordered_map<std::int64_t, std::int32_t> tagHandles_;

  std::int32_t MemberHandle(std::unordered_map<std::int64_t, std::int32_t>& handles, Entry::Kind kind,
                            Data4 data, Table* table, int index);
  Member FindMember(std::int32_t handle, Entry::Kind kind);
};

}  // namespace xbase::detail
