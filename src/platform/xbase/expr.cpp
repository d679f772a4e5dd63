#include "platform/xbase/expr.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace xbase::detail {

namespace {

// Counts, positions and day numbers come from numbers of the expression; values out
// of range (or not a number) are held to the range before any conversion.
size_t ClampToSize(double v, size_t limit) {
  if (!(v > 0)) return 0;
  if (v >= static_cast<double>(limit)) return limit;
  return static_cast<size_t>(v);
}

long ClampToDay(double v) { return v > -1e9 && v < 1e9 ? static_cast<long>(v) : 0; }

enum class Kind {
  kField, kLiteral, kConcat, kTrimConcat, kAdd, kSub, kMul, kDiv, kNeg,
  kCompare, kAnd, kOr, kNot, kCall
};

enum class Fn {
  kUpper, kLower, kLeft, kRight, kSubstr, kTrim, kLtrim, kAlltrim, kDtos, kDtoc, kVal, kStr,
  kDeleted, kRecno, kIif, kEmpty, kCtod
};

struct FnName {
  const char* name;
  Fn fn;
};

constexpr FnName kFunctions[] = {
    {"UPPER", Fn::kUpper},   {"LOWER", Fn::kLower},   {"LEFT", Fn::kLeft},       {"RIGHT", Fn::kRight},
    {"SUBSTR", Fn::kSubstr}, {"TRIM", Fn::kTrim},     {"RTRIM", Fn::kTrim},      {"LTRIM", Fn::kLtrim},
    {"ALLTRIM", Fn::kAlltrim}, {"DTOS", Fn::kDtos},   {"DTOC", Fn::kDtoc},       {"VAL", Fn::kVal},
    {"STR", Fn::kStr},       {"DELETED", Fn::kDeleted}, {"RECNO", Fn::kRecno},   {"IIF", Fn::kIif},
    {"EMPTY", Fn::kEmpty},   {"CTOD", Fn::kCtod},
};

std::string Upper(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

// Howard Hinnant's civil-date conversions; the Julian day number is the day count
// from 1970-01-01 plus 2440588.
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}
std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// The leading number of a text (VAL): blanks skipped, stops at the first byte that
// cannot continue it.
double LeadingNumber(std::string_view s) {
  s = TrimLeft(s);
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
  }
  std::string_view num = s.substr(0, i);
  bool negative = !num.empty() && num.front() == '-';
  if (!num.empty() && (num.front() == '-' || num.front() == '+')) num.remove_prefix(1);
  if (num.empty() || num == ".") return 0;
  double v = 0;
  auto [p, ec] = std::from_chars(num.data(), num.data() + num.size(), v);
  if (ec != std::errc()) return 0;
  return negative ? -v : v;
}

bool IsTrue(char c) { return c == 'T' || c == 't' || c == 'Y' || c == 'y'; }

}  // namespace

struct Expression::Node {
  Kind kind = Kind::kLiteral;
  char type = 'C';
  int length = 0;
  int decimals = 0;
  std::vector<int> args;
  int field = -1;    // index into the layout
  ExprValue literal; // kLiteral
  Fn fn = Fn::kUpper;
  std::string op;    // kCompare
};

// ---------------------------------------------------------------------------
// Helpers shared with the key code.

long JulianFromText(std::string_view t) {
  if (t.size() < 8) return 0;
  long v[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  size_t pos = 0;
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < widths[k]; ++i, ++pos) {
      char c = t[pos];
      if (c < '0' || c > '9') return 0;
      v[k] = v[k] * 10 + (c - '0');
    }
  }
  if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31) return 0;
  return DaysFromCivil(v[0], static_cast<unsigned>(v[1]), static_cast<unsigned>(v[2])) + 2440588;
}

