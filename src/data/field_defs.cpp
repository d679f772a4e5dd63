#include "data/field_defs.h"

#include "platform/xbase/xbase.h"

namespace tolvarin {

FieldDef MakeFieldDef(const std::string& name, int length, int typeCode) {
  FieldDef def;
  def.Name = name;
  def.Len = static_cast<std::int16_t>(length);
  switch (typeCode) {
    case 0: def.Type = "C"; break;
    case 1: def.Type = "N"; break;
    case 2: def.Type = "M"; break;
    case 3: def.Type = "L"; break;
    case 4: def.Type = "D"; break;
    case 5: def.Type = "M"; break;  // a memo holding a whole document or raw content
    default: break;
  }
  return def;
}

TagDef MakeTagDef(const std::string& name, const std::string& expression, int unique, int descending) {
  TagDef def;
  def.Name = name;
  def.Expression = expression;
  def.Unique = static_cast<std::int16_t>(unique);
  def.Descending = descending > 0 ? xbase::kDescending : 0;
  return def;
}

}  // namespace tolvarin
