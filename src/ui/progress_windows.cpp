#include "ui/progress_windows.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/elastic_panel.h"
#include "ui/forms.h"
#include "ui/qt_text.h"
#include "ui/window_script.h"

namespace tolvarin::ui {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kPumpEveryMs = 40;

Qt::WindowFlags ProgressFlags() { return Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint; }

}  // namespace

// frmProgress2

Progress2Window::Progress2Window(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmProgress2"));
  setWindowTitle(QStringLiteral("Progress"));
  setWindowFlags(ProgressFlags());
  setFont(QFont(QStringLiteral("Arial")));
  label_ = new QLabel(this);
  label_->setObjectName(QStringLiteral("lblProgress"));
  label_->setTextFormat(Qt::PlainText);
  label_->setWordWrap(true);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->addWidget(label_);
  // About 80 characters wide, and room for the message, a blank line and a detail.
  const QFontMetrics metrics(label_->font());
  label_->setMinimumWidth(80 * metrics.averageCharWidth());
  label_->setMinimumHeight(5 * metrics.lineSpacing());
}

void Progress2Window::RunPage(const ProgressPage& page, std::function<void()> operation) {
  page_ = page;
  operation_ = std::move(operation);
  ShowFormEx(*this, true);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void Progress2Window::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Only the first activation runs anything: the window comes back to the front
  // after every box the operation shows.
  if (activated_) return;
  activated_ = true;
  if (selfShown_ == kSelfShownMark) return;
  QTimer::singleShot(0, this, [this] { Run(); });
}

void Progress2Window::Run() {
  ++runs_;
  if (!page_.title.empty()) setWindowTitle(Q(page_.title));
  message_ = Q(page_.message);
  if (page_.showMessage) label_->setText(message_);
  QCoreApplication::processEvents();
  running_ = true;
  if (operation_) {
    try {
      operation_();
    } catch (...) {
      // Nothing may leave through the window system's event handling.
      failure_ = std::current_exception();
    }
  }
  running_ = false;
  activated_ = false;  // unloaded
  accept();
}

void Progress2Window::ShowStep(const QString& text) {
  if (!isVisible()) {
    selfShown_ = kSelfShownMark;
    activated_ = true;  // a step display never runs an operation
    show();
    CenterForm(*this);
  }
  label_->setText(text);
}

void Progress2Window::ShowDetail(const QString& detail) {
  label_->setText(detail.isEmpty() ? message_ : message_ + QStringLiteral("\n\n") + detail);
}

void Progress2Window::ShowMessage(const QString& message) {
  message_ = message;
  label_->setText(message_);
}

void Progress2Window::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void Progress2Window::reject() {
  if (!running_) QDialog::reject();
}

// frmProgress

ProgressBarWidget::ProgressBarWidget(ProgressBarModel& model, QWidget* parent) : QWidget(parent), model_(model) {}

QSize ProgressBarWidget::sizeHint() const { return {model_.borderWidth / kTwipsPerPixel, 22}; }

void ProgressBarWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect frame = rect().adjusted(0, 0, -1, -1);
  painter.fillRect(frame, Qt::white);
  painter.setPen(Qt::black);
  painter.drawRect(frame);
  // Model units to this widget's pixels; the bar never leaves the frame.
  const double scale = static_cast<double>(width()) / model_.borderWidth;
  const int left = static_cast<int>(model_.barLeft * scale);
  const int right = std::min(static_cast<int>((model_.barLeft + model_.barWidth) * scale), width() - 3);
  if (right > left) painter.fillRect(QRect(QPoint(left, 3), QPoint(right, height() - 4)), QColor(0x00, 0x00, 0x80));
}

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmProgress"));
  setWindowTitle(QStringLiteral("Corvane"));
  setWindowFlags(ProgressFlags());
  setFont(QFont(QStringLiteral("Arial")));
  auto* panel = new ElasticPanel(this);
  panel->setObjectName(QStringLiteral("C1Elastic1"));
  message_ = new QLabel(panel);
  message_->setObjectName(QStringLiteral("lblMessage"));
  message_->setTextFormat(Qt::PlainText);
  message_->setWordWrap(true);
  bar_ = new ProgressBarWidget(model_, panel);
  bar_->setObjectName(QStringLiteral("shpBorder"));
  auto* inner = new QVBoxLayout(panel);
  inner->setContentsMargins(16, 16, 16, 16);
  inner->setSpacing(10);
  inner->addWidget(message_);
  inner->addWidget(bar_);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(panel);
  bar_->setFixedSize(bar_->sizeHint());
}

