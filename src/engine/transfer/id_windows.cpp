#include "engine/transfer/id_windows.h"

#include <cctype>
#include <string>

#include "core/box_buttons.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/id_ranges.h"
#include "engine/transfer/table_mapping.h"

namespace tolvarin {
namespace {

std::optional<std::int32_t> WholeNumber(const std::string& raw) {
  const std::string text = Trim(raw);
  if (text.empty()) return std::nullopt;
  std::size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size() || text.size() - i > 9) return std::nullopt;
  for (std::size_t k = i; k < text.size(); ++k)
    if (!std::isdigit(static_cast<unsigned char>(text[k]))) return std::nullopt;
  return static_cast<std::int32_t>(std::stol(text));
}

}  // namespace

IdWindow ComputeIdWindow(std::int32_t t, const RemapSettings& s, const WindowLookups& l, const IdWindow& previous) {
  IdWindow w = previous;
  const long mode = s.ImportMode;
  switch (t) {
    case 1:
    case 2:
      switch (mode) {
        case 2: w = {l.firstUsedSource(1, 999999), 99999, l.nextFreeDest(1, 18999), 19999}; break;
        case 3: w = {l.firstUsedSource(1, 999999), 999999, 1, 999999}; break;
        case 4: w = {1, 999999, l.nextFreeDest(s.RangeStart, s.RangeEnd), s.RangeEnd}; break;
        case 5: w = {1, 999999, s.RangeStart, s.RangeEnd}; break;
        case 6: w = {1, 9999999, 9999999, previous.LastNewID}; break;
        case 7:
          if (t == 1)
            w = {l.firstUsedSource(1, 999999), 999999, s.RangeStart, 999999};
          else
            w = {1, 999999, l.nextFreeDest(s.RangeStart, 999999), 999999};
          break;
        default: w = {l.firstUsedSource(1, 999999), 29999, l.newRecordKey(), 999999}; break;
      }
      break;
    case 5:
      if (s.OfficeMode == 1) {
        w.SrcFirstID = l.firstUsedSource(1, 999999);
        w.SrcLastID = 999999;
        if (s.NewExamID > 0) {
          w.FirstNewID = w.LastNewID = s.NewExamID;
        } else if (mode == 5) {
          w.FirstNewID = w.LastNewID = s.RangeStart;
        } else if (mode == 3) {
          w.FirstNewID = 1;
          w.LastNewID = 999999;
        } else {
          w.FirstNewID = l.nextFreeDest(1, 19999);
          w.LastNewID = 999999;
        }
      } else {
        w = {l.firstUsedSource(1, 29999), 999999, l.newRecordKey(), 999999};
      }
      break;
    case 6:
      if (s.OfficeMode == 1)
        w = {l.firstUsedSource(1, 999999), 999999, l.nextFreeDest(1, 19999), 999999};
      else
        w = {l.firstUsedSource(20000, 29999), 999999, l.newRecordKey(), 999999};
      break;
    case 10: w = {l.firstUsedSource(1, 99999), 99999, l.newRecordKey(), 99999}; break;
    case 7:
    case 8:
    case 9:
    case 11:
    case 13:
      w.SrcFirstID = l.firstUsedSource(1, 99999);
      w.SrcLastID = 99999;
      if (mode == 5) {
        w.FirstNewID = w.LastNewID = s.RangeStart;
      } else {
        w.FirstNewID = l.newRecordKey();
        w.LastNewID = 99999;
      }
      break;
    default:  // 3, 4, 12, 14, 15
      w.SrcFirstID = l.firstUsedSource(20000, 29999);
      w.SrcLastID = 99999;
      if (mode == 5) {
        w.FirstNewID = w.LastNewID = s.RangeStart;
      } else {
        w.FirstNewID = l.newRecordKey();
        w.LastNewID = 99999;
      }
      break;
  }
  return w;
}

std::optional<std::int32_t> ReadTolvarinNumber(const char* key) {
  const IniFileState before = CurrentIniFile();
  const std::string text = IniReadString(JoinPath(Settings().AppPath, "Kestal.INI"), "Tolvarin", key);
  if (before.set) IniSetFile(before.section, before.file);
  return WholeNumber(text);
}

std::optional<RemapSettings> ReadRemapSettings() {
  RemapSettings s;
  s.ImportMode = Settings().ImportMode;
  s.OfficeMode = Settings().OfficeMode;
  const bool needsStart = s.ImportMode == 4 || s.ImportMode == 5 || s.ImportMode == 7;
  const bool needsEnd = s.ImportMode == 4 || s.ImportMode == 5;
  const auto start = ReadTolvarinNumber("RangeStart");
  const auto end = ReadTolvarinNumber("RangeEnd");
  const auto exam = ReadTolvarinNumber("NewExamID");
  s.RangeStart = start.value_or(0);
  s.RangeEnd = end.value_or(0);
  s.NewExamID = exam && *exam > 0 ? *exam : 0;
  if (needsStart && (!start || *start < 1)) return std::nullopt;
  if (needsEnd && (!end || *end < s.RangeStart)) return std::nullopt;
  return s;
}

void SetIdentifierWindows() {
  const auto settings = ReadRemapSettings();
  if (!settings) {
    MsgBox(kMissingRangeText, kMbCritical);
    Terminate();
  }
  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    TableMapping& m = Mapping(t);
    WindowLookups lookups;
    lookups.firstUsedSource = [t](std::int32_t a, std::int32_t b) { return GetTableIDBound(t, true, true, a, b); };
    lookups.nextFreeDest = [t](std::int32_t a, std::int32_t b) { return GetTableIDBound(t, false, false, a, b); };
    lookups.newRecordKey = [&m]() {
      if (m.Dest.Data == 0 || m.Dest.KeyTag == 0) return GetIdRange(m.TableName).First;
      const std::string key = GetNewRecordKey(m.Dest);
      if (key.empty()) {
        // Every identifier of the table's window is taken: no row may reuse one.
        MsgBox("The table " + m.TableName + " has no free identifier left for new records.", kMbCritical);
        Terminate();
      }
      return static_cast<std::int32_t>(TextValue(key));
    };
    const IdWindow w = ComputeIdWindow(t, *settings, lookups, {m.SrcFirstID, m.SrcLastID, m.FirstNewID, m.LastNewID});
    m.SrcFirstID = w.SrcFirstID;
    m.SrcLastID = w.SrcLastID;
    m.FirstNewID = w.FirstNewID;
    m.LastNewID = w.LastNewID;
  }
}

}  // namespace tolvarin