std::string TextFromJulian(long julian) {
  if (julian <= 0) return std::string(8, ' ');
  long y;
  unsigned m, d;
  CivilFromDays(julian - 2440588, y, m, d);
  if (y < 0 || y > 9999) return std::string(8, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04ld%02u%02u", y, m, d);
  return buf;
}

std::string FormatNumber(double value, int len, int dec) {
  if (len <= 0) return {};
  // More decimals than the width holds can never be shown; trying them would cost
  // time and memory in the square of the count.
  dec = std::clamp(dec, 0, len);
  if (!std::isfinite(value)) return std::string(len, '*');
  for (int d = dec; d >= 0; --d) {
    double scale = std::pow(10.0, d);
    double scaled = std::floor(std::fabs(value) * scale + 0.5 + 1e-9);
    bool negative = value < 0 && scaled != 0;
    char digits[400];
    std::snprintf(digits, sizeof digits, "%.0f", scaled);
    std::string num(digits);
    if (d > 0) {
      if (static_cast<int>(num.size()) <= d) num = std::string(static_cast<size_t>(d) + 1 - num.size(), '0') + num;
      const size_t point = num.size() - static_cast<size_t>(d);
      num = num.substr(0, point) + '.' + num.substr(point);
    }
    if (negative) num = '-' + num;
    if (static_cast<int>(num.size()) <= len) return std::string(len - num.size(), ' ') + num;
  }
  return std::string(len, '*');
}

double ParseNumber(std::string_view text) { return LeadingNumber(text); }

// ---------------------------------------------------------------------------
// Parser.

namespace {

class Parser {
 public:
  Parser(std::string_view text, const RecordLayout& layout, std::vector<Expression::Node>& nodes)
      : s_(text), layout_(layout), nodes_(nodes) {}

  int ParseAll() {
    int n = ParseOr();
    SkipBlanks();
    if (n < 0 || pos_ != s_.size()) return -1;
    return n;
  }

 private:
  std::string_view s_;
  size_t pos_ = 0;
  const RecordLayout& layout_;
  std::vector<Expression::Node>& nodes_;
  int depth_ = 0;

  void SkipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\r' || s_[pos_] == '\n'))
      ++pos_;
  }
  bool Peek(std::string_view tok) {
    SkipBlanks();
    if (s_.size() - pos_ < tok.size()) return false;
    for (size_t i = 0; i < tok.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(s_[pos_ + i])) != tok[i]) return false;
    return true;
  }
  bool Accept(std::string_view tok) {
    if (!Peek(tok)) return false;
    pos_ += tok.size();
    return true;
  }
  int Add(Expression::Node n) {
    nodes_.push_back(std::move(n));
    return static_cast<int>(nodes_.size()) - 1;
  }
  Expression::Node& At(int i) { return nodes_[static_cast<size_t>(i)]; }

  int Binary(Kind kind, char type, int length, int decimals, int a, int b) {
    Expression::Node n;
    n.kind = kind;
    n.type = type;
    n.length = length;
    n.decimals = decimals;
    n.args = {a, b};
    return Add(std::move(n));
  }

  int ParseOr() {
    int a = ParseAnd();
    while (a >= 0 && Accept(".OR.")) {
      int b = ParseAnd();
      if (b < 0 || At(a).type != 'L' || At(b).type != 'L') return -1;
      a = Binary(Kind::kOr, 'L', 1, 0, a, b);
    }
    return a;
  }
  int ParseAnd() {
    int a = ParseNot();
    while (a >= 0 && Accept(".AND.")) {
      int b = ParseNot();
      if (b < 0 || At(a).type != 'L' || At(b).type != 'L') return -1;
      a = Binary(Kind::kAnd, 'L', 1, 0, a, b);
    }
    return a;
  }
  int ParseNot() {
    if (++depth_ > 200) return -1;
    int r;
    if (Accept(".NOT.") || (Peek("!") && !Peek("!=") && Accept("!"))) {
      int a = ParseNot();
      if (a < 0 || At(a).type != 'L') return -1;
      Expression::Node n;
      n.kind = Kind::kNot;
      n.type = 'L';
      n.length = 1;
      n.args = {a};
      r = Add(std::move(n));
    } else {
      r = ParseCompare();
    }
    --depth_;
    return r;
  }
  int ParseCompare() {
    int a = ParseAdditive();
    if (a < 0) return -1;
    static const char* const kOps[] = {"==", "<>", "!=", "<=", ">=", "=", "#", "<", ">", "$"};
    for (const char* op : kOps) {
      if (Accept(op)) {
        int b = ParseAdditive();
        if (b < 0 || At(a).type != At(b).type) return -1;
        std::string o = op;
        if (o == "$" && At(a).type != 'C') return -1;
        Expression::Node n;
        n.kind = Kind::kCompare;
        n.type = 'L';
        n.length = 1;
        n.args = {a, b};
        n.op = o == "!=" || o == "#" ? "<>" : o;
        return Add(std::move(n));
      }
    }
    return a;
  }
  int ParseAdditive() {
    int a = ParseMultiplicative();
    while (a >= 0) {
      bool plus;
      if (Accept("+")) plus = true;
      else if (Peek("-") && !Peek("->") && Accept("-")) plus = false;
      else break;
      int b = ParseMultiplicative();
      if (b < 0) return -1;
      char ta = At(a).type, tb = At(b).type;
      int la = At(a).length, lb = At(b).length;
      int dec = std::max(At(a).decimals, At(b).decimals);
      if (ta == 'C' && tb == 'C') a = Binary(plus ? Kind::kConcat : Kind::kTrimConcat, 'C', la + lb, 0, a, b);
      else if (ta == 'N' && tb == 'N') a = Binary(plus ? Kind::kAdd : Kind::kSub, 'N', 20, dec, a, b);
      else if (ta == 'D' && tb == 'N') a = Binary(plus ? Kind::kAdd : Kind::kSub, 'D', 8, 0, a, b);
      else if (ta == 'N' && tb == 'D' && plus) a = Binary(Kind::kAdd, 'D', 8, 0, a, b);
      else if (ta == 'D' && tb == 'D' && !plus) a = Binary(Kind::kSub, 'N', 20, 0, a, b);
      else return -1;
    }
    return a;
  }
  int ParseMultiplicative() {
    int a = ParseUnary();
    while (a >= 0) {
      Kind k;
      if (Accept("*")) k = Kind::kMul;
      else if (Accept("/")) k = Kind::kDiv;
      else break;
      int b = ParseUnary();
      if (b < 0 || At(a).type != 'N' || At(b).type != 'N') return -1;
      a = Binary(k, 'N', 20, std::max(At(a).decimals, At(b).decimals), a, b);
    }
    return a;
  }
  int ParseUnary() {
    if (++depth_ > 200) return -1;
    int r;
    if (Peek("-") && !Peek("->") && Accept("-")) {
      int a = ParseUnary();
      if (a < 0 || At(a).type != 'N') {
        r = -1;
      } else {
        Expression::Node n;
        n.kind = Kind::kNeg;
        n.type = 'N';
        n.length = 20;
        n.decimals = At(a).decimals;
        n.args = {a};
        r = Add(std::move(n));
      }
    } else if (Accept("+")) {
      r = ParseUnary();
      if (r >= 0 && At(r).type != 'N') r = -1;
    } else {
      r = ParsePrimary();
    }
    --depth_;
    return r;
  }

  int Literal(ExprValue v, int length, int decimals = 0) {
    Expression::Node n;
    n.kind = Kind::kLiteral;
    n.type = v.type;
    n.length = length;
    n.decimals = decimals;
    n.literal = std::move(v);
    return Add(std::move(n));
  }

  int ParsePrimary() {
    SkipBlanks();
    if (pos_ >= s_.size()) return -1;
    char c = s_[pos_];
    if (c == '(') {
      ++pos_;
      int a = ParseOr();
      if (a < 0 || !Accept(")")) return -1;
      return a;
    }
    if (c == '"' || c == '\'' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t end = s_.find(close, pos_ + 1);
      if (end == std::string_view::npos) return -1;
      ExprValue v;
      v.type = 'C';
      v.text = std::string(s_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
      int len = static_cast<int>(v.text.size());
      return Literal(std::move(v), len);
    }
    if (Accept(".T.") || Accept(".Y.")) {
      ExprValue v;
      v.type = 'L';
      v.logical = true;
      return Literal(v, 1);
    }
    if (Accept(".F.") || Accept(".N.")) {
      ExprValue v;
      v.type = 'L';
      return Literal(v, 1);
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
      size_t start = pos_;
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      int decimals = 0;
      if (pos_ < s_.size() && s_[pos_] == '.' && pos_ + 1 < s_.size() &&
          std::isdigit(static_cast<unsigned char>(s_[pos_ + 1]))) {
        ++pos_;
        while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_, ++decimals;
      }
      ExprValue v;
      v.type = 'N';
      v.number = LeadingNumber(s_.substr(start, pos_ - start));
      return Literal(v, 20, decimals);
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      std::string name = Identifier();
      if (Accept("->")) {  // alias->field: the alias is the table itself
        SkipBlanks();
        name = Identifier();
        if (name.empty()) return -1;
        return FieldNode(name);
      }
      if (Accept("(")) return Call(name);
      return FieldNode(name);
    }
    return -1;
  }

  std::string Identifier() {
    SkipBlanks();
    size_t start = pos_;
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
    return Upper(s_.substr(start, pos_ - start));
  }

  int FieldNode(const std::string& name) {
    const FieldLayout* f = layout_.Find(name);
    if (!f) return -1;
    Expression::Node n;
    n.kind = Kind::kField;
    n.field = static_cast<int>(f - layout_.fields.data());
    n.length = f->length;
    n.decimals = f->decimals;
    switch (f->type) {
      case 'C': case 'V': case 'Q': n.type = 'C'; break;
      case 'M': case 'G': case 'X': case 'W': case 'P': n.type = 'C'; break;
      case 'N': case 'F': n.type = 'N'; break;
      case 'I': n.type = 'N'; n.length = 11; n.decimals = 0; break;
      case 'B': case 'Y': n.type = 'N'; n.length = 20; break;
      case 'D': n.type = 'D'; n.length = 8; break;
      case 'L': n.type = 'L'; n.length = 1; break;
      default: return -1;
    }
    return Add(std::move(n));
  }

  static bool ConstInt(const Expression::Node& n, int& out) {
    if (n.kind != Kind::kLiteral || n.type != 'N') return false;
    if (n.literal.number < 0 || n.literal.number > 100000) return false;
    out = static_cast<int>(n.literal.number);
    return true;
  }

  int Call(const std::string& name) {
    // Function names may be shortened to four letters, as the language allows.
    const FnName* found = nullptr;
    for (const auto& f : kFunctions) {
      std::string_view full = f.name;
      if (name == full || (name.size() >= 4 && full.substr(0, name.size()) == name)) {
        found = &f;
        break;
      }
    }
    if (!found) return -1;
    std::vector<int> args;
    if (!Accept(")")) {
      do {
        int a = ParseOr();
        if (a < 0) return -1;
        args.push_back(a);
      } while (Accept(","));
      if (!Accept(")")) return -1;
    }
    auto type = [&](size_t i) { return i < args.size() ? At(args[i]).type : '\0'; };
    Expression::Node n;
    n.kind = Kind::kCall;
    n.fn = found->fn;
    n.args = args;
    const size_t count = args.size();
    int k = 0;
    switch (found->fn) {
      case Fn::kUpper: case Fn::kLower: case Fn::kTrim: case Fn::kLtrim: case Fn::kAlltrim:
        if (count != 1 || type(0) != 'C') return -1;
        n.type = 'C';
        n.length = At(args[0]).length;
        break;
      case Fn::kLeft: case Fn::kRight:
        if (count != 2 || type(0) != 'C' || type(1) != 'N') return -1;
        n.type = 'C';
        n.length = ConstInt(At(args[1]), k) ? std::min(k, At(args[0]).length) : At(args[0]).length;
        break;
      case Fn::kSubstr: {
        if (count < 2 || count > 3 || type(0) != 'C' || type(1) != 'N' || (count == 3 && type(2) != 'N'))
          return -1;
        n.type = 'C';
        int start = 1, len = 0;
        int whole = At(args[0]).length;
        if (!ConstInt(At(args[1]), start)) start = 1;
        int rest = std::max(0, whole - std::max(start, 1) + 1);
        n.length = count == 3 && ConstInt(At(args[2]), len) ? std::min(len, rest) : rest;
        break;
      }
      case Fn::kDtos:
        if (count != 1 || type(0) != 'D') return -1;
        n.type = 'C';
        n.length = 8;
        break;
      case Fn::kDtoc:
        if (count < 1 || count > 2 || type(0) != 'D' || (count == 2 && type(1) != 'N')) return -1;
        n.type = 'C';
        n.length = 8;
        break;
      case Fn::kVal:
        if (count != 1 || type(0) != 'C') return -1;
        n.type = 'N';
        n.length = 20;
        n.decimals = 2;
        break;
      case Fn::kStr: {
        if (count < 1 || count > 3 || type(0) != 'N') return -1;
        int len = 10, dec = 0;
        if (count >= 2 && !ConstInt(At(args[1]), len)) return -1;
        if (count == 3 && !ConstInt(At(args[2]), dec)) return -1;
        if (len < 1 || len > 255) return -1;
        n.type = 'C';
        n.length = len;
        n.decimals = dec;
        break;
      }
      case Fn::kDeleted:
        if (count != 0) return -1;
        n.type = 'L';
        n.length = 1;
        break;
      case Fn::kRecno:
        if (count != 0) return -1;
        n.type = 'N';
        n.length = 10;
        break;
      case Fn::kIif:
        if (count != 3 || type(0) != 'L' || type(1) != type(2)) return -1;
        n.type = type(1);
        n.length = std::max(At(args[1]).length, At(args[2]).length);
        n.decimals = std::max(At(args[1]).decimals, At(args[2]).decimals);
        break;
      case Fn::kEmpty:
        if (count != 1) return -1;
        n.type = 'L';
        n.length = 1;
        break;
      case Fn::kCtod:
        if (count != 1 || type(0) != 'C') return -1;
        n.type = 'D';
        n.length = 8;
        break;
    }
    return Add(std::move(n));
  }
};

// MM/DD/YY or MM/DD/YYYY (the American form DTOC writes) to a Julian day.
long JulianFromAmerican(std::string_view t) {
  t = TrimLeft(TrimRight(t));
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int k = 0;
  for (char c : t) {
    if (c >= '0' && c <= '9') {
      if (digits[k] >= 4) return 0;
      parts[k] = parts[k] * 10 + (c - '0');
      ++digits[k];
    } else if (c == '/' || c == '-' || c == '.') {
      if (++k > 2) return 0;
    } else {
      return 0;
    }
  }
  if (k != 2 || digits[2] == 0) return 0;
  int year = parts[2];
  if (digits[2] <= 2) year += 1900;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, parts[0] % 100, parts[1] % 100);
  return JulianFromText(buf);
}

}  // namespace

