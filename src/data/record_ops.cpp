#include "data/record_ops.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "core/box_buttons.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "data/key_text.h"

namespace tolvarin {
namespace {

bool IsMemo(char type) { return type == 'M' || type == 'X'; }

// The engine's numeric reads go through 16 bits first where the host's did; a value
// that does not fit is never assigned that way (the conversion overflowed).
bool FitsInt16(long v) {
  return v >= std::numeric_limits<std::int16_t>::min() && v <= std::numeric_limits<std::int16_t>::max();
}

int AssignNumber(xbase::Field4 destination, long value) {
  int code = 0;
  if (FitsInt16(value)) code = xbase::f4assignInt(destination, static_cast<int>(value));
  if (xbase::f4int(destination) != value) code = xbase::f4assignLong(destination, value);
  return code;
}

}  // namespace

std::int16_t CopyMemoField(xbase::Field4 destination, xbase::Field4 source) {
  return static_cast<std::int16_t>(xbase::f4memoAssign(destination, xbase::f4memoStr(source)));
}

int CopyFieldValue(xbase::Field4 destination, xbase::Field4 source) {
  const char sourceType = xbase::f4type(source);
  const char destinationType = xbase::f4type(destination);
  if (sourceType == destinationType) {
    if (IsMemo(sourceType)) return CopyMemoField(destination, source);
    return xbase::f4assignField(destination, source);
  }
  if (IsMemo(sourceType)) return xbase::f4memoAssign(destination, xbase::f4memoStr(source));
  if (sourceType == 'I' || sourceType == 'N') return AssignNumber(destination, xbase::f4long(source));
  const long value = xbase::f4int(source);
  const std::string text = std::to_string(value);
  const int code = xbase::f4assign(destination, text);
  if (code == 0 && Trim(xbase::f4str(destination)) != Trim(text)) return AssignNumber(destination, value);
  return code;
}

int CopyFieldsByPosition(xbase::Data4 source, xbase::Data4 destination) {
  const int count = std::min(xbase::d4numFields(source), xbase::d4numFields(destination));
  int failed = 0;
  for (int j = 1; j <= count; ++j) {
    const int code = CopyFieldValue(xbase::d4fieldJ(destination, j), xbase::d4fieldJ(source, j));
    if (failed == 0) failed = code;
  }
  return failed;
}

void CopyAllRecords(xbase::Data4 source, xbase::Data4 destination) {
  auto& engine = Engine();
  std::vector<std::pair<xbase::Field4, xbase::Field4>> pairs;  // source, destination (0: none)
  const int count = xbase::d4numFields(source);
  for (int j = 1; j <= count; ++j) {
    const xbase::Field4 field = xbase::d4fieldJ(source, j);
    pairs.emplace_back(field, xbase::d4field(destination, Trim(xbase::f4name(field))));
  }
  EmptyTable(destination);
  xbase::d4tagSelect(source, 0);
  for (int rc = xbase::d4top(source); rc == xbase::kSuccess; rc = xbase::d4skip(source, 1)) {
    xbase::d4appendStart(destination, 0);
    xbase::d4blank(destination);
    for (const auto& [from, to] : pairs) {
      if (to == 0) continue;
      CopyFieldValue(to, from);
      // The host programs expect no blank character field in a rebuilt table.
      if (xbase::f4type(to) == 'C' && Trim(xbase::f4str(to)).empty()) xbase::f4assign(to, "0");
    }
    engine.LastEngineCode = xbase::d4append(destination);
  }
  engine.LastEngineCode = xbase::d4reindex(destination);
}

void ZapTable(xbase::Data4 data) {
  xbase::d4tagSelect(data, 0);
  for (int rc = xbase::d4top(data); rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) xbase::d4delete(data);
  Engine().LastEngineCode = xbase::d4pack(data);
}

void EmptyTable(xbase::Data4 data) { ZapTable(data); }

bool SeekTag(xbase::Data4 data, xbase::Tag4 tag, const std::string& key) {
  xbase::d4tagSelect(data, tag);
  const int rc = xbase::d4seek(data, key);
  Engine().LastEngineCode = rc;
  return rc == xbase::kSuccess;
}

std::string LookupField(xbase::Data4 data, xbase::Tag4 tag, const std::string& key, xbase::Field4 field) {
  xbase::d4tagSelect(data, tag);
  if (xbase::d4seek(data, key) != xbase::kSuccess) return "";
  return xbase::f4str(field);
}

std::int16_t SeekLast(xbase::Data4 data, const std::string& key) {
  const int rc = xbase::d4seek(data, key);
  Engine().LastEngineCode = rc;
  if (rc == xbase::kSuccess) {
    if (key.empty() || static_cast<unsigned char>(key.back()) == 0xFF) {
      // No key follows every key with this prefix: the last record in order is the last with it.
      return static_cast<std::int16_t>(xbase::d4bottom(data));
    }
    std::string next = key;
    next.back() = static_cast<char>(static_cast<unsigned char>(next.back()) + 1);
    xbase::d4seek(data, next);
    return static_cast<std::int16_t>(xbase::d4skip(data, -1));
  }
  if (rc == xbase::kAfter || rc == xbase::kEof) {
    // Whether a record comes before is asked of the order itself: record number 1
    // need not be the first record of the selected tag.
    if (xbase::d4recCount(data) == 0) return xbase::kBof;
    const int back = xbase::d4skip(data, -1);
    if (back == xbase::kSuccess) return xbase::kAfter;
    return static_cast<std::int16_t>(back == xbase::kBof ? xbase::kBof : back);
  }
  return static_cast<std::int16_t>(rc);
}

void AppendBlank(xbase::Data4 data) {
  Engine().LastEngineCode = xbase::d4appendStart(data, 0);
  xbase::d4blank(data);
}

LockWaitPolicy& LockWait() {
  static LockWaitPolicy policy;
  return policy;
}

int LockCurrentRecord(xbase::Data4 data) {
  const long recordNumber = xbase::d4recNo(data);
  if (recordNumber == 0) return xbase::kErrorRecord;
  const LockWaitPolicy& policy = LockWait();
  auto now = [&policy] { return policy.now ? policy.now() : std::chrono::steady_clock::now(); };
  auto waitingSince = now();
  for (;;) {
    const int rc = xbase::d4lock(data, recordNumber);
    if (rc != xbase::kLocked) return rc;
    if (now() - waitingSince >= policy.askAfter) {
      // An endless wait would hang an unattended run for good; the box's default
      // (Cancel) is what an unattended run answers.
      const int answer = FacilityMessageBox(
          "A record of the table " + xbase::d4fileName(data) +
              " is in use by another program and cannot be changed now.\r\n\r\n"
              "Close the other program or wait until it is done, then choose Retry. "
              "Cancel ends the program without changing the record.",
          kMbRetryCancel | kMbExclamation | kMbDefaultButton2);
      if (answer != kIdRetry) Terminate();
      waitingSince = now();
      continue;
    }
    if (policy.sleep) {
      policy.sleep(policy.retryInterval);
    } else {
      std::this_thread::sleep_for(policy.retryInterval);
    }
    if (policy.pumpEvents) policy.pumpEvents();
  }
}

void DeleteRecord(const TableRef& ref) { xbase::d4delete(ref.Data); }

FieldContent FieldValue(xbase::Field4 field) {
  switch (xbase::f4type(field)) {
    case 'C': return xbase::f4str(field);
    case 'N': return static_cast<std::int32_t>(xbase::f4long(field));
    case 'M': return xbase::f4memoStr(field);
    default: return std::monostate{};
  }
}

std::int32_t GoRecord(xbase::Data4 data, std::int32_t recordNumber) {
  if (recordNumber < 1 || recordNumber > xbase::d4recCount(data)) return -1;
  if (xbase::d4go(data, recordNumber) != xbase::kSuccess) return -1;
  return xbase::d4recNo(data) == recordNumber ? 0 : -1;
}

int CopyMatchingRows(const RowSource& source, const RowDestination& destination, const std::string& key,
                     const std::string& text) {
  if (source.Data == 0) return 0;
  auto& engine = Engine();
  xbase::d4tagSelect(source.Data, source.Tag);
  std::string matched = key;
  engine.LastEngineCode = xbase::d4seek(source.Data, matched);
  if (engine.LastEngineCode != xbase::kSuccess) {
    matched = ToLower(key);
    engine.LastEngineCode = xbase::d4seek(source.Data, matched);
    if (engine.LastEngineCode != xbase::kSuccess) return 0;
  }
  do {
    int code = xbase::d4appendStart(destination.Data, 0);
    if (code == 0) code = xbase::d4blank(destination.Data);
    if (code == 0) code = CopyFieldsByPosition(source.Data, destination.Data);
    if (code == 0 && !text.empty()) code = xbase::f4assign(destination.TextField, text);
    if (code == 0) code = xbase::d4append(destination.Data);
    if (code != 0) {
      engine.LastEngineCode = code;
      return code;
    }
    // Go on with the key that found the rows, so that rows stored under the
    // lower-cased key are all copied, not only the first.
    engine.LastEngineCode = xbase::d4seekNext(source.Data, matched);
  } while (engine.LastEngineCode == xbase::kSuccess);
  return 0;
}

std::int32_t GetIDInRange(const TableRef& ref, bool fromBottom, std::int32_t minID, std::int32_t maxID) {
  if (ref.Data == 0 || ref.KeyField == 0 || ref.KeyTag == 0) return 0;
  const long remembered = xbase::d4recNo(ref.Data);
  const xbase::Tag4 selected = xbase::d4tagSelected(ref.Data);
  xbase::d4tagSelect(ref.Data, ref.KeyTag);

  std::int32_t result = minID;
  if (fromBottom) {
    const int rc = xbase::d4seek(ref.Data, FormatID(minID));
    if (rc == xbase::kSuccess) {
      result = minID;
    } else if (rc == xbase::kAfter) {
      result = static_cast<std::int32_t>(xbase::f4long(ref.KeyField));
    }
  } else {
    const int rc = xbase::d4seek(ref.Data, FormatID(maxID));
    if (rc == xbase::kSuccess) {
      result = maxID;
    } else if (xbase::d4skip(ref.Data, -1) == xbase::kSuccess) {
      const long next = xbase::f4long(ref.KeyField) + 1;
      result = next > maxID ? minID : static_cast<std::int32_t>(next);
    }
  }

  xbase::d4tagSelect(ref.Data, selected);
  if (remembered >= 1 && remembered <= xbase::d4recCount(ref.Data)) {
    xbase::d4go(ref.Data, remembered);
  } else if (remembered == 0) {
    xbase::d4goEof(ref.Data);
  }
  return std::clamp(result, minID, std::max(minID, maxID));
}

std::int32_t NextFreeIDOverTables(const QuestsRecord& quests, const DescriptRecord& descript, std::int32_t minID,
                                  std::int32_t maxID, std::int32_t& lowest, std::int32_t& highest) {
  highest = 0;
  lowest = 999999;
  auto consider = [&](long value) {
    if (value < minID || value > maxID) return;
    highest = std::max(highest, static_cast<std::int32_t>(value));
    lowest = std::min(lowest, static_cast<std::int32_t>(value));
  };
  if (quests.Data != 0) {
    const int answers = quests.AnswerCount == 5 ? 5 : 4;
    xbase::d4tagSelect(quests.Data, 0);
    for (int rc = xbase::d4top(quests.Data); rc == xbase::kSuccess; rc = xbase::d4skip(quests.Data, 1)) {
      for (int n = 1; n <= answers; ++n) {
        const xbase::Field4 field = quests.AnswerPctField(n);
        if (field != 0) consider(static_cast<long>(TextValue(xbase::f4str(field))));
      }
    }
  }
  if (descript.Data != 0) {
    xbase::d4tagSelect(descript.Data, 0);
    for (int rc = xbase::d4top(descript.Data); rc == xbase::kSuccess; rc = xbase::d4skip(descript.Data, 1)) {
      if (descript.Image_id != 0) consider(static_cast<long>(TextValue(xbase::f4str(descript.Image_id))));
    }
  }
  if (highest < minID) highest = minID;
  return highest + 1;
}

std::int32_t NextFreeIDOverTablesEx(const QuestsRecord& quests, const DescriptRecord& descript, std::int32_t minID,
                                    std::int32_t maxID) {
  std::int32_t lowest = 0;
  std::int32_t highest = 0;
  return NextFreeIDOverTables(quests, descript, minID, maxID, lowest, highest);
}

}  // namespace tolvarin
