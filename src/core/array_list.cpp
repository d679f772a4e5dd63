#include "core/array_list.h"

namespace tolvarin {

void ArrayList::Reset(int arraybase) {
  items_ = LongArray(arraybase, arraybase);
  next_ = arraybase;
}

void ArrayList::Trim() { TrimZeroLongTail(items_); }

void ArrayList::AddItem(std::int32_t item) { AppendLong(items_, next_, item); }

void ArrayList::AddItemUnique(std::int32_t item, bool /*sorted*/) {
  if (FindLong(items_, item) < 0) AddItem(item);
}

std::int32_t ArrayList::Item(long index) const { return items_.InBounds(index) ? items_[index] : 0; }

void ArrayList::Item(long index, std::int32_t value) {
  if (items_.InBounds(index)) items_[index] = value;
}

void ArrayList::FromArray(const LongArray& thearray) {
  if (!thearray.Dimensioned()) {
    Reset(0);
    return;
  }
  items_ = thearray;
  next_ = thearray.UpperBound() + 1;
}

LongArray ArrayList::ToArray() const {
  const long base = items_.LowerBound();
  if (next_ <= base) return LongArray();
  LongArray out(base, next_ - 1);
  for (long i = base; i < next_; ++i) out[i] = Item(i);
  return out;
}

std::string ArrayList::ToString(const std::string& delimiter) const {
  std::string text;
  for (long i = items_.LowerBound(); i <= items_.UpperBound(); ++i) {
    if (i > items_.LowerBound()) text += delimiter;
    text += std::to_string(items_[i]);
  }
  return text;
}

}  // namespace tolvarin
