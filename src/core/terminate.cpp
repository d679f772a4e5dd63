#include "core/terminate.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace tolvarin {
namespace {

std::function<void()>& Cleanup() {
  static std::function<void()> cleanup;
  return cleanup;
}

std::vector<std::function<void()>>& Undos() {
  static std::vector<std::function<void()>> undos;
  return undos;
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
  for (auto undos = std::exchange(Undos(), {}); !undos.empty(); undos.pop_back()) {
    try {
      undos.back()();
    } catch (...) {
    }
  }
  EndProcess(StatusOf(reason));
}

TerminateUndo::TerminateUndo(std::function<void()> undo) { Undos().push_back(std::move(undo)); }
TerminateUndo::~TerminateUndo() {
  if (!Undos().empty()) Undos().pop_back();
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
