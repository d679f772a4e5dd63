#include "ui/taskbar_window.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "core/window_helpers.h"
#include "ui/forms.h"

namespace tolvarin::ui {
namespace {

QPointer<TaskbarWindow>& Current() {
  static QPointer<TaskbarWindow> window;
  return window;
}

}  // namespace

TaskbarWindow::TaskbarWindow() {
  setObjectName(QStringLiteral("frmTaskbar"));
  setWindowTitle(QString::fromLatin1(kTaskbarCaption));
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* label = new QLabel(QString::fromLatin1(kTaskbarCaption), this);
  label->setObjectName(QStringLiteral("lblCaption"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 16, 24, 16);
  layout->addWidget(label);
}

void InstallTaskbarWindow() {
  SetTaskbarWindowHooks(
      [] {
        if (Current()) return;
        Current() = new TaskbarWindow();
        // Minimised: an entry on the taskbar that covers nothing.
        Current()->adjustSize();
        CenterForm(*Current());
        Current()->showMinimized();
      },
      [] {
        if (Current()) Current()->close();
        Current() = nullptr;
      });
}

TaskbarWindow* CurrentTaskbarWindow() { return Current(); }

}  // namespace tolvarin::ui
