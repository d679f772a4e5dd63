#pragma once
// The common header of an open table: where it lives, its names and its handles.
#include <cstdint>
#include <string>

#include "platform/xbase/xbase.h"

namespace tolvarin {

struct TableRef {
  std::int32_t Location = 0;  // 1 course folder, 0 brand folder
  std::string TableName;      // upper case, no extension
  std::string FilePath;       // upper-case full path ending ".DBF" (comparison form only)
  xbase::Data4 Data = 0;      // 0 when closed
  xbase::Field4 KeyField = 0; // 0 when the key is a composite tag
  xbase::Tag4 KeyTag = 0;
};

}  // namespace tolvarin
