#include "engine/modes/remap_options.h"

#include "core/ini_file.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"

namespace tolvarin {
namespace {

constexpr RemapOption kOptions[kRemapOptions] = {
    {"Remap to Corvane IDs", 2, "RemapToCorvaneIDs"},
    {"Remap to Range", 4, "RemapToRange"},
    {"Remap with Offset", 5, "RemapOffset"},
    {"No Remapping", 3, "RemapNothing"},
    {"Normal", 1, ""},
    {"Course Migration", 6, "RemapByCourse"},
    {"Start from ID ", 7, "RemapFromID"},
};

constexpr long kHighestNumber = 9999999;

// The value of a box of digits only, within 1..9999999.
std::optional<long> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 7) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kHighestNumber) return std::nullopt;
  return value;
}

}  // namespace

const RemapOption& RemapOptionAt(int option) { return kOptions[option]; }

int RemapOptionFor(long importMode) {
  for (int i = 0; i < kRemapOptions; ++i)
    if (kOptions[i].importMode == importMode) return i;
  return -1;
}

RemapNumbers ReadRemapNumbers(const std::string& appPath) {
  const std::string ini = JoinPath(appPath, "Kestal.INI");
  RemapNumbers numbers;
  numbers.rangeStart = IniReadString(ini, "Tolvarin", "RangeStart");
  numbers.rangeEnd = IniReadString(ini, "Tolvarin", "RangeEnd");
  numbers.newExamId = IniReadString(ini, "Tolvarin", "NewExamID");
  return numbers;
}

std::optional<std::string> RemapNumbersProblem(int option, const RemapNumbers& numbers) {
  const long mode = option >= 0 && option < kRemapOptions ? kOptions[option].importMode : 0;
  // Remapping to a range and with an offset read both ends; starting from an
  // identifier reads the start.
  const bool needsStart = mode == 4 || mode == 5 || mode == 7;
  const bool needsEnd = mode == 4 || mode == 5;
  struct Box {
    const char* label;
    const std::string& text;
    bool needed;
  };
  const Box boxes[] = {{"Range Start", numbers.rangeStart, needsStart},
                       {"Range End", numbers.rangeEnd, needsEnd},
                       {"Exam ID", numbers.newExamId, false}};
  for (const Box& box : boxes) {
    const std::string text = Trim(box.text);
    if (text.empty() && !box.needed) continue;
    if (!WholeNumber(text))
      return std::string(box.label) + " must be a whole number from 1 to 9999999" +
             (box.needed ? " for \"" + std::string(kOptions[option].caption) + "\"." : ", or empty.");
  }
  const auto start = WholeNumber(Trim(numbers.rangeStart));
  const auto end = WholeNumber(Trim(numbers.rangeEnd));
  if (start && end && *start > *end) return std::string("Range Start must not be above Range End.");
  return std::nullopt;
}

bool WriteRemapOptions(const std::string& appPath, int option, const RemapNumbers& numbers) {
  IniSetFile("Tolvarin", JoinPath(appPath, "KESTAL.INI"));
  std::string special;
  if (option >= 0 && option < kRemapOptions) {
    Settings().ImportMode = kOptions[option].importMode;
    special = kOptions[option].specialMode;
  }
  bool written = IniWriteString("SpecialMode", special) != 0;
  written = IniWriteString("RangeStart", Trim(numbers.rangeStart)) != 0 && written;
  written = IniWriteString("RangeEnd", Trim(numbers.rangeEnd)) != 0 && written;
  written = IniWriteString("NewExamID", Trim(numbers.newExamId)) != 0 && written;
  return written;
}

}  // namespace tolvarin
