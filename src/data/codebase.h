#pragma once
// The system's binding over the table engine: the one engine context of the
// process, the last engine return code that callers test, and the text routines
// that copy engine texts by length.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/xbase/xbase.h"

namespace tolvarin {

struct FieldDef;
struct TagDef;

struct EngineContext {
  xbase::Code4 EngineHandle = 0;   // 0 while no context exists; never reset by CloseCodeBase
  std::int32_t LastEngineCode = 0; // result of the last engine call a table routine made
};

EngineContext& Engine();

void InitCodeBase();
void CloseCodeBase();

// Copies out of the engine by length, blanks kept.
std::string f4str(xbase::Field4 field);
std::string f4memoStr(xbase::Field4 field);
void f4memoStrByRef(xbase::Field4 field, std::string& text);
// The NUL-terminated text at the pointer, at most 256 characters; "" for a null pointer.
std::string b4String(const char* pointer);
std::string f4name(xbase::Field4 field);
std::string d4fileName(xbase::Data4 data);
std::string date4format(const std::string& date, const std::string& picture);
std::string expr4str(xbase::Expr4 expr);
int f4assign(xbase::Field4 field, const std::string& text);
int f4assignInt(xbase::Field4 field, int value);
// Creates a table with its index from the schema's definition lists.
xbase::Data4 d4create(const std::string& path, const std::vector<FieldDef>& fields,
                      const std::vector<TagDef>& tags);

}  // namespace tolvarin