Expression::~Expression() = default;

namespace {

// Evaluation recurses once per level of the tree. A chain of operators ("1-1-1-...")
// parses in a loop but still makes one level per operator, so the tree's height is
// bounded as well as the parser's nesting.
constexpr int kMaxTreeHeight = 200;

// Nodes are added after their arguments, so one pass in order sees every argument first.
bool TreeTooTall(const std::vector<Expression::Node>& nodes) {
  std::vector<int> height(nodes.size(), 1);
  for (size_t i = 0; i < nodes.size(); ++i) {
    for (int arg : nodes[i].args) {
      if (arg < 0 || static_cast<size_t>(arg) >= i) return true;
      height[i] = std::max(height[i], height[static_cast<size_t>(arg)] + 1);
    }
    if (height[i] > kMaxTreeHeight) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<Expression> Expression::Parse(std::string_view text, const RecordLayout& layout) {
  if (text.size() > 4096) return nullptr;
  std::unique_ptr<Expression> e(new Expression());
  e->source_ = std::string(text);
  Parser p(text, layout, e->nodes_);
  e->root_ = p.ParseAll();
  if (e->root_ < 0 || TreeTooTall(e->nodes_)) return nullptr;
  if (e->Type() == 'C' && e->Length() <= 0) return nullptr;
  e->layout_ = layout;
  return e;
}

char Expression::Type() const { return nodes_[static_cast<size_t>(root_)].type; }
int Expression::Length() const { return nodes_[static_cast<size_t>(root_)].length; }
int Expression::Decimals() const { return nodes_[static_cast<size_t>(root_)].decimals; }

ExprValue Expression::Evaluate(std::string_view record, long recno) const { return Eval(root_, record, recno); }

const FieldLayout* Expression::CharField() const {
  const Node& root = nodes_[static_cast<size_t>(root_)];
  if (root.kind != Kind::kField) return nullptr;
  const FieldLayout& f = layout_.fields[static_cast<size_t>(root.field)];
  return f.type == 'C' ? &f : nullptr;
}

std::string Expression::Text(std::string_view record, long recno) const {
  const Node& root = nodes_[static_cast<size_t>(root_)];
  if (root.kind == Kind::kField && (root.type == 'N' || root.type == 'C')) {
    const FieldLayout& f = layout_.fields[static_cast<size_t>(root.field)];
    if (f.type == 'N' || f.type == 'F' || f.type == 'C') {
      if (f.offset >= 0 && static_cast<size_t>(f.offset) + f.length <= record.size())
        return std::string(record.substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.length)));
      return std::string(static_cast<size_t>(f.length), ' ');
    }
  }
  ExprValue v = Evaluate(record, recno);
  switch (v.type) {
    case 'C': {
      std::string t = std::move(v.text);
      t.resize(static_cast<size_t>(root.length), ' ');
      return t;
    }
    case 'N': return FormatNumber(v.number, root.length, root.decimals);
    case 'D': return TextFromJulian(ClampToDay(v.number));
    default: return v.logical ? "T" : "F";
  }
}

ExprValue Expression::Eval(int index, std::string_view record, long recno) const {
  const Node& n = nodes_[static_cast<size_t>(index)];
  ExprValue r;
  r.type = n.type;
  auto arg = [&](size_t i) { return Eval(n.args[i], record, recno); };
  switch (n.kind) {
    case Kind::kLiteral:
      return n.literal;
    case Kind::kField: {
      const FieldLayout& f = layout_.fields[static_cast<size_t>(n.field)];
      std::string_view bytes;
      if (f.offset >= 0 && static_cast<size_t>(f.offset) + f.length <= record.size())
        bytes = record.substr(static_cast<size_t>(f.offset), static_cast<size_t>(f.length));
      switch (f.type) {
        case 'M': case 'G': case 'X': case 'W': case 'P':
          r.text = layout_.memoText && !bytes.empty() ? layout_.memoText(record, f) : std::string();
          break;
        case 'C': case 'V': case 'Q':
          r.text = bytes.empty() ? std::string(static_cast<size_t>(f.length), ' ') : std::string(bytes);
          break;
        case 'N': case 'F': r.number = LeadingNumber(bytes); break;
        case 'I':
          if (bytes.size() == 4) {
            std::uint32_t u = 0;
            for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
            r.number = static_cast<std::int32_t>(u);
          }
          break;
        case 'B':
          if (bytes.size() == 8) std::memcpy(&r.number, bytes.data(), 8);
          break;
        case 'Y':
          if (bytes.size() == 8) {
            std::int64_t v;
            std::memcpy(&v, bytes.data(), 8);
            r.number = static_cast<double>(v) / 10000.0;
          }
          break;
        case 'D': r.number = static_cast<double>(JulianFromText(bytes)); break;
        case 'L': r.logical = !bytes.empty() && IsTrue(bytes[0]); break;
      }
      return r;
    }
    case Kind::kConcat: {
      ExprValue a = arg(0), b = arg(1);
      r.text = std::move(a.text);
      r.text += b.text;
      return r;
    }
    case Kind::kTrimConcat: {
      // a - b: a's trailing blanks move behind b.
      ExprValue a = arg(0), b = arg(1);
      std::string_view at = TrimRight(a.text);
      size_t blanks = a.text.size() - at.size();
      r.text = std::string(at) + b.text + std::string(blanks, ' ');
      return r;
    }
    case Kind::kAdd: r.number = arg(0).number + arg(1).number; return r;
    case Kind::kSub: r.number = arg(0).number - arg(1).number; return r;
    case Kind::kMul: r.number = arg(0).number * arg(1).number; return r;
    case Kind::kDiv: {
      double d = arg(1).number;
      r.number = d == 0 ? 0 : arg(0).number / d;
      return r;
    }
    case Kind::kNeg: r.number = -arg(0).number; return r;
    case Kind::kAnd: r.logical = arg(0).logical && arg(1).logical; return r;
    case Kind::kOr: r.logical = arg(0).logical || arg(1).logical; return r;
    case Kind::kNot: r.logical = !arg(0).logical; return r;
    case Kind::kCompare: {
      ExprValue a = arg(0), b = arg(1);
      int c = 0;
      if (a.type == 'C') {
        if (n.op == "$") {
          r.logical = b.text.find(a.text) != std::string::npos;
          return r;
        }
        std::string x = a.text, y = b.text;
        if (n.op == "=" || n.op == "<>") {
          // Inexact comparison: the right side decides how many bytes count.
          if (x.size() > y.size()) x.resize(y.size());
        }
        size_t len = std::max(x.size(), y.size());
        x.resize(len, ' ');
        y.resize(len, ' ');
        c = x.compare(y);
      } else if (a.type == 'L') {
        c = static_cast<int>(a.logical) - static_cast<int>(b.logical);
      } else {
        c = a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
      }
      const std::string& op = n.op;
      r.logical = op == "=" || op == "==" ? c == 0 : op == "<>" ? c != 0 : op == "<" ? c < 0
                : op == ">" ? c > 0 : op == "<=" ? c <= 0 : c >= 0;
      return r;
    }
    case Kind::kCall:
      break;
  }
  // Function calls.
  switch (n.fn) {
    case Fn::kUpper: case Fn::kLower: {
      r.text = arg(0).text;
      for (auto& c : r.text)
        c = static_cast<char>(n.fn == Fn::kUpper ? std::toupper(static_cast<unsigned char>(c))
                                                 : std::tolower(static_cast<unsigned char>(c)));
      return r;
    }
    case Fn::kTrim: r.text = std::string(TrimRight(arg(0).text)); return r;
    case Fn::kLtrim: r.text = std::string(TrimLeft(arg(0).text)); return r;
    case Fn::kAlltrim: r.text = std::string(TrimLeft(TrimRight(arg(0).text))); return r;
    case Fn::kLeft: case Fn::kRight: {
      std::string t = arg(0).text;
      double k = arg(1).number;
      size_t count = ClampToSize(k, t.size());
      r.text = n.fn == Fn::kLeft ? t.substr(0, count) : t.substr(t.size() - count);
      return r;
    }
    case Fn::kSubstr: {
      std::string t = arg(0).text;
      double start = arg(1).number;
      size_t from = start < 1 ? 0 : ClampToSize(start, t.size() + 1) - 1;
      if (from >= t.size()) return r;
      size_t count = t.size() - from;
      if (n.args.size() == 3) {
        double len = arg(2).number;
        count = ClampToSize(len, count);
      }
      r.text = t.substr(from, count);
      return r;
    }
    case Fn::kDtos: r.text = TextFromJulian(ClampToDay(arg(0).number)); return r;
    case Fn::kDtoc: {
      long j = ClampToDay(arg(0).number);
      bool sortable = n.args.size() == 2 && arg(1).number == 1;
      std::string t = TextFromJulian(j);
      if (sortable) {
        r.text = t;
      } else if (j <= 0) {
        r.text = "  /  /  ";
      } else {
        r.text = t.substr(4, 2) + "/" + t.substr(6, 2) + "/" + t.substr(2, 2);
      }
      return r;
    }
    case Fn::kVal: r.number = LeadingNumber(arg(0).text); return r;
    case Fn::kStr: r.text = FormatNumber(arg(0).number, n.length, n.decimals); return r;
    case Fn::kDeleted: r.logical = !record.empty() && record[0] == '*'; return r;
    case Fn::kRecno: r.number = static_cast<double>(recno); return r;
    case Fn::kIif: return arg(0).logical ? arg(1) : arg(2);
    case Fn::kEmpty: {
      ExprValue a = arg(0);
      r.logical = a.type == 'C' ? TrimRight(a.text).empty() && TrimLeft(a.text).empty()
                : a.type == 'L' ? !a.logical : a.number == 0;
      return r;
    }
    case Fn::kCtod: r.number = static_cast<double>(JulianFromAmerican(arg(0).text)); return r;
  }
  return r;
}

}  // namespace xbase::detail
