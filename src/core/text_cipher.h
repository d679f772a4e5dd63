#pragma once
// The envelope around the outside text cipher. An enciphered value is the marker
// character (code 250) followed by the cipher's output, in which a reader takes the
// four letters NULL as one NUL character; a value without the marker is plain and
// every reader passes it through, so tables may hold both kinds side by side.
#include <cstddef>
#include <string>

namespace tolvarin {

inline constexpr char kCipherMarker = static_cast<char>(250);
inline constexpr const char* kBuiltInCipherKey = "Mirtosk";
// Longer texts (after trimming) are stored plain.
inline constexpr std::size_t kMaxEncipheredLength = 8192;

// Trims trailing blanks, CR, LF and TAB, then returns the marker and the cipher's
// output with the built-in key; a trimmed text longer than 8192 comes back plain.
std::string EncryptText(const std::string& text);
// Marker: drops it, reads NULL as NUL and deciphers; any other text unchanged.
std::string DecryptText(const std::string& text);
std::string EncryptTextWithKey(const std::string& text, const std::string& key);
std::string DecryptTextWithKey(const std::string& text, const std::string& key);

// The self-checking form: the envelope of the text written twice, without marker.
std::string EncryptDoubled(const std::string& text);
// Deciphers (marker added) and gives the one half when both halves are equal, else "".
std::string DecryptDoubled(const std::string& text);
std::string DecryptDoubledText(const std::string& text);

// The ordinal of an outline label in its style: "1" its number, "I"/"i" its roman
// value, "A"/"a" its letter (1 to 26, -1 for two or more characters), else 0.
int ParseOutlineNumber(const std::string& style, const std::string& label);

}  // namespace tolvarin
