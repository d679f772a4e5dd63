#pragma once
// The identifier windows of every table by remap mode: the source identifiers a
// whole-table selection starts from (SrcFirstID, SrcLastID) and the range that new
// identifiers come from (FirstNewID, LastNewID).
#include <cstdint>
#include <functional>
#include <optional>

namespace tolvarin {

// The host settings a remap mode reads (Kestal.INI, section Tolvarin, in AppPath).
struct RemapSettings {
  long ImportMode = 1;
  int OfficeMode = 0;
  std::int32_t RangeStart = 0;
  std::int32_t RangeEnd = 0;
  std::int32_t NewExamID = 0;  // 0 when not given
};

// The lookups a window is built from, on one table.
struct WindowLookups {
  std::function<std::int32_t(std::int32_t, std::int32_t)> firstUsedSource;  // lowest source id in [a, b]
  std::function<std::int32_t(std::int32_t, std::int32_t)> nextFreeDest;     // next free destination id in [a, b]
  std::function<std::int32_t()> newRecordKey;                               // the destination's own next key
};

struct IdWindow {
  std::int32_t SrcFirstID = 0, SrcLastID = 0, FirstNewID = 0, LastNewID = 0;
};

// The window of table number t; previous is the entry's window before (REMAPBYCOURSE
// keeps its LastNewID).
IdWindow ComputeIdWindow(std::int32_t t, const RemapSettings& settings, const WindowLookups& lookups,
                         const IdWindow& previous);

// A whole number of the Tolvarin section; nullopt when missing or not a whole number.
std::optional<std::int32_t> ReadTolvarinNumber(const char* key);

// The run's ImportMode and OfficeMode with the range settings that mode needs.
// nullopt when a mode that needs RangeStart (REMAPTORANGE, REMAPOFFSET, REMAPFROMID)
// or RangeEnd (REMAPTORANGE, REMAPOFFSET) finds it missing, not a whole number, or
// the range empty or below 1: remapping into identifier 0 would overwrite rows.
std::optional<RemapSettings> ReadRemapSettings();

// Sets every entry's window (the last step of InitSrcTableDefs). A mode without the
// range it needs says so and ends the run before anything is written.
void SetIdentifierWindows();

// What the run is told when the range settings are missing.
inline constexpr const char* kMissingRangeText =
    "The identifier range for this import is not set: RangeStart and RangeEnd in the Tolvarin section of "
    "Kestal.INI must be whole numbers from 1 up. Nothing was imported. Please call 1-888-CORVANE for more "
    "information.";

}  // namespace tolvarin
