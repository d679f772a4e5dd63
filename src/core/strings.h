#pragma once
// Small stateless helpers for texts, arrays of 32-bit integers and of texts, and
// collections. None of them fails on an ordinary miss: searches give -1 (the binary
// search a non-positive hint) and arrays they build are indexed from 1.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tolvarin {

// An array with bounds, as the host's arrays were: items_[i - lowerBound] is
// element i. An array without elements has no bounds ("not dimensioned").
template <typename T>
struct BoundedArray {
  long lowerBound = 0;
  std::vector<T> items;

  BoundedArray() = default;
  BoundedArray(long lower, long upper) { Redim(lower, upper); }

  bool Dimensioned() const { return !items.empty(); }
  long LowerBound() const { return lowerBound; }
  long UpperBound() const { return lowerBound + static_cast<long>(items.size()) - 1; }
  bool InBounds(long index) const { return Dimensioned() && index >= lowerBound && index <= UpperBound(); }
  T& operator[](long index) { return items.at(static_cast<size_t>(index - lowerBound)); }
  const T& operator[](long index) const { return items.at(static_cast<size_t>(index - lowerBound)); }
  // Sets new bounds, keeping the contents that still fit (a preserving resize).
  void Redim(long lower, long upper) {
    if (upper < lower) {
      items.clear();
      lowerBound = 0;
      return;
    }
    if (lower != lowerBound && !items.empty()) {
      std::vector<T> moved(static_cast<size_t>(upper - lower + 1));
      for (long i = lower; i <= upper; ++i)
        if (InBounds(i)) moved[static_cast<size_t>(i - lower)] = (*this)[i];
      items = std::move(moved);
    } else {
      items.resize(static_cast<size_t>(upper - lower + 1));
    }
    lowerBound = lower;
  }
  void Erase() { Redim(0, -1); }
};

using LongArray = BoundedArray<std::int32_t>;
using StringArray = BoundedArray<std::string>;

// Texts. Comparisons are exact, case included.
std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& replacement);
std::string RemoveAll(const std::string& text, const std::string& find);
std::string ReplaceEachChar(const std::string& text, const std::string& characters, const std::string& replacement);
// position is 1-based.
std::string ReplaceAt(const std::string& text, long position, long length, const std::string& replacement);
std::string PadLeft(const std::string& value, int width);
std::string PadRight(const std::string& value, int width);
std::string TrimTrailingWhitespace(const std::string& text);
// Splits at every delimiter into an array indexed from 1; with skipEmpty pieces that
// are empty once blanks are trimmed are left out; no pieces leave it without bounds.
void SplitText(const std::string& text, StringArray& out, const std::string& delimiter, bool skipEmpty);
StringArray SplitText(const std::string& text, const std::string& delimiter, bool skipEmpty);
// Unless the path begins with a doubled separator, each doubled "/" becomes one, once.
std::string CollapseBackslashes(const std::string& path);
int LetterNumber(const std::string& text);
// CCYYMMDD as shown to the user ("MMM DD, CCYY"); "" when it starts with two blanks.
std::string FormatDbDate(const std::string& dateText);

// Blank trimming and case helpers every caller needs.
std::string Trim(const std::string& text);
// Sixteen hexadecimal digits of the text's 64-bit FNV-1a hash: a file name that
// stands for a longer key (a folder's path).
std::string KeyHashName(const std::string& key);
std::string ToUpper(const std::string& text);
std::string ToLower(const std::string& text);
bool EqualsNoCase(const std::string& a, const std::string& b);
// <0, 0, >0 comparing as text without regard to case.
int CompareNoCase(const std::string& a, const std::string& b);
// The numeric value of the text's leading number, as the host's Val gave it
// (blanks skipped, "" or no digits 0).
double TextValue(const std::string& text);
// Nearest whole number, halves to even.
long RoundHalfEven(double value);
// A number as plain text: "42" for a whole number, else up to 15 significant digits.
std::string NumberText(double value);

// Numbers and values. On a tie the second.
template <typename T>
T MaxValue(const T& a, const T& b) { return a > b ? a : b; }
template <typename T>
T MinValue(const T& a, const T& b) { return a < b ? a : b; }
long RandomInteger(long low, long high);
double SafeDivide(double a, double b, double defaultValue);
// In alternating keys and values from index 0, the value after the first equal key.
std::string LookupPair(const std::string& key, const std::string& defaultValue, const std::vector<std::string>& pairs);

// Arrays of 32-bit integers.
// Stores value at index count and adds 1; grows the array first while count is not
// below its upper bound: 0 -> 10, then x10 while at most 50, then x2.
void AppendLong(LongArray& array, long& count, std::int32_t value);
void TrimZeroLongTail(LongArray& array);
// start -1 means the lower bound.
long FindLong(const LongArray& array, std::int32_t value, long start = -1, bool backward = false);
// A hit gives its index; a miss 0 or minus the last low bound probed.
long BinarySearchLong(const LongArray& array, std::int32_t value);
void RotateLongRange(LongArray& array, long first, long last, bool toFront);

// Arrays of texts.
void SortStrings(StringArray& array);
// Sorts and moves the parallel integers in step.
void QuickSortStrings(StringArray& array, LongArray* parallel, long low, long high);
void TrimEmptyStringTail(StringArray& array);
long FindString(const StringArray& array, const std::string& text, bool ignoreCase);
void ReverseStrings(StringArray& array, long start);
template <typename T>
bool IsArrayDimensioned(const BoundedArray<T>& array) { return array.Dimensioned(); }

// Collections (ordered lists of texts; keyed ones are maps).
long CollectionIndexOf(const std::vector<std::string>& collection, const std::string& text);  // 1-based, -1
void CollectionRemoveValue(std::vector<std::string>& collection, const std::string& text);
template <typename T>
bool CollectionHasKey(const std::map<std::string, T>& collection, const std::string& key) {
  return collection.find(key) != collection.end();
}
StringArray CollectionToArray(const std::vector<std::string>& collection);

}  // namespace tolvarin
