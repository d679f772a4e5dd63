#pragma once
// The fatal end of a run. The engine registers what must be closed (both database
// sets and the engine context); Terminate runs it, ignoring its failures, and ends
// the process with a non-zero status so that scripts and the host can tell.
#include <functional>

namespace tolvarin {

inline constexpr int kTerminateStatus = 3;

void SetTerminateCleanup(std::function<void()> cleanup);
[[noreturn]] void Terminate();

// A normal end of the run: status 0.
[[noreturn]] void EndProcess(int status = 0);

}  // namespace tolvarin
