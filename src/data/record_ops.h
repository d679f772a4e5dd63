#pragma once
// Record-level operations on open tables: field copies across types, record and
// table copies, seeks, appends, the record lock, deletes, and free-identifier
// searches. Results of engine calls go to Engine().LastEngineCode where noted.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "data/table_records.h"
#include "data/table_ref.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// Copies the source field of the current source record into the destination field
// of the current destination record, converting between types; the engine's result
// of the write (0 when it took).
int CopyFieldValue(xbase::Field4 destination, xbase::Field4 source);
// Assigns the source's memo text to the destination; the engine's result.
std::int16_t CopyMemoField(xbase::Field4 destination, xbase::Field4 source);
// CopyFieldValue for positions 1 to the smaller field count; the first failed
// write's result, else 0.
int CopyFieldsByPosition(xbase::Data4 source, xbase::Data4 destination);
// Empties the destination and appends every source record, fields matched by name;
// character fields left blank become "0". Reindexes the destination.
void CopyAllRecords(xbase::Data4 source, xbase::Data4 destination);

// Mark every record deleted and pack; LastEngineCode is the pack's result.
void ZapTable(xbase::Data4 data);
void EmptyTable(xbase::Data4 data);

// Selects the tag and seeks the key; true when found exactly. LastEngineCode is the seek's result.
bool SeekTag(xbase::Data4 data, xbase::Tag4 tag, const std::string& key);
// The field's full-width text on the record with the key, "" when not found.
std::string LookupField(xbase::Data4 data, xbase::Tag4 tag, const std::string& key, xbase::Field4 field);
// Positions on the last record with the key in the selected order: 0 there; 2 on
// the record before the place of a missing key; 4 when no record comes before it.
std::int16_t SeekLast(xbase::Data4 data, const std::string& key);

// Starts a new record with all fields blank (LastEngineCode); the caller fills it
// and writes it with d4append.
void AppendBlank(xbase::Data4 data);

// How LockCurrentRecord waits while another process holds the record. Tests replace
// the clock and the sleep; null members use the steady clock and a real sleep.
struct LockWaitPolicy {
  std::chrono::milliseconds retryInterval{10};
  std::chrono::milliseconds askAfter{30000};  // then ask Retry/Cancel
  std::function<std::chrono::steady_clock::time_point()> now;
  std::function<void(std::chrono::milliseconds)> sleep;
  std::function<void()> pumpEvents;  // lets the window system run between tries
};
LockWaitPolicy& LockWait();

// Locks the current record, trying every 10 ms while another process holds it.
// After askAfter of waiting the user is asked Retry (wait again) or Cancel (the run
// ends through Terminate, nothing written). Returns 0 once locked, the engine's
// error for any other failure, xbase::kErrorRecord at once when there is no current
// record. LastEngineCode is left alone.
int LockCurrentRecord(xbase::Data4 data);

// Marks the current record of the referenced table deleted.
void DeleteRecord(const TableRef& ref);

// A field's value by its kind: C text (full width), N 32-bit integer, M memo text,
// any other type empty.
using FieldContent = std::variant<std::monostate, std::string, std::int32_t>;
FieldContent FieldValue(xbase::Field4 field);

// 0 when 1 <= number <= record count and the table is on that record afterwards; -1 otherwise.
std::int32_t GoRecord(xbase::Data4 data, std::int32_t recordNumber);

// Where CopyMatchingRows reads from and writes to.
struct RowSource {
  xbase::Data4 Data = 0;
  xbase::Tag4 Tag = 0;  // the tag to seek the key on
};
struct RowDestination {
  xbase::Data4 Data = 0;
  xbase::Field4 TextField = 0;  // receives the text when it is not ""
};
// Appends a copy (by position) of every source record with the key (or, when none,
// the lower-cased key) to the destination. The first failed write or append's
// result stops it and is returned; 0 when every row went.
int CopyMatchingRows(const RowSource& source, const RowDestination& destination, const std::string& key,
                      const std::string& text);

// On the table's KeyTag/KeyField: fromBottom gives the lowest identifier in use that
// is at least minID; otherwise one past the highest in use below maxID (maxID when it
// is in use, wrapping to minID). Clamped into [minID, maxID]; 0 when the reference has
// no table, key field or key tag. The current record is kept.
std::int32_t GetIDInRange(const TableRef& ref, bool fromBottom, std::int32_t minID, std::int32_t maxID);

// One past the highest image identifier within [minID, maxID] that the questions'
// answer pictures and the descriptions' image_id use (raised to minID first, so
// minID + 1 when none is in range). lowest (999999 when none) and highest come back.
std::int32_t NextFreeIDOverTables(const QuestsRecord& quests, const DescriptRecord& descript, std::int32_t minID,
                                  std::int32_t maxID, std::int32_t& lowest, std::int32_t& highest);
std::int32_t NextFreeIDOverTablesEx(const QuestsRecord& quests, const DescriptRecord& descript, std::int32_t minID,
                                    std::int32_t maxID);

}  // namespace tolvarin
