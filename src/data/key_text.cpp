#include "data/key_text.h"

#include <cstdlib>

#include "core/strings.h"
#include "data/catalogue.h"
#include "data/record_ops.h"

namespace tolvarin {
namespace {

// The number with at least `digits` digits, leading zeros added.
std::string ZeroPadded(long n, std::size_t digits) {
  std::string text = std::to_string(std::labs(n));
  if (text.size() < digits) text.insert(0, digits - text.size(), '0');
  return n < 0 ? "-" + text : text;
}

// Mid$(text, start, length) with a 1-based start.
std::string Mid(const std::string& text, std::size_t start, std::size_t length) {
  if (start - 1 >= text.size()) return "";
  return text.substr(start - 1, length);
}

}  // namespace

std::string FormatID(std::int32_t n) { return ZeroPadded(n, 7); }

std::string KeyText7(std::int32_t n) { return PadLeft(std::to_string(n), 7); }

std::string KeyText3(std::int32_t n) { return PadLeft(std::to_string(n), 3); }

std::string KeyText40(const std::string& text) { return PadRight(text, 40); }

std::string MakeSeriesID(std::int16_t a, std::int16_t b, std::int16_t c) {
  return "S" + ZeroPadded(a, 2) + ZeroPadded(b, 2) + ZeroPadded(c, 2);
}

void ParseSeriesID(const std::string& id, std::int16_t& a, std::int16_t& b, std::int16_t& c) {
  a = static_cast<std::int16_t>(TextValue(Mid(id, 2, 2)));
  b = static_cast<std::int16_t>(TextValue(Mid(id, 4, 2)));
  c = static_cast<std::int16_t>(TextValue(Mid(id, 6, 3)));
}

std::string SeriesIDOf(const TableRef& record, xbase::Field4 seriesField, std::int32_t id) {
  const std::string stored =
      id != -1 ? LookupField(record.Data, record.KeyTag, FormatID(id), seriesField) : xbase::f4str(seriesField);
  if (!stored.empty() && stored[0] == 'S') return stored;
  std::int16_t years = 0;
  for (const std::int32_t value : CurrentCourse().Years) {
    if (value >= id) break;
    ++years;
  }
  return MakeSeriesID(CurrentArea().AreaID, CurrentCourse().CourseID, years);
}

}  // namespace tolvarin
