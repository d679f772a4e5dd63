#pragma once
// The plain system message box, shown through the presenter, and the route the
// file layer and start-up take to the system's own message box.
#include <string>

namespace tolvarin {

// The application's title, which a box without a title of its own carries.
inline constexpr const char* kApplicationTitle = "Corvane Backup/Restore and Import/Export System";

// Standard options in (button set, icon, default button), standard result code out.
int MsgBox(const std::string& text, int options = 0, const std::string& title = "");

// The milestone boxes the host's Diagnostic switch asks for: a plain box with OK
// when DiagnosticMode is on, nothing otherwise.
void Diagnostic(const std::string& text);

// The system's own message box (ShowMessageBox) with standard options.
int FacilityMessageBox(const std::string& text, int options, const std::string& title = "");
// The same with free captions (ShowCustomMsgBox): the pressed button's number (the
// cancel button's on Esc).
int FacilityCustomBox(const std::string& text, const std::string& title, int icon, const std::string& caption1,
                      const std::string& caption2, const std::string& caption3, int defaultButton, int cancelButton,
                      int messageType);

}  // namespace tolvarin
