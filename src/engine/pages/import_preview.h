#pragma once
// What the import preview (frmResults) lists, read from the built identifier maps
// before anything is copied: the question map, and per content kind the rows that
// will arrive. Names come from the source row by its old identifier (the destination
// does not hold the row yet, or holds another one under that number); an entry whose
// new identifier names a live row of the destination is marked as replacing it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvarin {

// The kinds of the five lists, in their order: students, classes, sessions,
// activities, exams.
inline constexpr std::array<std::int32_t, 5> kPreviewListKinds{11, 10, 7, 13, 5};

struct PreviewEntry {
  std::string text;
  bool replacing = false;  // the new identifier names a live row the destination holds now
};

// "The following data will be imported into " and the destination course folder.
std::string PreviewMessage();
// "0000012       ->        0020001" per mapped question, ascending by old identifier.
std::vector<std::string> MappedQuestionLines();
// The rows of list 0 to 4 that will arrive, by old identifier; other indexes give none.
// Activities named with a leading "%" are left out, and a graded session's activity
// shows the name it arrives under; a student shows as the trimmed last name, ", "
// and the first name as stored.
std::vector<PreviewEntry> ImportedItems(int listIndex);
// The text a list shows for an entry.
std::string PreviewItemText(const PreviewEntry& entry);

inline constexpr const char* kPreviewReplacingMark = "  (replaces existing)";

}  // namespace tolvarin
