#pragma once
// The rules of the remap-options dialog, apart from its window: its seven choices,
// the numbers it accepts and what it writes to the Tolvarin section of Kestal.INI,
// which start-up reads on later runs.
#include <optional>
#include <string>

namespace tolvarin {

inline constexpr int kRemapOptions = 7;

struct RemapOption {
  const char* caption;
  long importMode;
  const char* specialMode;  // the SpecialMode text written
};
// Options 0 to 6 in the dialog's order.
const RemapOption& RemapOptionAt(int option);
// The option of an ImportMode; -1 when none has it.
int RemapOptionFor(long importMode);

// The three boxes' texts.
struct RemapNumbers {
  std::string rangeStart;
  std::string rangeEnd;
  std::string newExamId;
};
// RangeStart, RangeEnd and NewExamID of Kestal.INI in appPath ("" when absent).
RemapNumbers ReadRemapNumbers(const std::string& appPath);

// What is wrong with the numbers for an option (-1: none chosen), nullopt when
// nothing: each given box a whole number from 1 to 9999999, the range's start not
// above its end, and the numbers the option's remapping reads not empty.
std::optional<std::string> RemapNumbersProblem(int option, const RemapNumbers& numbers);

// Sets ImportMode from the option (-1 leaves it and writes an empty SpecialMode) and
// writes SpecialMode, RangeStart, RangeEnd and NewExamID. False when a write failed.
bool WriteRemapOptions(const std::string& appPath, int option, const RemapNumbers& numbers);

}  // namespace tolvarin
