#include "core/terminate.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <vector>

namespace tolvarin {
namespace {

struct EndCase {
  EndReason reason;
  int status;
};

TEST(Terminate, ExitsWithTheStatusOfItsReasonAfterTheCleanup) {
  for (const EndCase& c : {EndCase{EndReason::Normal, 0}, EndCase{EndReason::Failed, 1},
                           EndCase{EndReason::Fatal, kTerminateStatus}}) {
    EXPECT_EXIT(
        {
          SetTerminateCleanup([] { std::fputs("closed", stderr); });
          Terminate(c.reason);
        },
        ::testing::ExitedWithCode(c.status), "closed");
  }
}

TEST(Terminate, AFailingCleanupStillEndsTheRun) {
  EXPECT_EXIT(
      {
        SetTerminateCleanup([] { throw 1; });
        Terminate();
      },
      ::testing::ExitedWithCode(kTerminateStatus), "");
}

TEST(EndRun, AnInstalledHookSeesTheEndAndTheRunGoesOn) {
  std::vector<EndReason> seen;
  SetRunEndHook([&](EndReason reason) { seen.push_back(reason); });
  EndRun(EndReason::Normal);
  EndRun(EndReason::Fatal);
  SetRunEndHook(nullptr);
  EXPECT_EQ(seen, (std::vector<EndReason>{EndReason::Normal, EndReason::Fatal}));
  EXPECT_EXIT(EndRun(EndReason::Normal), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tolvarin
