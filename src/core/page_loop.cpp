#include "core/page_loop.h"

namespace tolvarin {

LoopEnd RunPageLoop(int count, const std::function<PageSlot(int slot)>& slotAt) {
  int p = 0;
  int step = 1;
  while (p >= 0 && p < count) {
    const PageSlot slot = slotAt(p);
    if (slot.kind == SlotKind::End) return LoopEnd::EndSlot;
    // Only 1 goes on: a result of 0 (a page closed some other way) must not show the
    // same page forever.
    if (slot.kind == SlotKind::Page) step = slot.show && slot.show() == 1 ? 1 : -1;
    p += step;
  }
  return p < 0 ? LoopEnd::BeforeFirst : LoopEnd::PastLast;
}

}  // namespace tolvarin
