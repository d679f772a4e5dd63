#pragma once
// The bar of frmProgress in the design's units (twips, the frame's left edge at 0):
// a filled bar at a fraction, or a block that moves a tenth of the frame every
// tenth working step and starts over at the left.
#include <cstdint>

namespace tolvarin::ui {

struct ProgressBarModel {
  static constexpr int kBorderLeft = 0;
  int borderWidth = 6000;
  int barLeft = kBorderLeft + 100;
  int barWidth = 0;
  int step = 0;  // working steps since the block last moved, 0..9

  // ShowProgressBar: the bar starts 100 in from the frame; ratio = current/total,
  // 0 when total is 0.
  void FillCount(std::int32_t current, std::int32_t total);
  // ShowProgessBarDbl: the same width rule, the left edge left where it is.
  void FillFraction(double fraction);
  // ShowWorkingBar: true when the block moved (every tenth call).
  bool Work();
};

}  // namespace tolvarin::ui
