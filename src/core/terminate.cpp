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

}  // namespace

void SetTerminateCleanup(std::function<void()> cleanup) { Cleanup() = std::move(cleanup); }

void Terminate() {
  // Errors are ignored from here on: nothing may keep the run from ending.
  if (auto cleanup = std::exchange(Cleanup(), nullptr)) {
    try {
      cleanup();
    } catch (...) {
    }
  }
  EndProcess(kTerminateStatus);
}

void EndProcess(int status) {
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace tolvarin
