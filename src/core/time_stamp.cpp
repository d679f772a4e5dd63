#include "core/time_stamp.h"

#include <cctype>
#include <cstdlib>
#include <ctime>

namespace tolvarin {

std::optional<std::chrono::system_clock::time_point> ParseTimeStamp(const std::string& text) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd";
  if (text.size() != sizeof kShape - 1) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  auto number = [&](size_t at, size_t length) { return std::stoi(text.substr(at, length)); };
  std::tm tm{};
  tm.tm_year = number(0, 4) - 1900;
  tm.tm_mon = number(5, 2) - 1;
  tm.tm_mday = number(8, 2);
  tm.tm_hour = number(11, 2);
  tm.tm_min = number(14, 2);
  tm.tm_sec = number(17, 2);
  tm.tm_isdst = -1;
  const std::tm asked = tm;
  const std::time_t when = std::mktime(&tm);
  // mktime moves an impossible date (31 February) on; such a text names no time.
  if (when == static_cast<std::time_t>(-1) || tm.tm_mday != asked.tm_mday || tm.tm_mon != asked.tm_mon ||
      asked.tm_hour > 23 || asked.tm_min > 59 || asked.tm_sec > 59)
    return std::nullopt;
  return std::chrono::system_clock::from_time_t(when);
}

std::chrono::system_clock::time_point ClockNow() {
  if (const char* fixed = std::getenv(kClockVariable); fixed && *fixed)
    if (const auto when = ParseTimeStamp(fixed)) return *when;
  return std::chrono::system_clock::now();
}

}  // namespace tolvarin
