#include "core/page_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "core/script_steps.h"
#include "core/scripted_presenter.h"

namespace tolvarin {
namespace {

// Slots by letter: 'P' a page answering from its queue, '-' skipped, 'E' the end.
struct Walk {
  Walk(std::string s, std::vector<std::deque<int>> a) : slots(std::move(s)), answers(std::move(a)) {}
  std::string slots;
  std::vector<std::deque<int>> answers;  // per slot
  std::string visited;                   // slot numbers in order of arrival at a page
  LoopEnd Run() {
    return RunPageLoop(static_cast<int>(slots.size()), [this](int p) -> PageSlot {
      if (slots[static_cast<size_t>(p)] == 'E') return {SlotKind::End, nullptr};
      if (slots[static_cast<size_t>(p)] == '-') return {SlotKind::Skipped, nullptr};
      return {SlotKind::Page, [this, p] {
                visited += std::to_string(p);
                std::deque<int>& queue = answers[static_cast<size_t>(p)];
                const int result = queue.front();
                queue.pop_front();
                return result;
              }};
    });
  }
};

TEST(PageLoop, MovesBySlotsAndLeavesAtEitherEnd) {
  struct Case {
    const char* what;
    Walk walk;
    LoopEnd end;
    const char* visited;
  } cases[] = {
      {"straight through", {"PPP", {{1}, {1}, {1}}}, LoopEnd::PastLast, "012"},
      {"Back on the first page", {"PPP", {{-1}, {}, {}}}, LoopEnd::BeforeFirst, "0"},
      // A skipped slot is skipped in the direction of travel, both ways.
      {"skip forwards and back", {"P-PP", {{1, 1}, {}, {-1, 1}, {1}}}, LoopEnd::PastLast, "02023"},
      {"back through the first page", {"P-P", {{1, -1}, {}, {-1}}}, LoopEnd::BeforeFirst, "020"},
      {"an end slot", {"PPE", {{1}, {1}, {}}}, LoopEnd::EndSlot, "01"},
      // A result other than 1 (a page closed some other way) goes back, never stays.
      {"a result of 0 goes back", {"PP", {{1, -1}, {0}}}, LoopEnd::BeforeFirst, "010"},
  };
  for (Case& c : cases) {
    EXPECT_EQ(c.walk.Run(), c.end) << c.what;
    EXPECT_EQ(c.walk.visited, c.visited) << c.what;
  }
}

TEST(ScriptSteps, WindowStepsAreToldFromAnswers) {
  struct Case {
    const char* line;
    StepKind kind;
    const char* control;
    const char* value;
  } cases[] = {
      {"click:cmdComplete", StepKind::Click, "cmdComplete", ""},
      {"text:txtName=Algebra backup", StepKind::Text, "txtName", "Algebra backup"},
      {"text:txtName=a=b", StepKind::Text, "txtName", "a=b"},
      {"pick:fileList=Algebra backup.zip", StepKind::Pick, "fileList", "Algebra backup.zip"},
      {"open:dirFolder=Backup", StepKind::Open, "dirFolder", "Backup"},
      {"shot:main", StepKind::Shot, "main", ""},
      {"Yes", StepKind::Answer, "", "Yes"},
      {"&No", StepKind::Answer, "", "&No"},
      {"Click:cmdComplete", StepKind::Answer, "", "Click:cmdComplete"},  // an answer: prefixes are exact
      {"", StepKind::Answer, "", ""},
  };
  for (const Case& c : cases) {
    const ScriptStep step = ParseScriptStep(c.line);
    EXPECT_EQ(step.kind, c.kind) << c.line;
    EXPECT_EQ(step.control, c.control) << c.line;
    EXPECT_EQ(step.value, c.value) << c.line;
    EXPECT_EQ(IsWindowStep(step), c.kind != StepKind::Answer) << c.line;
  }
}

void AskReplaceWithAWindowStepNext() {
  ScriptedPresenter presenter({"click:cmdComplete"});
  BoxRequest box;
  box.title = "Replace";
  box.text = "Replace the package?";
  box.captions = {"&Yes", "&No"};
  presenter.Ask(box);
}

TEST(ScriptSteps, ABoxMetByAWindowStepFailsTheRunWithTheBoxsText) {
  EXPECT_EXIT(AskReplaceWithAWindowStepNext(), ::testing::ExitedWithCode(kScriptFailedStatus),
              "click:cmdComplete.*Replace the package");
}

TEST(ScriptSteps, AnAnswerNamesAButtonOfTheBox) {
  BoxRequest box;
  box.captions = {"OK", "Cancel"};
  for (const char* answer : {"OK", "ok", "&Cancel", "2", "esc", "default", ""})
    EXPECT_TRUE(NamesAButton(box, answer)) << answer;
  for (const char* answer : {"Yes", "Continue"}) EXPECT_FALSE(NamesAButton(box, answer)) << answer;
}

}  // namespace
}  // namespace tolvarin
