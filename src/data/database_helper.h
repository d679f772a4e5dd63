#pragma once
// The record-scan helper: nested seek-and-scan walks over (table, tag, key), each
// with its own position, and field reads and writes by field name.
//
// A walk is a loop over SeekNext with the same table, tag and key:
//
//   while (DbHelper().SeekNext(ref, tag, key)) { ... DbHelper().FieldValStr("name") ... }
//
// It pops its own frame when it runs out; a loop left early calls EndSeek. An
// inner walk on another (table, tag, key) pushes its own frame, so the outer walk
// resumes where it was; an inner walk that moves the same table brackets itself
// with RecordPosition and RestorePosition.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"
#include "data/table_ref.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// One walk in progress.
struct SeekFrame {
  TableRef Table;               // copied whole when the frame is pushed
  xbase::Tag4 Tag = 0;          // 0: record order
  std::string Key;              // "" walks every row
  std::int16_t Started = 0;     // false until the first row has been sought
  std::int32_t SavedRecNo = 0;  // remembered by RecordPosition
  std::int32_t RecNo = 0;       // the row this walk stands on
};

class DatabaseHelper {
 public:
  static constexpr int kMaxFrames = 25;

  DatabaseHelper() { Class_Initialize(); }
  void Class_Initialize() {}

  // The identifier field's full-width text on the top frame's row; "" without a frame.
  std::string CurrentID() const;
  // Pops the top frame; nothing when none is open.
  void EndSeek();
  // Remembers the top frame's current record number.
  void RecordPosition();
  // Drops a pending frame, then goes back to the record the top frame remembered.
  void RestorePosition();

  // Field reads. Without a table name the top frame's table is used; a named table
  // is found through the catalogue (folder "") or the registry (a folder). A missing
  // field ends the run.
  std::string FieldValStr(std::string_view field, std::string_view table = "", std::string_view folder = "");
  std::string FieldValMemoStr(std::string_view field, std::string_view table = "", std::string_view folder = "");
  std::string FieldValAsString(std::string_view field, std::string_view table = "", std::string_view folder = "");
  std::int32_t FieldValLng(std::string_view field, std::string_view table = "", std::string_view folder = "");
  bool FieldValB(std::string_view field, std::string_view table = "", std::string_view folder = "");

  // Field writes: each is skipped when the value is already stored; otherwise the
  // current record is locked first (waiting while another process holds it).
  void SetFieldLng(std::string_view field, std::string_view table, std::int32_t value, std::string_view folder = "");
  void SetFieldStr(std::string_view field, std::string_view table, std::string_view value, std::string_view folder = "");
  void SetFieldMemoStr(std::string_view field, std::string_view table, std::string_view value);
  // Stores "T" or "F".
  void SetFieldValB(std::string_view field, std::string_view table, bool value);
  // Writes one character, always.
  void SetFieldChar(std::string_view field, std::string_view table, int charCode);

  // The numeric value of the field over every row matching the key, in tag order,
  // indexed from lowerBound; without bounds when no row matches. An empty tag name
  // walks record order. Tag and field are looked up checked.
  LongArray SeekIDs(const TableRef& ref, std::string_view tagName, std::string_view key, std::string_view fieldName,
                  std::int16_t lowerBound = 0);
  LongArray CollectIDs(const TableRef& ref, xbase::Tag4 tag, std::string_view key, xbase::Field4 field,
                     std::int16_t lowerBound);
  // The field's full-width text over every matching row, in walk order.
  std::vector<std::string> SeekValues(const TableRef& ref, std::string_view tagName, std::string_view key,
                                      std::string_view fieldName);
  std::vector<std::string> CollectValues(const TableRef& ref, xbase::Tag4 tag, std::string_view key,
                                         xbase::Field4 field);

  // One-shot seeks: the found row stays current (its frame pending) until the next
  // walking call drops it.
  bool SeekFirst(const TableRef& ref, std::string_view tagName, std::string_view key);
  // Walks record order until the field's trimmed text equals the value.
  bool SeekFieldValue(const TableRef& ref, std::string_view fieldName, std::string_view value);
  // False when the table is not open; an empty tag name walks record order.
  bool SeekNextByTagName(const TableRef& ref, std::string_view tagName, std::string_view key);
  // The primitive of every walk.
  bool SeekNext(const TableRef& ref, xbase::Tag4 tag, std::string_view key);

  // For tests and diagnostics.
  int FrameCount() const { return count_; }
  bool Pending() const { return pending_ != 0; }

 private:
  // fresh: push a frame of its own even when the top frame walks the same key.
  bool Walk(const TableRef& ref, xbase::Tag4 tag, std::string_view key, bool fresh);
  void DropPending();
  void PopFrame();
  TableRef ResolveTable(std::string_view table, std::string_view folder) const;
  // The checked field of the named (or top frame's) table; 0 when that table is not open.
  xbase::Field4 ResolveField(std::string_view field, std::string_view table, std::string_view folder,
                             xbase::Data4& data) const;

  std::array<SeekFrame, kMaxFrames> frames_{};
  std::int16_t count_ = 0;
  std::int16_t pending_ = 0;
};

// The one process-wide helper.
DatabaseHelper& DbHelper();

}  // namespace tolvarin
