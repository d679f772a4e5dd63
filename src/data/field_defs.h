#pragma once
// How a table's fields and tags are described when the engine creates a table:
// the schema describes every table of the databases this way, and tests make
// their own small tables with the same calls.
#include <cstdint>
#include <string>

namespace tolvarin {

// One field, in the member order of the engine's field description.
struct FieldDef {
  std::string Name;
  std::string Type;        // one letter: C N M L D ("" for an unknown type code)
  std::int16_t Len = 0;
  std::int16_t Dec = 0;    // always 0
  std::int16_t Nulls = 0;  // always 0
};

// One index tag, in the member order of the engine's tag description.
struct TagDef {
  std::string Name;
  std::string Expression;
  std::string Filter;           // always empty
  std::int16_t Unique = 0;      // 0, 15 or 25, passed to the engine unchanged
  std::int16_t Descending = 0;  // 0, or 10 for a descending tag
};

// Type codes: 0 C, 1 N, 2 M, 3 L, 4 D, 5 M (documents and raw content); others leave Type empty.
FieldDef MakeFieldDef(const std::string& name, int length, int typeCode);
// Descending is 10 when descending > 0.
TagDef MakeTagDef(const std::string& name, const std::string& expression, int unique, int descending);

}  // namespace tolvarin
