#include "ui/page.h"

#include <QShowEvent>

#include "core/window_helpers.h"
#include "ui/window_script.h"

namespace tolvarin::ui {

ScriptedWindow::ScriptedWindow(QWidget* parent) : QDialog(parent) {}

void ScriptedWindow::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) Arrive();
  QDialog::showEvent(event);
  TakeWindowSteps(*this);
}

Page::Page(bool resetsResult, QWidget* parent) : ScriptedWindow(parent), resetsResult_(resetsResult) {}

void Page::showEvent(QShowEvent* event) {
  if (!event->spontaneous() && resetsResult_) PageResult() = -1;
  ScriptedWindow::showEvent(event);
}

void Page::Finish() {
  PageResult() = 1;
  hide();
}

void Page::Leave() { hide(); }

}  // namespace tolvarin::ui
