#include "data/recoverable_rows.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <memory>
#include <string_view>

#include "core/files.h"
#include "core/paths.h"

namespace tolvarin {

namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr std::uint8_t kTerminator = 0x0D;
constexpr std::uint8_t kEndOfFile = 0x1A;
constexpr std::size_t kMemoHeaderSize = 512;
// Enough slots to tell one layout from another; a whole large table need not be read twice.
constexpr std::size_t kScoredSlots = 5000;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at + 4 > b.size()) return 0;
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::size_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  if (at + 2 > b.size()) return 0;
  return static_cast<std::size_t>(b[at] | (b[at + 1] << 8));
}

bool IsMemoType(char type) { return std::string_view("MGPWX").find(type) != std::string_view::npos; }

// Fields stored as binary numbers: their empty value is zero bytes, not blanks.
bool IsBinary(const SalvageField& field) {
  return std::string_view("IBTY0").find(field.type) != std::string_view::npos ||
         (IsMemoType(field.type) && field.width == 4);
}

bool WidthFits(char type, int width) {
  switch (type) {
    case 'D': return width == 8;
    case 'L': return width == 1;
    case 'I': return width == 4;
    case 'B': case 'T': case 'Y': return width == 8;
    case 'M': case 'X': case 'G': case 'P': return width == 10 || width == 4;
    case 'W': return width == 4;
    case 'N': case 'F': return width >= 1 && width <= 20;
    default: return width >= 1;
  }
}

bool KnownType(char type) { return std::string_view("CNFLDMGPWXIBTYVQ0").find(type) != std::string_view::npos; }

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 10) return false;
  return std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool AllBytes(const std::uint8_t* p, std::size_t n, std::uint8_t value) {
  return std::all_of(p, p + n, [value](std::uint8_t c) { return c == value; });
}

bool DigitsOrBlanks(const std::uint8_t* p, std::size_t n) {
  return std::all_of(p, p + n, [](std::uint8_t c) { return c == ' ' || (c >= '0' && c <= '9'); });
}

bool NumericBytes(const std::uint8_t* p, std::size_t n) {
  if (AllBytes(p, n, '*')) return true;  // a value too wide for its field
  return std::all_of(p, p + n, [](std::uint8_t c) {
    return c == ' ' || c == '-' || c == '+' || c == '.' || (c >= '0' && c <= '9');
  });
}

bool LogicalByte(std::uint8_t c) { return std::string_view("TtFfYyNn? ").find(static_cast<char>(c)) != std::string_view::npos; }

enum class Pointer { None, Block, Bad };

Pointer ReadPointer(const std::uint8_t* p, int width, std::uint32_t& block) {
  block = 0;
  if (width == 4) {
    block = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return block == 0 ? Pointer::None : Pointer::Block;
  }
  if (AllBytes(p, static_cast<std::size_t>(width), ' ') || AllBytes(p, static_cast<std::size_t>(width), 0)) {
    return Pointer::None;
  }
  int at = 0;
  while (at < width && p[at] == ' ') ++at;
  std::uint64_t value = 0;
  for (; at < width; ++at) {
    if (p[at] < '0' || p[at] > '9') return Pointer::Bad;
    value = value * 10 + (p[at] - '0');
    if (value > 0xFFFFFFFFu) return Pointer::Bad;
  }
  block = static_cast<std::uint32_t>(value);
  return block == 0 ? Pointer::None : Pointer::Block;
}

// How strictly a slot is read: slots inside the claimed record count are rows the
// table held and only need bytes their fields can hold; slots beyond it must also
// look like rows of this table.
struct Reading {
  bool strict = false;
  const std::vector<bool>* digitFields = nullptr;  // fields every trusted row fills with digits
};

