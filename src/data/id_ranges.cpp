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

// Runs f with the table positioned as it likes, then puts back the selected tag and
// the current record.
template <typename F>
auto KeepingPosition(const TableRef& ref, F f) {
  const long recNo = xbase::d4recNo(ref.Data);
  const xbase::Tag4 selected = xbase::d4tagSelected(ref.Data);
  auto result = f();
  xbase::d4tagSelect(ref.Data, selected);
  if (recNo >= 1 && recNo <= xbase::d4recCount(ref.Data)) {
    xbase::d4go(ref.Data, recNo);
  } else {
    xbase::d4goEof(ref.Data);
  }
  return result;
}

bool IdInUse(const TableRef& ref, std::int32_t id) {
  return KeepingPosition(ref, [&] { return SeekTag(ref.Data, ref.KeyTag, FormatID(id)); });
}

// The lowest identifier of the range no row holds; 0 when every one is taken.
std::int32_t LowestFreeId(const TableRef& ref, IdRange range) {
  return KeepingPosition(ref, [&] {
    std::int32_t expected = range.First;
    xbase::d4tagSelect(ref.Data, ref.KeyTag);
    int rc = xbase::d4seek(ref.Data, FormatID(range.First));
    for (; (rc == xbase::kSuccess || rc == xbase::kAfter) && !xbase::d4eof(ref.Data); rc = xbase::d4skip(ref.Data, 1)) {
      const long id = xbase::f4long(ref.KeyField);
      if (id < expected) continue;  // the same identifier again
      if (id > expected || id > range.Last) break;
      ++expected;
      if (expected > range.Last) break;
    }
    return expected <= range.Last ? expected : 0;
  });
}

}  // namespace

std::string GetNewRecordKeyInRange(const TableRef& ref, IdRange range) {
  // Searching down from the end keeps new rows above every row already in the
  // window, even when the window has holes lower down.
  std::int32_t id = GetIDInRange(ref, false, range.First, range.Last);
  id = std::clamp(id, range.First, std::max(range.First, range.Last));
  if (ref.Data == 0 || ref.KeyTag == 0 || ref.KeyField == 0 || !IdInUse(ref, id)) return FormatID(id);
  // The window's last identifier is in use: the lowest free one below it, if any.
  id = LowestFreeId(ref, range);
  return id == 0 ? std::string() : FormatID(id);
}

std::int16_t UserAccessLevel() { return AccessLevel(); }
void SetUserAccessLevel(std::int16_t level) { AccessLevel() = level; }

}  // namespace tolvarin
