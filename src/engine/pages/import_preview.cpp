#include "engine/pages/import_preview.h"

#include "core/strings.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/row_copy.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/table_mapping.h"

namespace tolvarin {

using transfer::Seek;

std::string PreviewMessage() { return "The following data will be imported into " + Dest().CourseFolder; }

std::vector<std::string> MappedQuestionLines() {
  std::vector<std::string> lines;
  const IdMap& map = Mapping(kQuestsTable).IDMap;
  if (map.Empty()) return lines;
  for (std::int32_t old = map.low(); old <= map.high(); ++old)
    if (const std::int32_t id = map.Get(old); id > 0)
      lines.push_back(FormatID(old) + "       ->        " + FormatID(id));
  return lines;
}

std::vector<PreviewEntry> ImportedItems(int listIndex) {
  std::vector<PreviewEntry> entries;
  if (listIndex < 0 || listIndex >= static_cast<int>(kPreviewListKinds.size())) return entries;
  const std::int32_t kind = kPreviewListKinds[static_cast<std::size_t>(listIndex)];
  const TableMapping& m = Mapping(kind);
  const IdMap& map = m.IDMap;
  if (map.Empty() || m.Src.Data == 0 || m.Dest.Data == 0 || m.SrcNameField == 0) return entries;
  for (std::int32_t old = map.low(); old <= map.high(); ++old) {
    const std::int32_t id = map.Get(old);
    if (id <= 0 || !Seek(m.Src.Data, m.Src.KeyTag, FormatID(old))) continue;
    PreviewEntry entry;
    entry.text = Trim(f4str(m.SrcNameField));
    if (kind == kKindActivities && entry.text.rfind('%', 0) == 0) continue;
    if (kind == kKindActivities) entry.text = ArrivingActivityName(entry.text);
    if (kind == kKindStudents) entry.text += ", " + f4str(Src().Students.First_name);
    // A row the destination holds only marked deleted is not the teacher's any more.
    entry.replacing = transfer::SeekLive(m.Dest.Data, m.Dest.KeyTag, FormatID(id));
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string PreviewItemText(const PreviewEntry& entry) {
  return entry.replacing ? entry.text + kPreviewReplacingMark : entry.text;
}

}  // namespace tolvarin