// Whether the slot reads as a record; memo fields whose pointer leads nowhere are
// listed in clear (a strict reading refuses them instead).
bool ReadSlot(const std::uint8_t* slot, const std::vector<SalvageField>& fields, const MemoBlocks& memo,
              const Reading& reading, std::vector<std::size_t>* clear) {
  if (slot[0] != ' ' && slot[0] != '*') return false;
  bool blank = true;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const SalvageField& field = fields[i];
    const std::uint8_t* p = slot + field.offset;
    const auto width = static_cast<std::size_t>(field.width);
    switch (field.type) {
      case 'C':
        if (reading.strict && reading.digitFields && (*reading.digitFields)[i] && !DigitsOrBlanks(p, width)) {
          return false;
        }
        if (!AllBytes(p, width, ' ')) blank = false;
        break;
      case 'N':
      case 'F':
        if (!NumericBytes(p, width)) return false;
        if (!AllBytes(p, width, ' ')) blank = false;
        break;
      case 'D':
        if (!DigitsOrBlanks(p, width)) return false;
        if (!AllBytes(p, width, ' ')) blank = false;
        break;
      case 'L':
        if (!LogicalByte(p[0])) return false;
        if (p[0] != ' ') blank = false;
        break;
      default:
        if (IsMemoType(field.type)) {
          std::uint32_t block = 0;
          const Pointer pointer = ReadPointer(p, field.width, block);
          if (pointer == Pointer::Bad) return false;
          if (pointer == Pointer::Block) {
            blank = false;
            const bool inside = memo.usable && memo.holds && memo.holds(block);
            if (!inside) {
              if (reading.strict && memo.usable) return false;
              if (clear) clear->push_back(i);
            }
          }
        } else if (!AllBytes(p, width, 0)) {
          blank = false;
        }
        break;
    }
  }
  return !(reading.strict && blank);
}

// A layout to try, and how much the damaged header and the blank copy agree with it.
struct Candidate {
  std::vector<SalvageField> fields;
  std::size_t headerLength = 0;
  bool ownDescriptors = false;
  int prior = 0;
  long score = 0;
};

std::size_t RecordLength(const std::vector<SalvageField>& fields) {
  std::size_t length = 1;
  for (const auto& field : fields) length += static_cast<std::size_t>(field.width);
  return length;
}

void SetOffsets(std::vector<SalvageField>& fields) {
  std::size_t offset = 1;
  for (auto& field : fields) {
    field.offset = offset;
    offset += static_cast<std::size_t>(field.width);
  }
}

bool SameShape(const std::vector<SalvageField>& a, const std::vector<SalvageField>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].type != b[i].type || a[i].width != b[i].width) return false;
  }
  return true;
}

// Good slots less bad ones, from the start of the record area to the end mark.
long Score(const std::vector<std::uint8_t>& bytes, const std::vector<SalvageField>& fields, std::size_t headerLength,
           const MemoBlocks& memo) {
  const std::size_t recordLength = RecordLength(fields);
  long score = 0;
  std::vector<std::size_t> ignored;
  for (std::size_t i = 0; i < kScoredSlots; ++i) {
    const std::size_t at = headerLength + i * recordLength;
    if (at + recordLength > bytes.size() || bytes[at] == kEndOfFile) break;
    ignored.clear();
    if (!ReadSlot(bytes.data() + at, fields, memo, Reading{}, &ignored)) {
      --score;
    } else if (ignored.empty() || !memo.usable) {
      ++score;  // a memo pointer that leads nowhere speaks for no layout
    }
  }
  return score;
}

// The names the rebuilt table knows the fields of the damaged header by: the blank
// copy's name where the field has it, else the blank field in the same place when
// both headers hold the same kinds of fields (a garbled name), else its own.
void NameFromBlank(std::vector<SalvageField>& own, const std::vector<SalvageField>& blank) {
  std::vector<bool> taken(blank.size(), false);
  std::vector<bool> named(own.size(), false);
  for (std::size_t i = 0; i < own.size(); ++i) {
    for (std::size_t j = 0; j < blank.size(); ++j) {
      if (!taken[j] && Upper(own[i].name) == Upper(blank[j].name)) {
        own[i].name = blank[j].name;
        taken[j] = named[i] = true;
        break;
      }
    }
  }
  if (own.size() != blank.size()) return;
  for (std::size_t i = 0; i < own.size(); ++i) {
    if (!named[i] && !taken[i] && own[i].type == blank[i].type) {
      own[i].name = blank[i].name;
      taken[i] = true;
    }
  }
}

// The descriptor of that name in the damaged header, wherever it stands among the
// descriptors: the fields around it may be garbled.
std::optional<SalvageField> FindDescriptor(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  const std::string wanted = Upper(name);
  for (std::size_t at = kHeaderSize; at + kDescriptorSize <= bytes.size() && at < kHeaderSize + 256 * kDescriptorSize;
       at += kDescriptorSize) {
    std::size_t length = 0;
    while (length < 11 && bytes[at + length] != 0) ++length;
    if (Upper(std::string(reinterpret_cast<const char*>(&bytes[at]), length)) != wanted) continue;
    SalvageField field;
    field.name = name;
    field.type = static_cast<char>(std::toupper(bytes[at + 11]));
    field.width = bytes[at + 16];
    field.decimals = bytes[at + 17];
    return field;
  }
  return std::nullopt;
}

