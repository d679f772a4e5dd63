// Export slot 1: the custom selection page of a custom backup.
#include "core/window_helpers.h"
#include "ui/main_window_actions.h"

namespace tolvarin::ui {

// Until the page is built the slot passes on in the direction of travel.
int ShowCustomSelectionPage() { return PageResult(); }

}  // namespace tolvarin::ui
