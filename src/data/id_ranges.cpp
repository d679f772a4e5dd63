#include "data/id_ranges.h"

#include <algorithm>

#include "core/settings.h"
#include "core/strings.h"
#include "data/key_text.h"
#include "data/record_ops.h"

namespace tolvarin {
namespace {

IdRangeSet& MutableRanges() {
  static IdRangeSet ranges;
  return ranges;
}

std::int16_t& AccessLevel() {
  static std::int16_t level = 0;
  return level;
}

}  // namespace

const IdRangeSet& IdRanges() { return MutableRanges(); }

void InitIdRanges() {
  IdRangeSet& ranges = MutableRanges();
  ranges.PublisherRange = {1, 18999};
  ranges.CustomRange = {20000, 29999};
  ranges.UsersRange = {1, 999};
  ranges.ClassesRange = {1, 99999};
}

IdRange GetQuestionIDRange() {
  return Settings().OfficeMode == 1 ? IdRanges().PublisherRange : IdRanges().CustomRange;
}

IdRange GetIdRange(std::string_view tableName) {
  const std::string name = ToUpper(std::string(tableName));
  if (name == "USERS") return IdRanges().UsersRange;
  if (name == "CLASSES") return IdRanges().ClassesRange;
  if (name == "QUESTS" || name == "DESCRIPT" || name == "EXAMS" || name == "EXAMQUES") return GetQuestionIDRange();
  return IdRanges().PublisherRange;
}

std::string GetNewRecordKey(const TableRef& ref) { return GetNewRecordKeyInRange(ref, GetIdRange(ref.TableName)); }

namespace {

// Whether the identifier is in use, the table's current record kept.
bool IdInUse(const TableRef& ref, std::int32_t id) {
  const long recNo = xbase::d4recNo(ref.Data);
  const bool found = SeekTag(ref.Data, ref.KeyTag, FormatID(id));
  if (recNo >= 1 && recNo <= xbase::d4recCount(ref.Data)) {
    xbase::d4go(ref.Data, recNo);
  } else {
    xbase::d4goEof(ref.Data);
  }
  return found;
}

}  // namespace

std::string GetNewRecordKeyInRange(const TableRef& ref, IdRange range) {
  // Searching down from the end keeps new rows above every row already in the
  // window, even when the window has holes lower down.
  std::int32_t id = GetIDInRange(ref, false, range.First, range.Last);
  // The window's last identifier itself in use: one past it would leave the window,
  // so the key wraps to the first rather than repeat an identifier in use.
  if (id == range.Last && range.First < range.Last && ref.Data != 0 && ref.KeyTag != 0 && IdInUse(ref, id)) {
    id = range.First;
  }
  id = std::clamp(id, range.First, std::max(range.First, range.Last));
  return FormatID(id);
}

std::int16_t UserAccessLevel() { return AccessLevel(); }
void SetUserAccessLevel(std::int16_t level) { AccessLevel() = level; }

}  // namespace tolvarin
