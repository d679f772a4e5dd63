#include "ui/forms.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "core/window_helpers.h"
#include "ui/elastic_panel.h"

namespace tolvarin::ui {
namespace {

constexpr int kTwipsPerPixel = 15;

QRect Available() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

// A Qt window as the core's pseudo-modal show drives it.
class QtForm : public ShowableForm {
 public:
  explicit QtForm(QWidget& widget) : widget_(&widget) {}
  void Load() override { loaded_ = true; }
  void ShowModeless() override {
    widget_->setWindowModality(Qt::ApplicationModal);
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
  }
  void ShowModal() override {
    if (auto* dialog = dynamic_cast<QDialog*>(widget_.data())) {
      dialog->exec();
      return;
    }
    ShowModeless();
    while (widget_ && widget_->isVisible()) ProcessEvents();
  }
  void Hide() override {
    if (widget_) widget_->hide();
  }
  void Unload() override {
    loaded_ = false;
    if (widget_) widget_->hide();
  }
  bool IsLoaded() const override { return loaded_ && widget_; }
  bool IsVisible() const override { return widget_ && widget_->isVisible(); }
  std::string Tag() const override {
    return widget_ ? widget_->property("tag").toString().toStdString() : std::string();
  }
  void ProcessEvents() override { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

 private:
  QPointer<QWidget> widget_;
  bool loaded_ = false;
};

}  // namespace

void InstallWindowHelpers() {
  SetDisplayInfoSource([] {
    DisplayInfo display;
    const QRect area = Available();
    display.pixelWidth = area.width();
    display.pixelHeight = area.height();
    display.twipsPerPixelX = kTwipsPerPixel;
    display.twipsPerPixelY = kTwipsPerPixel;
    return display;
  });
  // One override cursor for the whole nesting: pushed on the way up from 0,
  // popped once when the count is back at 0.
  SetMousePointerHook([](int pointer) {
    static bool pushed = false;
    if (pointer == kPointerHourglass && !pushed) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      pushed = true;
    } else if (pointer == kPointerDefault && pushed) {
      QApplication::restoreOverrideCursor();
      pushed = false;
    }
  });
}

int WorkAreaWidthPixels() {
  if (DesktopWorkArea().width == 0) GetDesktopWorkArea();
  return DesktopWorkArea().width / kTwipsPerPixel;
}

int WorkAreaHeightPixels() {
  if (DesktopWorkArea().width == 0) GetDesktopWorkArea();
  return DesktopWorkArea().height / kTwipsPerPixel;
}

void CenterForm(QWidget& form, int width, int height) {
  if (form.isMinimized() || form.isMaximized()) form.showNormal();
  const FormRect current{form.x(), form.y(), form.width(), form.height()};
  WorkArea area = DesktopWorkArea();
  area.width /= kTwipsPerPixel;
  area.height /= kTwipsPerPixel;
  QSize screen;
  if (const QScreen* s = QGuiApplication::primaryScreen()) screen = s->size();
  const FormRect placed = CenterFormPlacement(current, width, height, area, screen.width(), screen.height());
  // The work area starts where the screen's panels end.
  const QPoint origin = area.width != 0 ? Available().topLeft() : QPoint();
  form.resize(placed.width, placed.height);
  form.move(origin.x() + placed.left, origin.y() + placed.top);
}

bool SetTopMost(QWidget& form, bool onTop) {
  const bool visible = form.isVisible();
  form.setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  // Changing the flag hides a shown window; show it again where it was.
  if (visible) form.show();
  return true;
}

int GetTextWidthForControl(const QWidget& control, const QString& text) {
  const QFontMetrics metrics(control.font());
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

void ShowOnlyPanel(QWidget& form, ElasticPanel& panel, bool fit, int margin) {
  for (QObject* child : form.children()) {
    if (auto* other = dynamic_cast<ElasticPanel*>(child)) other->hide();
  }
  panel.show();
  panel.move(margin, margin);
  if (!fit) return;
  // The form's inner size: Qt's sizes leave the frame out, which the design's
  // 6 and 32 pixels allowed for.
  form.resize(panel.width() + 2 * margin, panel.height() + 2 * margin);
  CenterForm(form);
}

void ShowFormEx(QWidget& form, bool modal) {
  QtForm adapter(form);
  tolvarin::ShowFormEx(adapter, modal);
}

int ShowFormModal(QWidget& form) {
  QtForm adapter(form);
  return tolvarin::ShowFormModal(adapter);
}

}  // namespace tolvarin::ui
