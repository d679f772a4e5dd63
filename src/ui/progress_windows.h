#pragma once
// The two progress windows and the progress sink of a window session.
// frmProgress2 shows step texts and runs an interactive transfer on its first
// activation; frmProgress shows a message over a filled or a working bar.
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <string>

#include "core/progress.h"
#include "ui/progress_bar_model.h"

class QLabel;

namespace tolvarin::ui {

inline constexpr int kSelfShownMark = 9000;

class Progress2Window : public QDialog {
 public:
  explicit Progress2Window(QWidget* parent = nullptr);

  // The page of a sequence: its first activation shows the page's texts, runs the
  // operation and unloads the window. Returns when the window is gone; an
  // exception of the operation comes out here, after the window has closed.
  void RunPage(const ProgressPage& page, std::function<void()> operation);
  // NotifyUpdateProgress2: shows the window by itself when it is not on screen.
  void ShowStep(const QString& text);
  // NotifyPackagingProgress: the page's message, and the detail below it.
  void ShowDetail(const QString& detail);
  // The operation's message, replaced.
  void ShowMessage(const QString& message);

  bool Running() const { return running_; }
  int SelfShownMark() const { return selfShown_; }
  int Runs() const { return runs_; }
  QLabel* Label() const { return label_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Run();

  QLabel* label_ = nullptr;
  QString message_;
  ProgressPage page_;
  std::function<void()> operation_;
  std::exception_ptr failure_;
  bool activated_ = false;
  bool running_ = false;
  int selfShown_ = 0;
  int runs_ = 0;
};

// The frame and the bar of frmProgress, drawn from the model.
class ProgressBarWidget : public QWidget {
 public:
  explicit ProgressBarWidget(ProgressBarModel& model, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ProgressBarModel& model_;
};

class ProgressWindow : public QDialog {
 public:
  explicit ProgressWindow(QWidget* parent = nullptr);
  // Each returns false when the window has unloaded itself.
  bool ShowProgressBar(const QString& message, std::int32_t current, std::int32_t total);
  bool ShowProgessBarDbl(const QString& message, double fraction);
  void ShowWorkingBar(const QString& message);

  const ProgressBarModel& Model() const { return model_; }
  QLabel* Message() const { return message_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}  // Esc does not stop the work

 private:
  void SetMessage(const QString& message);
  void ShowCentred();

  ProgressBarModel model_;
  QLabel* message_ = nullptr;
  ProgressBarWidget* bar_ = nullptr;
};

// The sink the engine and the construction report to in a window session.
class QtProgress : public ProgressSink {
 public:
  void Step(const std::string& text) override;
  void Detail(const std::string& text) override;
  void Fraction(double done) override;
  void Bar(const std::string& message, std::int32_t current, std::int32_t total) override;
  void BarFraction(const std::string& message, double fraction) override;
  void Working(const std::string& message) override;
  void Close() override;
  void RunOperation(const ProgressPage& page, const std::function<void()>& operation) override;
  void Pump() override;
  void OperationMessage(const std::string& text) override;

  Progress2Window* StepWindow() const { return step_; }
  ProgressWindow* BarWindow() const { return bar_; }

 private:
  ProgressWindow& BarWindowMade();
  // Lets the window system run; at most every 40 ms unless forced.
  void Events(bool force = false);

  QPointer<Progress2Window> step_;
  QPointer<ProgressWindow> bar_;
  QElapsedTimer sincePump_;
};

}  // namespace tolvarin::ui
