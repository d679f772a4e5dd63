#include "data/codebase.h"

#include <cstring>

#include "data/field_defs.h"

namespace tolvarin {

EngineContext& Engine() {
  static EngineContext context;
  return context;
}

void InitCodeBase() {
  auto& engine = Engine();
  engine.EngineHandle = xbase::d4init();
  // Opening a table opens its production index too.
  engine.LastEngineCode = xbase::code4autoOpen(engine.EngineHandle, 1);
  // Asking for a tag a table lacks answers 0 quietly.
  xbase::code4errTagName(engine.EngineHandle, 0);
}

void CloseCodeBase() {
  auto& engine = Engine();
  if (engine.EngineHandle == 0) return;
  engine.LastEngineCode = xbase::d4initUndo(engine.EngineHandle);
}

std::string f4str(xbase::Field4 field) { return xbase::f4str(field); }

std::string f4memoStr(xbase::Field4 field) { return xbase::f4memoStr(field); }

void f4memoStrByRef(xbase::Field4 field, std::string& text) { text = xbase::f4memoStr(field); }

std::string b4String(const char* pointer) {
  if (pointer == nullptr) return "";
  return std::string(pointer, strnlen(pointer, 256));
}

std::string f4name(xbase::Field4 field) { return xbase::f4name(field); }

std::string d4fileName(xbase::Data4 data) { return xbase::d4fileName(data); }

std::string date4format(const std::string& date, const std::string& picture) {
  std::string text = xbase::date4format(date, picture);
  if (text.size() > picture.size()) text.resize(picture.size());
  return text;
}

std::string expr4str(xbase::Expr4 expr) {
  std::string text = xbase::expr4str(expr);
  const int length = xbase::expr4len(expr);
  if (length <= 0) return "";
  if (text.size() > static_cast<std::size_t>(length)) text.resize(static_cast<std::size_t>(length));
  return text;
}

int f4assign(xbase::Field4 field, const std::string& text) { return xbase::f4assign(field, text); }

int f4assignInt(xbase::Field4 field, int value) { return xbase::f4assignInt(field, value); }

xbase::Data4 d4create(const std::string& path, const std::vector<FieldDef>& fields,
                      const std::vector<TagDef>& tags) {
  std::vector<xbase::FieldInfo> fieldInfo;
  fieldInfo.reserve(fields.size());
  for (const auto& f : fields) {
    fieldInfo.push_back({f.Name, f.Type.empty() ? '\0' : f.Type[0], f.Len, f.Dec, f.Nulls});
  }
  std::vector<xbase::TagInfo> tagInfo;
  tagInfo.reserve(tags.size());
  for (const auto& t : tags) tagInfo.push_back({t.Name, t.Expression, t.Filter, t.Unique, t.Descending});

  auto& engine = Engine();
  const xbase::Data4 data = xbase::d4create(engine.EngineHandle, path, fieldInfo, tagInfo);
  if (data != 0) {
    engine.LastEngineCode = xbase::kSuccess;
  } else {
    // Read the pending error without clearing it, so callers that ask the context still see it.
    const int pending = xbase::code4errorCode(engine.EngineHandle, 0);
    xbase::code4errorCode(engine.EngineHandle, pending);
    engine.LastEngineCode = pending;
  }
  return data;
}

}  // namespace tolvarin
