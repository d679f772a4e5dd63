#pragma once
// Reading back the "yyyy-mm-dd hh:nn:ss" local times that logs and description
// files write (FormatTimeStamp in run_log.h writes them).
#include <chrono>
#include <optional>
#include <string>

namespace tolvarin {

// Tests stand in for the clock by naming a time in this variable
// ("yyyy-mm-dd hh:nn:ss"); without it, or with any other text, the system's clock.
inline constexpr const char* kClockVariable = "TOLVARIN_CLOCK";

// Now, as the logs, the description files and the automatic backup's rotation see it.
std::chrono::system_clock::time_point ClockNow();

// The local time the text names; nullopt unless it has exactly that form and names
// a real date and time.
std::optional<std::chrono::system_clock::time_point> ParseTimeStamp(const std::string& text);

}  // namespace tolvarin
