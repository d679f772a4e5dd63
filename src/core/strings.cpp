#include "core/strings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace tolvarin {
namespace {

char Up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
char Low(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::mt19937& Generator() {
  static std::mt19937 generator{std::random_device{}()};
  return generator;
}

}  // namespace

std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& replacement) {
  if (find.empty()) return text;
  std::string result;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(find, pos)) != std::string::npos; pos = hit + find.size()) {
    result.append(text, pos, hit - pos);
    result += replacement;
  }
  result.append(text, pos, std::string::npos);
  return result;
}

std::string RemoveAll(const std::string& text, const std::string& find) {
  if (find.empty()) return text;
  std::string result = text;
  for (size_t hit; (hit = result.find(find)) != std::string::npos;) result.erase(hit, find.size());
  return result;
}

std::string ReplaceEachChar(const std::string& text, const std::string& characters, const std::string& replacement) {
  std::string result = text;
  for (char c : characters) result = ReplaceAll(result, std::string(1, c), replacement);
  return result;
}

std::string ReplaceAt(const std::string& text, long position, long length, const std::string& replacement) {
  const long size = static_cast<long>(text.size());
  const long before = std::clamp(position - 1, 0L, size);
  const long after = std::clamp(position - 1 + std::max(length, 0L), 0L, size);
  return text.substr(0, static_cast<size_t>(before)) + replacement + text.substr(static_cast<size_t>(after));
}

std::string PadLeft(const std::string& value, int width) {
  if (static_cast<int>(value.size()) >= width) return value;
  return std::string(static_cast<size_t>(width) - value.size(), ' ') + value;
}

std::string PadRight(const std::string& value, int width) {
  if (static_cast<int>(value.size()) >= width) return value;
  return value + std::string(static_cast<size_t>(width) - value.size(), ' ');
}

std::string TrimTrailingWhitespace(const std::string& text) {
  std::string result = text;
  auto dropBlanks = [&] {
    while (!result.empty() && result.back() == ' ') result.pop_back();
  };
  dropBlanks();
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == '\t')) {
    result.pop_back();
    dropBlanks();
  }
  return result;
}

void SplitText(const std::string& text, StringArray& out, const std::string& delimiter, bool skipEmpty) {
  std::vector<std::string> pieces;
  if (delimiter.empty()) {
    pieces.push_back(text);
  } else {
    size_t pos = 0;
    for (size_t hit; (hit = text.find(delimiter, pos)) != std::string::npos; pos = hit + delimiter.size())
      pieces.push_back(text.substr(pos, hit - pos));
    pieces.push_back(text.substr(pos));
  }
  if (skipEmpty)
    pieces.erase(std::remove_if(pieces.begin(), pieces.end(), [](const std::string& p) { return Trim(p).empty(); }),
                 pieces.end());
  out.Erase();
  if (pieces.empty()) return;
  out.Redim(1, static_cast<long>(pieces.size()));
  out.items = std::move(pieces);
}

StringArray SplitText(const std::string& text, const std::string& delimiter, bool skipEmpty) {
  StringArray out;
  SplitText(text, out, delimiter, skipEmpty);
  return out;
}

std::string CollapseBackslashes(const std::string& path) {
  if (path.rfind("//", 0) == 0) return path;
  return ReplaceAll(path, "//", "/");
}

int LetterNumber(const std::string& text) {
  if (text.empty()) return 0;
  const char c = Up(text[0]);
  return (c >= 'A' && c <= 'Z') ? c - 'A' + 1 : 0;
}

std::string FormatDbDate(const std::string& dateText) {
  if (dateText.size() < 2 || (dateText[0] == ' ' && dateText[1] == ' ')) return "";
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::string digits = (dateText + "00000000").substr(0, 8);
  const int month = std::atoi(digits.substr(4, 2).c_str());
  const std::string name = (month >= 1 && month <= 12) ? kMonths[month - 1] : "   ";
  // The century is written from the picture: 20 for texts that begin "20", else 19.
  const std::string century = dateText.rfind("20", 0) == 0 ? "20" : "19";
  return name + " " + digits.substr(6, 2) + ", " + century + digits.substr(2, 2);
}

std::string KeyHashName(const std::string& key) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : key) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char name[17];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  return name;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string ToUpper(const std::string& text) {
  std::string result = text;
  std::transform(result.begin(), result.end(), result.begin(), Up);
  return result;
}

std::string ToLower(const std::string& text) {
  std::string result = text;
  std::transform(result.begin(), result.end(), result.begin(), Low);
  return result;
}

bool EqualsNoCase(const std::string& a, const std::string& b) { return CompareNoCase(a, b) == 0; }

