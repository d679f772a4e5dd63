#pragma once
// Key and filter expressions of the engine's expression language, parsed against
// a record layout and evaluated on raw record bytes.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/table_index.h"

namespace xbase::detail {

// A value of an expression: C text, N number, D Julian day number (0 = blank date),
// L logical.
struct ExprValue {
  char type = 'C';
  std::string text;
  double number = 0;
  bool logical = false;
};

class Expression {
 public:
  // nullptr on a syntax error, an unknown field or function, or a type error.
  static std::unique_ptr<Expression> Parse(std::string_view text, const RecordLayout& layout);
  ~Expression();
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  char Type() const;    // C, N, D or L
  int Length() const;   // width of the result (C: fixed width; N: text width; D 8; L 1)
  int Decimals() const; // N: decimals of the text form
  const std::string& Source() const { return source_; }

  ExprValue Evaluate(std::string_view record, long recno = 0) const;
  // The field when the whole expression is one character field (its value is the
  // field's bytes as they are), else nullptr.
  const FieldLayout* CharField() const;
  // The value as text: C padded or cut to Length(), N right-aligned in Length(),
  // D as CCYYMMDD (blanks when empty), L as T or F.
  std::string Text(std::string_view record, long recno = 0) const;

  struct Node;

 private:
  Expression() = default;
  std::string source_;
  RecordLayout layout_;
  std::vector<Node> nodes_;
  int root_ = -1;
  ExprValue Eval(int node, std::string_view record, long recno) const;
};

// Dates: Julian day numbers of CCYYMMDD texts (0 for blank or invalid) and back.
long JulianFromText(std::string_view ccyymmdd);
std::string TextFromJulian(long julian);  // 8 blanks for 0
// Numbers as the engine writes them: right-aligned in len with dec decimals, "*"
// fill when the value does not fit.
std::string FormatNumber(double value, int len, int dec);
// The numeric value of N/F text (blanks give 0).
double ParseNumber(std::string_view text);

}  // namespace xbase::detail
