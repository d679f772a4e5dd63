#pragma once
// Reading back the "yyyy-mm-dd hh:nn:ss" local times that logs and description
// files write (FormatTimeStamp in run_log.h writes them).
#include <chrono>
#include <optional>
#include <string>

namespace tolvarin {

// The local time the text names; nullopt unless it has exactly that form and names
// a real date and time.
std::optional<std::chrono::system_clock::time_point> ParseTimeStamp(const std::string& text);

}  // namespace tolvarin
