#pragma once
// A growable list of 32-bit integers with a settable lower bound. The items are the
// slots from the base to the next index - 1; slots beyond them hold 0 until used.
#include <cstdint>
#include <string>

#include "core/strings.h"

namespace tolvarin {

class ArrayList {
 public:
  ArrayList() { Reset(0); }

  // The next index - base.
  int count() const { return static_cast<int>(next_ - items_.LowerBound()); }
  // Bounds arraybase to arraybase, no items.
  void Reset(int arraybase);
  // Shrinks the array to its last non-zero slot (upper bound at least 1); the next
  // index stays.
  void Trim();
  // Stores the item at the next index, growing the array first when needed.
  void AddItem(std::int32_t item);
  // Adds the item unless some slot of the array already holds it (an unused slot
  // holds 0). Sorted is not used.
  void AddItemUnique(std::int32_t item, bool sorted = false);
  // The slot at index, without a check against the next index; 0 (read) or nothing
  // (write) outside the array's bounds.
  std::int32_t Item(long index) const;
  void Item(long index, std::int32_t value);
  // The items become a copy of the array with its bounds, up to its upper bound.
  void FromArray(const LongArray& thearray);
  // The items with bounds base to the next index - 1; no bounds when empty.
  LongArray ToArray() const;
  // Every slot from the lower to the upper bound (unused ones as 0), joined.
  std::string ToString(const std::string& delimiter) const;

  long LowerBound() const { return items_.LowerBound(); }
  long UpperBound() const { return items_.UpperBound(); }

 private:
  LongArray items_;
  long next_ = 0;
};

}  // namespace tolvarin