std::vector<Candidate> Candidates(const std::vector<std::uint8_t>& bytes,
                                  const std::optional<std::vector<SalvageField>>& own,
                                  const std::vector<SalvageField>& blankFields, std::size_t blankHeaderLength,
                                  std::size_t blankRecordLength) {
  // Field lists: the damaged header's own; the blank copy's with the widths the
  // damaged header gives its fields of the same name and type; the blank copy's with
  // only the memo widths (4 or 10 bytes, by table) taken from the damaged header; the
  // blank copy's as they stand.
  std::vector<std::pair<std::vector<SalvageField>, bool>> lists;
  if (own) {
    auto named = *own;
    NameFromBlank(named, blankFields);
    lists.emplace_back(named, true);
  }
  auto widths = blankFields;
  auto memoWidths = blankFields;
  for (std::size_t j = 0; j < blankFields.size(); ++j) {
    const auto found = FindDescriptor(bytes, blankFields[j].name);
    if (!found || found->type != blankFields[j].type || !WidthFits(found->type, found->width)) continue;
    widths[j].width = found->width;
    if (IsMemoType(found->type)) memoWidths[j].width = found->width;
  }
  lists.emplace_back(widths, false);
  lists.emplace_back(memoWidths, false);
  lists.emplace_back(blankFields, false);

  const std::size_t damagedHeaderLength = Le16(bytes, 8);
  const std::size_t damagedRecordLength = Le16(bytes, 10);
  std::vector<Candidate> candidates;
  for (auto& [fields, ownList] : lists) {
    SetOffsets(fields);
    bool duplicate = false;
    for (const auto& other : candidates) duplicate = duplicate || SameShape(other.fields, fields);
    if (duplicate) continue;
    const std::size_t terminator = kHeaderSize + kDescriptorSize * fields.size();
    const std::size_t structural[] = {terminator + 1, terminator + 2, terminator + 264};
    std::vector<std::size_t> lengths = {damagedHeaderLength, blankHeaderLength, structural[0], structural[1],
                                        structural[2]};
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    const std::size_t recordLength = RecordLength(fields);
    for (const std::size_t headerLength : lengths) {
      if (headerLength < kHeaderSize + kDescriptorSize + 1 || headerLength > bytes.size()) continue;
      if (ownList && headerLength < terminator + 1) continue;
      Candidate candidate;
      candidate.fields = fields;
      candidate.headerLength = headerLength;
      candidate.ownDescriptors = ownList;
      const bool structuralLength = std::find(std::begin(structural), std::end(structural), headerLength) !=
                                    std::end(structural);
      candidate.prior = (ownList ? 4 : 0) + (headerLength == damagedHeaderLength && structuralLength ? 2 : 0) +
                        (headerLength == blankHeaderLength ? 1 : 0) + (structuralLength ? 1 : 0) +
                        (recordLength == damagedRecordLength ? 2 : 0) + (recordLength == blankRecordLength ? 1 : 0);
      candidates.push_back(std::move(candidate));
    }
  }
  return candidates;
}

// The bytes of a record with every field empty.
std::vector<std::uint8_t> EmptyRecord(const SalvageLayout& layout) {
  std::vector<std::uint8_t> record(layout.recordLength, ' ');
  for (const auto& field : layout.fields) {
    if (IsBinary(field)) {
      std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(field.offset), field.width, std::uint8_t{0});
    }
  }
  return record;
}

void ClearPointer(std::uint8_t* slot, const SalvageField& field) {
  std::fill_n(slot + field.offset, field.width, static_cast<std::uint8_t>(field.width == 4 ? 0 : ' '));
}

bool OnlyBlanksOrZeros(const std::uint8_t* p, std::size_t n) {
  return AllBytes(p, n, ' ') || AllBytes(p, n, 0);
}

}  // namespace

