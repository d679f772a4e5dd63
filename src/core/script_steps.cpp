#include "core/script_steps.h"

#include <cstdio>
#include <utility>

#include "core/terminate.h"

namespace tolvarin {

ScriptStep ParseScriptStep(const std::string& line) {
  static const std::pair<const char*, StepKind> kPrefixes[] = {
      {"click:", StepKind::Click}, {"text:", StepKind::Text}, {"pick:", StepKind::Pick},
      {"open:", StepKind::Open},   {"shot:", StepKind::Shot}, {"close:", StepKind::Close},
  };
  for (const auto& [prefix, kind] : kPrefixes) {
    const std::string p = prefix;
    if (line.compare(0, p.size(), p) != 0) continue;
    ScriptStep step{kind, line.substr(p.size()), ""};
    if (kind == StepKind::Text || kind == StepKind::Pick || kind == StepKind::Open) {
      const size_t equals = step.control.find('=');
      if (equals != std::string::npos) {
        step.value = step.control.substr(equals + 1);
        step.control.resize(equals);
      }
    }
    return step;
  }
  return ScriptStep{StepKind::Answer, "", line};
}

bool IsWindowStep(const ScriptStep& step) { return step.kind != StepKind::Answer; }

void FailScript(const std::string& reason) {
  std::fprintf(stderr, "TOLVARIN SCRIPT: %s\n", reason.c_str());
  EndProcess(kScriptFailedStatus);
}

}  // namespace tolvarin
