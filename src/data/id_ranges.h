#pragma once
// Identifier windows for new records, and the logged-in user's access level.
//
// Publisher content, user content, users and classes take their identifiers from
// windows that never overlap, so that a course can receive the publisher's updates
// and a school's own rows side by side.
#include <cstdint>
#include <string>
#include <string_view>

#include "data/table_ref.h"

namespace tolvarin {

// First and last identifier a new record may take, both inclusive.
struct IdRange {
  std::int32_t First = 0;
  std::int32_t Last = 0;
  friend bool operator==(const IdRange&, const IdRange&) = default;
};

// The process-wide windows, (re)filled by InitIdRanges. They hold their values from
// the start too, so that tools and tests that skip start-up get the same windows.
struct IdRangeSet {
  IdRange PublisherRange{1, 18999};
  IdRange CustomRange{20000, 29999};
  IdRange UsersRange{1, 999};
  IdRange ClassesRange{1, 99999};
};
const IdRangeSet& IdRanges();

// Start-up calls this first, before OfficeMode is known.
void InitIdRanges();

// The window of question-like tables: the publisher's in office mode, else the
// custom one. OfficeMode is read at each call.
IdRange GetQuestionIDRange();

// By table name in any case: USERS, CLASSES, the question-like QUESTS, DESCRIPT,
// EXAMS and EXAMQUES, and the publisher range for every other name.
IdRange GetIdRange(std::string_view tableName);

// The seven-digit key text of a new record in the table's window; "" when every
// identifier of the window is in use.
std::string GetNewRecordKey(const TableRef& ref);
// One past the highest identifier in use below the range's end; when the range's
// last identifier is in use, the lowest free one; "" when none is free. Only an
// identifier no row holds is handed out. The table's current record is kept.
std::string GetNewRecordKeyInRange(const TableRef& ref, IdRange range);

// 0 until the login has run; then 1 when the user may edit passwords, else 2.
std::int16_t UserAccessLevel();
void SetUserAccessLevel(std::int16_t level);

}  // namespace tolvarin
