#include "ui/progress_bar_model.h"

namespace tolvarin::ui {

void ProgressBarModel::FillCount(std::int32_t current, std::int32_t total) {
  const double ratio = total == 0 ? 0.0 : static_cast<double>(current) / total;
  barLeft = kBorderLeft + 100;
  barWidth = static_cast<int>((borderWidth - 2 * barLeft) * ratio);
}

void ProgressBarModel::FillFraction(double fraction) {
  barWidth = static_cast<int>((borderWidth - 2 * barLeft) * fraction);
}

bool ProgressBarModel::Work() {
  if (++step < 10) return false;
  step = 0;
  barWidth = static_cast<int>(borderWidth * 0.1);
  barLeft += barWidth;
  if (barLeft + barWidth > kBorderLeft + borderWidth) barLeft = 200;
  return true;
}

}  // namespace tolvarin::ui
