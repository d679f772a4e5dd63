#pragma once
// The standard message-box options and result codes, and the button sets both the
// plain system box and the system's own message box show for them.
#include <array>
#include <string>

#include "core/presenter.h"

namespace tolvarin {

// Button sets (options & 7).
inline constexpr int kMbOkOnly = 0;
inline constexpr int kMbOkCancel = 1;
inline constexpr int kMbAbortRetryIgnore = 2;
inline constexpr int kMbYesNoCancel = 3;
inline constexpr int kMbYesNo = 4;
inline constexpr int kMbRetryCancel = 5;
// Icons (options & 112).
inline constexpr int kMbCritical = 16;
inline constexpr int kMbQuestion = 32;
inline constexpr int kMbExclamation = 48;
inline constexpr int kMbInformation = 64;
// Default button (options & 768).
inline constexpr int kMbDefaultButton1 = 0;
inline constexpr int kMbDefaultButton2 = 256;
inline constexpr int kMbDefaultButton3 = 512;

// Result codes.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct ButtonSet {
  std::array<std::string, 3> captions;  // "" : the button is not shown
  int cancelButton = 0;                 // 1-based; 0 none
  std::array<int, 3> results{};         // result code of buttons 1..3
  int shown = 0;                        // buttons with a caption
};

// The set for options & 7; sets 6 and 7 are not valid and give set 0. A timed box of
// set 0 shows no buttons.
ButtonSet ButtonSetFor(int options, bool timed = false);
int IconFor(int options);           // options & 112
int DefaultButtonFor(int options);  // 1, 2 or 3 for options & 768 of 0, 256, 512
// The result code for a pressed button number; a number the set does not list
// stays the number itself.
int ResultForButton(int options, int button);
// A box request built from standard options.
BoxRequest RequestFromOptions(BoxKind kind, const std::string& text, int options, const std::string& title);

}  // namespace tolvarin
