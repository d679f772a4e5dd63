// Fuzzes the expression parser and evaluator: the input is an expression text and,
// after a NUL, the bytes of a record (padded or cut to the layout). Parsing either
// fails cleanly or gives an expression whose value can be taken on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xbase/expr.h"

using namespace xbase::detail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const RecordLayout layout = [] {
    RecordLayout l;
    l.fields = {{"NAME", 'C', 1, 10, 0}, {"PRICE", 'N', 11, 6, 2}, {"WHEN", 'D', 17, 8, 0}, {"DONE", 'L', 25, 1, 0},
                {"COUNT", 'I', 26, 4, 0}, {"AMOUNT", 'B', 30, 8, 2}, {"NOTES", 'M', 38, 10, 0}};
    l.recordLength = 48;
    l.memoText = [](std::string_view record, const FieldLayout& f) {
      return std::string(record.substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.length)));
    };
    return l;
  }();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  std::string_view text = input.substr(0, split);
  std::string record(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
  record.resize(static_cast<size_t>(layout.recordLength), ' ');
  auto expr = Expression::Parse(text, layout);
  if (!expr) return 0;
  std::string value = expr->Text(record, 7);
  if (expr->Type() == 'C' && static_cast<int>(value.size()) != expr->Length()) __builtin_trap();
  expr->Evaluate(std::string(static_cast<size_t>(layout.recordLength), ' '));
  expr->Evaluate(std::string_view());  // a record shorter than the layout
  return 0;
}
