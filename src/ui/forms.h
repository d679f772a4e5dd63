#pragma once
// The window sides of the window helpers: the work area from the screen, centring
// and keeping a window on top, text widths, the panel switch, and the modal and
// pseudo-modal show of a form with its page result. Sizes here are pixels.
#include <QString>

class QWidget;

namespace tolvarin::ui {

class ElasticPanel;

// Feeds the core's work area and wait cursor from Qt: the primary screen's
// available area (panels already left out) and the application's override cursor.
void InstallWindowHelpers();
// The work area in pixels, measured first when it is not yet known.
int WorkAreaWidthPixels();
int WorkAreaHeightPixels();

// Moves the form to the middle of the work area; width and height 0 keep its size.
// A maximised or minimised form is first made normal.
void CenterForm(QWidget& form, int width = 0, int height = 0);
// Keeps the window above the others (or not); takes effect on its next show when
// it is hidden. True when the window system was asked.
bool SetTopMost(QWidget& form, bool onTop);
inline bool MakeTopMost(QWidget& form) { return SetTopMost(form, true); }
// The text's width in the control's font; for several lines, the widest.
int GetTextWidthForControl(const QWidget& control, const QString& text);
// Hides the form's other panels, shows this one margin pixels from the form's top
// left; with fit the form takes the panel's size (plus margins) and is centred.
void ShowOnlyPanel(QWidget& form, ElasticPanel& panel, bool fit, int margin);

// ShowFormEx: modal runs the window's own modal loop; not modal is the
// pseudo-modal show, which keeps the other windows blocked and returns when the
// form hides or closes itself.
void ShowFormEx(QWidget& form, bool modal);
// The pseudo-modal show, then PageResult as the form left it.
int ShowFormModal(QWidget& form);

}  // namespace tolvarin::ui