int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(Low(a[i])), y = static_cast<unsigned char>(Low(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

double TextValue(const std::string& text) {
  // Blanks are skipped everywhere, as the host's reader of numbers did.
  std::string compact;
  for (char c : text)
    if (c != ' ' && c != '\t') compact += c;
  size_t i = 0;
  std::string number;
  if (i < compact.size() && (compact[i] == '-' || compact[i] == '+')) number += compact[i++];
  bool digits = false, point = false;
  for (; i < compact.size(); ++i) {
    const char c = compact[i];
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digits = true;
      number += c;
    } else if (c == '.' && !point) {
      point = true;
      number += c;
    } else {
      break;
    }
  }
  return digits ? std::strtod(number.c_str(), nullptr) : 0.0;
}

long RoundHalfEven(double value) { return static_cast<long>(std::nearbyint(value)); }

std::string NumberText(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

long RandomInteger(long low, long high) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  return static_cast<long>(std::floor(unit(Generator()) * static_cast<double>(high - low + 1) + static_cast<double>(low)));
}

double SafeDivide(double a, double b, double defaultValue) { return b == 0 ? defaultValue : a / b; }

std::string LookupPair(const std::string& key, const std::string& defaultValue, const std::vector<std::string>& pairs) {
  for (size_t i = 0; i + 1 < pairs.size(); i += 2)
    if (pairs[i] == key) return pairs[i + 1];
  return defaultValue;
}

void AppendLong(LongArray& array, long& count, std::int32_t value) {
  if (!array.Dimensioned()) array.Redim(0, 0);
  while (count >= array.UpperBound()) {
    long upper = array.UpperBound();
    if (upper == 0)
      upper = 10;
    else if (upper <= 50)
      upper *= 10;
    else
      upper *= 2;
    array.Redim(array.LowerBound(), upper);
  }
  array[count] = value;
  ++count;
}

void TrimZeroLongTail(LongArray& array) {
  if (!array.Dimensioned()) return;
  long last = array.UpperBound();
  while (last > array.LowerBound() && array[last] == 0) --last;
  array.Redim(array.LowerBound(), std::max(last, 1L));
}

long FindLong(const LongArray& array, std::int32_t value, long start, bool backward) {
  if (!array.Dimensioned()) return -1;
  if (start == -1) start = array.LowerBound();
  if (backward) {
    for (long i = std::min(start, array.UpperBound()); i >= array.LowerBound(); --i)
      if (array[i] == value) return i;
  } else {
    for (long i = std::max(start, array.LowerBound()); i <= array.UpperBound(); ++i)
      if (array[i] == value) return i;
  }
  return -1;
}

long BinarySearchLong(const LongArray& array, std::int32_t value) {
  if (!array.Dimensioned()) return 0;
  long low = array.LowerBound(), high = array.UpperBound();
  while (true) {
    if (low >= high) return (low <= array.UpperBound() && array.InBounds(low) && array[low] == value) ? low : -low;
    const long middle = (low + high) / 2;
    if (array[middle] == value) return middle;
    if (array[middle] < value)
      low = middle + 1;
    else
      high = middle - 1;
  }
}

void RotateLongRange(LongArray& array, long first, long last, bool toFront) {
  if (!array.InBounds(first) || !array.InBounds(last) || first >= last) return;
  auto begin = array.items.begin() + (first - array.LowerBound());
  auto end = array.items.begin() + (last - array.LowerBound()) + 1;
  if (toFront)
    std::rotate(begin, end - 1, end);
  else
    std::rotate(begin, begin + 1, end);
}

void QuickSortStrings(StringArray& array, LongArray* parallel, long low, long high) {
  while (low < high) {
    const std::string pivot = array[(low + high) / 2];
    long i = low, j = high;
    while (i <= j) {
      while (CompareNoCase(array[i], pivot) < 0) ++i;
      while (CompareNoCase(array[j], pivot) > 0) --j;
      if (i <= j) {
        std::swap(array[i], array[j]);
        if (parallel && parallel->InBounds(i) && parallel->InBounds(j)) std::swap((*parallel)[i], (*parallel)[j]);
        ++i;
        --j;
      }
    }
    // Recurse into the smaller part so deep inputs cannot exhaust the stack.
    if (j - low < high - i) {
      QuickSortStrings(array, parallel, low, j);
      low = i;
    } else {
      QuickSortStrings(array, parallel, i, high);
      high = j;
    }
  }
}

void SortStrings(StringArray& array) {
  if (array.Dimensioned()) QuickSortStrings(array, nullptr, array.LowerBound(), array.UpperBound());
}

void TrimEmptyStringTail(StringArray& array) {
  if (!array.Dimensioned()) return;
  long last = array.UpperBound();
  while (last > array.LowerBound() && array[last].empty()) --last;
  array.Redim(array.LowerBound(), std::max(last, 1L));
}

long FindString(const StringArray& array, const std::string& text, bool ignoreCase) {
  if (!array.Dimensioned()) return -1;
  for (long i = array.LowerBound(); i <= array.UpperBound(); ++i)
    if (ignoreCase ? ToLower(array[i]) == ToLower(text) : array[i] == text) return i;
  return -1;
}

void ReverseStrings(StringArray& array, long start) {
  if (!array.Dimensioned()) return;
  start = std::max(start, array.LowerBound());
  if (start > array.UpperBound()) return;
  std::reverse(array.items.begin() + (start - array.LowerBound()), array.items.end());
}

long CollectionIndexOf(const std::vector<std::string>& collection, const std::string& text) {
  auto it = std::find(collection.begin(), collection.end(), text);
  return it == collection.end() ? -1 : static_cast<long>(it - collection.begin()) + 1;
}

void CollectionRemoveValue(std::vector<std::string>& collection, const std::string& text) {
  auto it = std::find(collection.begin(), collection.end(), text);
  if (it != collection.end()) collection.erase(it);
}

StringArray CollectionToArray(const std::vector<std::string>& collection) {
  StringArray array;
  if (collection.empty()) return array;
  array.Redim(1, static_cast<long>(collection.size()));
  array.items = collection;
  return array;
}

}  // namespace tolvarin
