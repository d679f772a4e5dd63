// The import options page's arrival rule.
#include "engine/pages/import_options.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/presenter.h"
#include "core/scripted_presenter.h"
#include "core/window_helpers.h"
#include "engine/transfer/transfer_state.h"

namespace {

using namespace tolvarin;

TEST(ImportOptionsTest, OnlyAForwardArrivalAsksAndItsAnswerSetsTheFlags) {
  struct Case {
    int pageResult;
    bool asked;
    const char* answer;
    int boxes, result;
    bool classification;
  };
  const Case cases[] = {
      {1, false, "Yes", 1, 1, true},
      {1, false, "No", 1, 1, false},
      {-1, false, "Yes", 0, -1, true},  // back from the file page: leaves at once
      {1, true, "No", 0, 1, true},      // asked already on this visit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer + std::to_string(c.pageResult) + std::to_string(c.asked));
    auto scripted = std::make_unique<ScriptedPresenter>(std::vector<std::string>{c.answer});
    ScriptedPresenter& shown = *scripted;
    auto previous = SetPresenter(std::move(scripted));
    Transfer() = TransferFlags{};
    PageResult() = c.pageResult;
    bool asked = c.asked;
    ImportOptionsArrival(asked);
    EXPECT_EQ(static_cast<int>(shown.Shown().size()), c.boxes);
    if (c.boxes) {
      EXPECT_EQ(shown.Shown()[0].box.text, kImportClassificationQuestion);
      EXPECT_FALSE(Transfer().KeepUserIDs);
      EXPECT_TRUE(asked);
    }
    EXPECT_EQ(PageResult(), c.result);
    EXPECT_EQ(Transfer().ImportClassification, c.classification);
    EXPECT_EQ(Transfer().ImportClassificationTree, c.classification);
    SetPresenter(std::move(previous));
  }
  PageResult() = 0;
  Transfer() = TransferFlags{};
}

}  // namespace
