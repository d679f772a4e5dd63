#pragma once
// Reading the rows out of a damaged data file, for the automatic repair.
//
// Nothing of a damaged header is taken on trust: the record layout (where the
// records start, how long each is, which fields it holds) is chosen among the
// damaged header's own claims and the blank copy's, by how well the bytes of the
// record area read under each. A record slot counts as a row only when every
// field's bytes are plausible for the field's type; slots past the record count
// the header claims must also look written (not blank, identifiers where the other
// rows have identifiers), so that what follows the records never comes back as rows.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolvarin {

// One field of a record layout.
struct SalvageField {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
  std::size_t offset = 0;  // in the record; the deletion flag is byte 0
};

struct SalvageLayout {
  std::size_t headerLength = 0;
  std::size_t recordLength = 0;
  std::vector<SalvageField> fields;
};

// The memo file beside the damaged table, as far as the reader needs it.
struct MemoBlocks {
  bool usable = false;  // a file with a whole header
  // Whether a memo starts at the block and lies whole inside the file.
  std::function<bool(std::uint32_t block)> holds;
};

// The fields of a header's descriptors, read one after the other up to the 0x0D
// byte; nothing when any descriptor is not a sound field (name, type, width).
std::optional<std::vector<SalvageField>> ReadDescriptors(const std::vector<std::uint8_t>& header);

struct RecoveredRows {
  SalvageLayout layout;
  std::uint32_t claimedCount = 0;  // the damaged header's record count
  bool headerSound = false;        // its descriptors are sound and name every field of the blank copy
  // Every record kept, live and deleted, recordLength bytes each, memo pointers
  // that lead nowhere already blanked.
  std::vector<std::uint8_t> records;
  long recordCount = 0;
  long liveCount = 0;
  long droppedSlots = 0;  // slots with bytes that no field of theirs can hold
  long unreadableSlots = 0;  // dropped slots that held something besides blanks and zeros
  long clearedMemos = 0;
};

// Reads every recoverable record of the damaged data file, with the blank copy's
// data file as the reference for its layout. The memo file decides which memo
// pointers lead somewhere; an unusable one means every memo pointer is blanked.
RecoveredRows ReadRecoverableRows(const std::vector<std::uint8_t>& damaged, const std::vector<std::uint8_t>& blank,
                                  const MemoBlocks& memo);

// A sound data file holding the live rows: a header written from the layout (the
// blank copy's version and code page, no production index) and the records.
std::vector<std::uint8_t> BuildFixFile(const RecoveredRows& rows, const std::vector<std::uint8_t>& blank);

// The memo file at the path as ReadRecoverableRows needs it; unusable when missing
// or shorter than its header.
MemoBlocks OpenMemoBlocks(const std::string& path);

}  // namespace tolvarin
