#pragma once
// Our stand-in for the outside text cipher and its roman-numeral routine.
//
// DxXCrypted is a keyed, length-preserving byte cipher that is its own inverse:
// the same call with the same key enciphers a plain text and deciphers the result.
// Every byte is swapped between two halves of the byte range, by an offset drawn
// from the key and the byte's position: the 7-bit characters (NUL included) against the bytes from 0x80 up. NUL and the
// letters N, U and L are always swapped with four bytes that Windows-1252 leaves
// unassigned (0x90, 0x81, 0x8D, 0x8F), so a text free of those four bytes (any
// Windows-1252 text, any 7-bit text, NUL bytes included) enciphers to a text that
// holds neither a NUL byte nor the letters N, U or L, and so never the four letters
// NULL in a row. Enciphering the result again gives the plain text back.
#include <string>

namespace cipher {

// mode is kept for the callers' sake; only 0 is used.
std::string DxXCrypted(const std::string& text, const std::string& key, int mode = 0);

// The value of a roman numeral in either case (I V X L C D M, subtractive pairs
// allowed); 0 for the empty text or a text holding any other character.
int RomanToNumber(const std::string& label);

}  // namespace cipher
