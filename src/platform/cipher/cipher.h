#pragma once
// Our stand-in for the outside text cipher and its roman-numeral routine.
//
// DxXCrypted is a keyed, length-preserving byte cipher that is its own inverse:
// the same call with the same key enciphers a plain text and deciphers the result.
// Six bytes are always swapped with a partner that no text holds (the control bytes
// 0x01 to 0x06): NUL, the letter L, the blank, TAB, LF and CR. Every other byte is
// swapped with another of the remaining 244 bytes, by a reflection drawn from the
// key and the byte's position. So a text free of the control bytes 0x01 to 0x06
// (any 7-bit, Latin-1, Windows-1252 or UTF-8 text, line breaks and NUL included)
// enciphers to bytes that hold no NUL, no L (so never the four letters NULL) and
// nothing a trimmed field read could drop at either end.
#include <string>

namespace cipher {

// mode is kept for the callers' sake; only 0 is used.
std::string DxXCrypted(const std::string& text, const std::string& key, int mode = 0);

// The value of a roman numeral in either case (I V X L C D M, subtractive pairs
// allowed); 0 for the empty text or a text holding any other character.
int RomanToNumber(const std::string& label);

}  // namespace cipher
