#include "construction/field_values.h"

#include <cerrno>
#include <cstdlib>

#include "core/strings.h"
#include "data/codebase.h"

namespace tolvarin {
namespace {

bool IsNumeric(char type) { return type == 'N' || type == 'F' || type == 'I' || type == 'B' || type == 'Y'; }
bool IsMemoType(char type) { return type == 'M' || type == 'X'; }

// The field's text without the blanks, or the zero bytes some programs pad with.
std::string Text(xbase::Field4 field) {
  std::string text = IsMemoType(xbase::f4type(field)) ? f4memoStr(field) : f4str(field);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return Trim(text);
}

// The number a text writes; false when it writes none.
bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) {
    value = 0;
    return true;
  }
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace

bool ValueArrived(xbase::Field4 original, xbase::Field4 copy) {
  const char from = xbase::f4type(original);
  const char to = xbase::f4type(copy);
  const std::string stored = Text(copy);
  if (IsNumeric(to)) {
    if (stored.find('*') != std::string::npos) return false;  // too wide for the field
    double value = 0;
    if (IsNumeric(from)) {
      value = xbase::f4double(original);
    } else if (!ParseNumber(Text(original), value)) {
      return false;
    }
    return value == xbase::f4double(copy);
  }
  return Text(original) == stored;
}

std::string DescribeValue(xbase::Data4 table, xbase::Field4 field) {
  std::string text = ToLower(Trim(f4name(field))) + " of row " + std::to_string(xbase::d4recNo(table));
  if (xbase::d4numFields(table) > 0) {
    const xbase::Field4 first = xbase::d4fieldJ(table, 1);
    text += " (" + ToLower(Trim(f4name(first))) + " " + Text(first) + ")";
  }
  return text;
}

}  // namespace tolvarin
