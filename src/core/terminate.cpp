#include "core/terminate.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace tolvarin {
namespace {

std::function<void()>& Cleanup() {
  static std::function<void()> cleanup;
  return cleanup;
}

std::function<void(EndReason)>& RunEndHook() {
  static std::function<void(EndReason)> hook;
  return hook;
}

}  // namespace

void SetTerminateCleanup(std::function<void()> cleanup) { Cleanup() = std::move(cleanup); }

void Terminate(EndReason reason) {
  // Errors are ignored from here on: nothing may keep the run from ending.
  if (auto cleanup = std::exchange(Cleanup(), nullptr)) {
    try {
      cleanup();
    } catch (...) {
    }
  }
  EndProcess(StatusOf(reason));
}

void SetRunEndHook(std::function<void(EndReason)> hook) { RunEndHook() = std::move(hook); }

void EndRun(EndReason reason) {
  if (RunEndHook()) {
    RunEndHook()(reason);
    return;
  }
  Terminate(reason);
}

void EndProcess(int status) {
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace tolvarin