void ProgressWindow::SetMessage(const QString& message) {
  if (!message.isEmpty()) message_->setText(message);
}

void ProgressWindow::ShowCentred() {
  if (isVisible()) return;
  adjustSize();
  CenterForm(*this);
  show();
}

bool ProgressWindow::ShowProgressBar(const QString& message, std::int32_t current, std::int32_t total) {
  SetMessage(message);
  model_.FillCount(current, total);
  bar_->update();
  if (current >= total) {
    close();
    return false;
  }
  ShowCentred();
  return true;
}

bool ProgressWindow::ShowProgessBarDbl(const QString& message, double fraction) {
  SetMessage(message);
  model_.FillFraction(fraction);
  bar_->update();
  if (fraction >= 1) {
    close();
    return false;
  }
  ShowCentred();
  return true;
}

void ProgressWindow::ShowWorkingBar(const QString& message) {
  SetMessage(message);
  if (!model_.Work()) return;
  bar_->update();
  ShowCentred();
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
  // The user cannot close it; the work closes it when the bar is full.
  if (event->spontaneous()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

// The sink

void QtProgress::Events(bool force) {
  if (!force && sincePump_.isValid() && sincePump_.elapsed() < kPumpEveryMs) return;
  QCoreApplication::processEvents();
  sincePump_.start();
}

void QtProgress::Step(const std::string& text) {
  if (!step_) {
    step_ = new Progress2Window();
    step_->setAttribute(Qt::WA_DeleteOnClose);
  }
  const bool appeared = !step_->isVisible();
  step_->ShowStep(Q(text));
  Events(appeared);
}

void QtProgress::Detail(const std::string& text) {
  if (!step_) return;  // no operation on screen
  step_->ShowDetail(Q(text));
  Events();
  // A driven run with shots keeps one picture of the window at work.
  static bool shot = false;
  if (!shot && !text.empty() && !WindowScript::Get().Shots().empty()) {
    shot = true;
    Events(true);
    SaveShot(*step_, "progress");
  }
}

void QtProgress::OperationMessage(const std::string& text) {
  if (!step_) return;  // no operation on screen
  step_->ShowMessage(Q(text));
  Events();
}

ProgressWindow& QtProgress::BarWindowMade() {
  if (!bar_) {
    bar_ = new ProgressWindow();
    bar_->setAttribute(Qt::WA_DeleteOnClose);
  }
  return *bar_;
}

void QtProgress::Fraction(double done) { BarFraction("", done); }

void QtProgress::Bar(const std::string& message, std::int32_t current, std::int32_t total) {
  const bool wasVisible = bar_ && bar_->isVisible();
  // An unloaded window is gone for the next report, which makes a new one.
  if (!BarWindowMade().ShowProgressBar(Q(message), current, total)) bar_ = nullptr;
  Events(!wasVisible);
}

void QtProgress::BarFraction(const std::string& message, double fraction) {
  const bool wasVisible = bar_ && bar_->isVisible();
  if (!BarWindowMade().ShowProgessBarDbl(Q(message), fraction)) bar_ = nullptr;
  Events(!wasVisible);
}

void QtProgress::Working(const std::string& message) {
  const bool wasVisible = bar_ && bar_->isVisible();
  BarWindowMade().ShowWorkingBar(Q(message));
  Events(!wasVisible && bar_ && bar_->isVisible());
}

void QtProgress::Close() {
  if (step_ && !step_->Running()) {
    step_->close();
    step_ = nullptr;
  }
  if (bar_) bar_->close();
  bar_ = nullptr;
}

void QtProgress::RunOperation(const ProgressPage& page, const std::function<void()>& operation) {
  // A step display left on screen gives way to the page.
  if (step_ && !step_->Running()) {
    step_->close();
    step_ = nullptr;
  }
  Progress2Window window;
  QPointer<Progress2Window> previous = step_;
  step_ = &window;
  try {
    window.RunPage(page, operation);
  } catch (...) {
    step_ = previous;
    throw;
  }
  step_ = previous;
}

void QtProgress::Pump() { Events(); }

}  // namespace tolvarin::ui