std::optional<std::vector<SalvageField>> ReadDescriptors(const std::vector<std::uint8_t>& header) {
  std::vector<SalvageField> fields;
  for (std::size_t at = kHeaderSize;; at += kDescriptorSize) {
    if (at >= header.size()) return std::nullopt;
    if (header[at] == kTerminator) break;
    if (at + kDescriptorSize > header.size() || fields.size() == 255) return std::nullopt;
    SalvageField field;
    std::size_t length = 0;
    while (length < 11 && header[at + length] != 0) ++length;
    field.name.assign(reinterpret_cast<const char*>(&header[at]), length);
    while (!field.name.empty() && field.name.back() == ' ') field.name.pop_back();
    field.type = static_cast<char>(std::toupper(header[at + 11]));
    field.width = header[at + 16];
    field.decimals = header[at + 17];
    if (!ValidName(field.name) || !KnownType(field.type) || !WidthFits(field.type, field.width)) return std::nullopt;
    fields.push_back(std::move(field));
  }
  if (fields.empty()) return std::nullopt;
  SetOffsets(fields);
  return fields;
}

RecoveredRows ReadRecoverableRows(const std::vector<std::uint8_t>& damaged, const std::vector<std::uint8_t>& blank,
                                  const MemoBlocks& memo) {
  RecoveredRows rows;
  const auto blankFields = ReadDescriptors(blank);
  if (!blankFields) return rows;
  const auto own = ReadDescriptors(damaged);
  rows.claimedCount = Le32(damaged, 4);
  rows.headerSound = own.has_value() && std::all_of(blankFields->begin(), blankFields->end(), [&](const auto& b) {
    return std::any_of(own->begin(), own->end(),
                       [&](const auto& o) { return Upper(o.name) == Upper(b.name) && o.type == b.type; });
  });

  auto candidates = Candidates(damaged, own, *blankFields, Le16(blank, 8), RecordLength(*blankFields));
  if (candidates.empty()) return rows;
  for (auto& candidate : candidates) candidate.score = Score(damaged, candidate.fields, candidate.headerLength, memo);
  const Candidate& best = *std::max_element(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
    return a.score != b.score ? a.score < b.score : a.prior < b.prior;
  });
  rows.layout.headerLength = best.headerLength;
  rows.layout.recordLength = RecordLength(best.fields);
  rows.layout.fields = best.fields;

  const SalvageLayout& layout = rows.layout;
  const std::size_t size = damaged.size();
  const std::size_t start = layout.headerLength;
  const std::size_t width = layout.recordLength;
  const std::size_t complete = size > start ? (size - start) / width : 0;
  // A header whose descriptors are not sound vouches for no row either.
  const std::size_t trusted = rows.headerSound ? std::min<std::size_t>(rows.claimedCount, complete) : 0;
  const bool countTooLarge = rows.claimedCount > complete;

  // What the rows the header vouches for hold in their character fields: where all
  // of them hold digits (identifiers), a slot beyond them must too.
  std::vector<bool> digitFields(layout.fields.size(), trusted > 0);
  for (std::size_t i = 0; i < trusted; ++i) {
    const std::uint8_t* slot = damaged.data() + start + i * width;
    if (!ReadSlot(slot, layout.fields, memo, Reading{}, nullptr)) continue;
    for (std::size_t f = 0; f < layout.fields.size(); ++f) {
      const auto& field = layout.fields[f];
      if (field.type != 'C' || !DigitsOrBlanks(slot + field.offset, static_cast<std::size_t>(field.width))) {
        digitFields[f] = false;
      }
    }
  }

  const std::vector<std::uint8_t> empty = EmptyRecord(layout);
  std::vector<std::uint8_t> slot(width);
  std::vector<std::size_t> clear;
  for (std::size_t i = 0; start + i * width < size; ++i) {
    const std::size_t at = start + i * width;
    const std::size_t present = std::min(width, size - at);
    // The end mark closes the record area, unless the header vouches for rows after it.
    if (damaged[at] == kEndOfFile && (i >= trusted || countTooLarge)) break;
    if (present < width && present * 2 <= width) {
      // Too little of a cut-off last record is left to count as a row.
      ++rows.droppedSlots;
      if (!OnlyBlanksOrZeros(&damaged[at], present)) ++rows.unreadableSlots;
      break;
    }
    std::copy_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), present, slot.begin());
    std::copy(empty.begin() + static_cast<std::ptrdiff_t>(present), empty.end(),
              slot.begin() + static_cast<std::ptrdiff_t>(present));
    clear.clear();
    const Reading reading{i >= trusted, &digitFields};
    if (!ReadSlot(slot.data(), layout.fields, memo, reading, &clear)) {
      ++rows.droppedSlots;
      if (!OnlyBlanksOrZeros(slot.data(), width)) ++rows.unreadableSlots;
      continue;
    }
    for (const std::size_t f : clear) ClearPointer(slot.data(), layout.fields[f]);
    rows.clearedMemos += static_cast<long>(clear.size());
    rows.records.insert(rows.records.end(), slot.begin(), slot.end());
    ++rows.recordCount;
    if (slot[0] == ' ') ++rows.liveCount;
  }
  return rows;
}

