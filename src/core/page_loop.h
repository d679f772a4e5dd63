#pragma once
// The loop of an interactive page sequence: one slot after another, each a page, a
// slot with no page (skipped in the direction of travel) or the end of the sequence.
// A page's result moves the loop: 1 goes on, anything else goes back.
#include <functional>

namespace tolvarin {

enum class SlotKind { Page, Skipped, End };

struct PageSlot {
  SlotKind kind = SlotKind::Skipped;
  std::function<int()> show;  // a page: shows it and returns the PageResult it left
};

// How the sequence was left.
enum class LoopEnd {
  PastLast,     // went on past the last slot (the sequence's work is done)
  BeforeFirst,  // went back before the first slot
  EndSlot,      // reached a slot marked as the end
};

// Runs slots 0 .. count-1 from slot 0 forwards; slotAt is asked afresh at every
// arrival, since a page may change what a later slot holds.
LoopEnd RunPageLoop(int count, const std::function<PageSlot(int slot)>& slotAt);

}  // namespace tolvarin
