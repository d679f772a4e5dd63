#pragma once
// Controls made under the names the windows' designs give them, so that tests, the
// scripted steps and screenshots find them.
#include <QPushButton>
#include <QString>

namespace tolvarin::ui {

// A push button that Enter presses only when it is the window's default.
inline QPushButton* NamedButton(QWidget* parent, const QString& name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace tolvarin::ui