std::vector<std::uint8_t> BuildFixFile(const RecoveredRows& rows, const std::vector<std::uint8_t>& blank) {
  const SalvageLayout& layout = rows.layout;
  const bool memo = std::any_of(layout.fields.begin(), layout.fields.end(),
                                [](const auto& field) { return IsMemoType(field.type); });
  const std::size_t headerLength = kHeaderSize + kDescriptorSize * layout.fields.size() + 1;
  std::vector<std::uint8_t> bytes(headerLength, 0);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  bytes[0] = memo ? 0xF5 : 0x03;
  bytes[1] = static_cast<std::uint8_t>(local.tm_year % 100);
  bytes[2] = static_cast<std::uint8_t>(local.tm_mon + 1);
  bytes[3] = static_cast<std::uint8_t>(local.tm_mday);
  const auto live = static_cast<std::uint32_t>(rows.liveCount);
  for (int i = 0; i < 4; ++i) bytes[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(live >> (8 * i));
  bytes[8] = static_cast<std::uint8_t>(headerLength);
  bytes[9] = static_cast<std::uint8_t>(headerLength >> 8);
  bytes[10] = static_cast<std::uint8_t>(layout.recordLength);
  bytes[11] = static_cast<std::uint8_t>(layout.recordLength >> 8);
  bytes[29] = blank.size() > 29 ? blank[29] : 0;  // the code page the system's tables carry
  std::size_t at = kHeaderSize;
  for (const auto& field : layout.fields) {
    const std::string name = Upper(field.name).substr(0, 10);
    std::copy(name.begin(), name.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    bytes[at + 11] = static_cast<std::uint8_t>(field.type);
    bytes[at + 16] = static_cast<std::uint8_t>(field.width);
    bytes[at + 17] = static_cast<std::uint8_t>(field.decimals);
    at += kDescriptorSize;
  }
  bytes[at] = kTerminator;
  bytes.reserve(headerLength + static_cast<std::size_t>(rows.liveCount) * layout.recordLength + 1);
  for (std::size_t offset = 0; offset + layout.recordLength <= rows.records.size(); offset += layout.recordLength) {
    if (rows.records[offset] != ' ') continue;
    bytes.insert(bytes.end(), rows.records.begin() + static_cast<std::ptrdiff_t>(offset),
                 rows.records.begin() + static_cast<std::ptrdiff_t>(offset + layout.recordLength));
  }
  bytes.push_back(kEndOfFile);
  return bytes;
}

MemoBlocks OpenMemoBlocks(const std::string& path) {
  MemoBlocks memo;
  const std::string real = FindPath(path);
  if (real.empty() || !FileExists(real)) return memo;
  auto in = std::make_shared<std::ifstream>(real, std::ios::binary);
  if (!*in) return memo;
  in->seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(in->tellg());
  if (size < kMemoHeaderSize) return memo;
  std::uint8_t head[8] = {};
  in->seekg(0);
  if (!in->read(reinterpret_cast<char*>(head), sizeof head)) return memo;
  const std::uint64_t blockSize = (head[6] << 8 | head[7]) == 0 ? 1 : (head[6] << 8 | head[7]);
  memo.usable = true;
  memo.holds = [in, size, blockSize](std::uint32_t block) {
    const std::uint64_t offset = block * blockSize;
    if (offset < kMemoHeaderSize || offset + 8 > size) return false;
    std::uint8_t run[8] = {};
    in->clear();
    in->seekg(static_cast<std::streamoff>(offset));
    if (!in->read(reinterpret_cast<char*>(run), sizeof run)) return false;
    const std::uint64_t length =
        (static_cast<std::uint64_t>(run[4]) << 24) | (run[5] << 16) | (run[6] << 8) | run[7];
    return offset + 8 + length <= size;
  };
  return memo;
}

}  // namespace tolvarin
