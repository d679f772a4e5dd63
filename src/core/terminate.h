#pragma once
// The end of a run through Terminate. The engine registers what must be closed (both
// database sets and the engine context); Terminate runs it, ignoring its failures, and
// ends the process. The reason decides the status: a fatal end (a message followed by
// the end of the run) exits non-zero so that scripts and the host can tell, an
// interactive sequence whose transfer failed (the user was told) exits 1, and one that
// ended normally (done, or left with Back) exits 0.
#include <functional>

namespace tolvarin {

inline constexpr int kTerminateStatus = 3;
inline constexpr int kFailedEndStatus = 1;

enum class EndReason { Normal, Failed, Fatal };

// The status a run ended for this reason exits with.
constexpr int StatusOf(EndReason reason) {
  return reason == EndReason::Normal ? 0 : reason == EndReason::Failed ? kFailedEndStatus : kTerminateStatus;
}

void SetTerminateCleanup(std::function<void()> cleanup);
[[noreturn]] void Terminate(EndReason reason = EndReason::Fatal);

// What a run must take back when it ends through Terminate while a piece of work is
// under way (a new folder it is writing): while the guard lives, Terminate runs it
// after the cleanup above, the latest guard's first.
class TerminateUndo {
 public:
  explicit TerminateUndo(std::function<void()> undo);
  ~TerminateUndo();
  TerminateUndo(const TerminateUndo&) = delete;
  TerminateUndo& operator=(const TerminateUndo&) = delete;
};

// The end of an interactive sequence (the main window's buttons, the page loops).
// With a hook installed (tests that drive the windows in-process) the hook sees the
// reason and EndRun returns to its caller; otherwise it is Terminate(reason).
void SetRunEndHook(std::function<void(EndReason)> hook);
void EndRun(EndReason reason);

// A normal end of the run: status 0.
[[noreturn]] void EndProcess(int status = 0);

}  // namespace tolvarin
