#pragma once
// Helpers for the table engine's tests: a context that ends with the test, small
// tables made through the engine, and raw byte access to the files.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/xbase/xbase.h"
#include "support/test_support.h"

namespace xbase_test {

class Engine {
 public:
  Engine() : code_(xbase::d4init()) {}
  ~Engine() { xbase::d4initUndo(code_); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  xbase::Code4 code() const { return code_; }

 private:
  xbase::Code4 code_;
};

// NAME C 10, PRICE N 6.2, NOTES M 10, COUNT N 4, DONE L, WHEN D, BLOB M 4.
inline std::vector<xbase::FieldInfo> MixedFields() {
  return {{"name", 'C', 10, 0}, {"price", 'N', 6, 2}, {"notes", 'M', 10, 0}, {"count", 'N', 4, 0},
          {"done", 'L', 1, 0},  {"when", 'D', 8, 0},  {"blob", 'M', 4, 0}};
}

inline std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

inline std::uint32_t Be32(const std::string& bytes, std::size_t at) {
  auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

// Appends one record with the given field texts (by position, memos as memo text).
inline int AppendRow(xbase::Data4 data, const std::vector<std::string>& values) {
  int code = xbase::d4appendStart(data, 0);
  if (code != 0) return code;
  for (std::size_t i = 0; i < values.size(); ++i) {
    code = xbase::f4memoAssign(xbase::d4fieldJ(data, static_cast<int>(i) + 1), values[i]);
    if (code != 0) return code;
  }
  return xbase::d4append(data);
}

}  // namespace xbase_test
