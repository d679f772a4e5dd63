#pragma once
// The two reads every transfer step makes on the source and destination tables.
#include <cstdint>
#include <string>

#include "platform/xbase/xbase.h"

namespace tolvarin::transfer {

// A field's value as a whole number (identifier texts included).
inline std::int32_t Number(xbase::Field4 field) { return static_cast<std::int32_t>(xbase::f4long(field)); }

// Selects the tag and seeks the key; false for an unbound table or tag, or a key not found.
inline bool Seek(xbase::Data4 data, xbase::Tag4 tag, const std::string& key) {
  if (data == 0 || tag == 0) return false;
  xbase::d4tagSelect(data, tag);
  return xbase::d4seek(data, key) == xbase::kSuccess;
}

// As Seek, for a row that is not marked deleted: what the destination holds live.
inline bool SeekLive(xbase::Data4 data, xbase::Tag4 tag, const std::string& key) {
  return Seek(data, tag, key) && !xbase::d4deleted(data);
}

}  // namespace tolvarin::transfer
