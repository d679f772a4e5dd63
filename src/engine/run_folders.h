#pragma once
// The folders a run works on, held for the whole run (core/run_lock.h), so that a
// second run on the same course, backup, slots or databases waits for the first or
// is refused before it writes anything.
#include <chrono>
#include <string>
#include <vector>

namespace tolvarin {

// Names the milliseconds a run waits for a folder another run holds (tests only).
inline constexpr const char* kLockWaitVariable = "TOLVARIN_LOCK_WAIT";
inline constexpr std::chrono::milliseconds kLockWait{5000};

// The folders the run that start-up resolved reads or writes, by its mode: the
// course, the backup folder, package or slots, the program's staging folders, and
// for the modes that may touch any database folder the databases root itself.
std::vector<std::string> RunFolders();

// Takes RunFolders for the rest of the process. False when another run holds one of
// them past the wait, or the locks cannot be taken: the user was told, the run log
// says so, and nothing was written.
bool LockRunFolders();

}  // namespace tolvarin
