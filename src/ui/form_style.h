#pragma once
// The system's light-blue colour scheme, given to a window when it loads.
#include <QColor>

class QWidget;

namespace tolvarin::ui {

inline const QColor kFormBackColor{0xC0, 0xC0, 0xFF};   // pale blue
inline const QColor kPanelFloodColor{0x80, 0x80, 0xFF}; // stronger blue

// The dynamic property that holds a form's tag ("FRM" styles the form itself).
inline constexpr const char* kTagProperty = "tag";
// A panel's fore and flood colours, kept as properties.
inline constexpr const char* kForeColorProperty = "ForeColor";
inline constexpr const char* kFloodColorProperty = "FloodColor";

// The form itself when its tag is "FRM"; every panel and label on it in any case.
// Buttons, text boxes and pictures keep their colours.
void StyleFormControls(QWidget& form);

}  // namespace tolvarin::ui
