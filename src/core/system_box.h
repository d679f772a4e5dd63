#pragma once
// The plain system message box, shown through the presenter, and (until the system's
// own message box is in place) the one route to it.
#include <string>

namespace tolvarin {

// The application's title, which a box without a title of its own carries.
inline constexpr const char* kApplicationTitle = "Corvane Backup/Restore and Import/Export System";

// Standard options in (button set, icon, default button), standard result code out.
int MsgBox(const std::string& text, int options = 0, const std::string& title = "");

// The system's own message box with standard options: the route every caller of this
// layer takes to it, so that it switches over in one place.
int FacilityMessageBox(const std::string& text, int options, const std::string& title = "");
// The same with free captions: the pressed button's number (the cancel button's on Esc).
int FacilityCustomBox(const std::string& text, const std::string& title, int icon, const std::string& caption1,
                      const std::string& caption2, const std::string& caption3, int defaultButton, int cancelButton,
                      int messageType);

}  // namespace tolvarin
