#include "ui/window_script.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

#include "core/scripted_presenter.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {
namespace {

// Long enough for a window to be drawn before it is acted on.
constexpr int kStepDelayMs = 150;
// Set while a window takes steps, so that showing it again starts no second chain.
constexpr const char* kChainProperty = "takingScriptSteps";

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string NameOf(const QWidget& window) {
  const std::string title = S(window.windowTitle());
  return S(window.objectName()) + (title.empty() ? "" : " \"" + title + "\"");
}

QListWidgetItem* ItemWithText(QListWidget& list, const QString& text) {
  for (int i = 0; i < list.count(); ++i)
    if (list.item(i)->text() == text) return list.item(i);
  return nullptr;
}

// The window's front: no box or other window is shown over it.
bool InFront(const QWidget& window) {
  const QWidget* modal = QApplication::activeModalWidget();
  return modal == nullptr || modal == &window;
}

// settled: the window was in front at the last look too. One that comes back in
// front (a box over it closed) is looked at once more before it takes a step: the
// handler that showed the box may be about to close it, as a page that asks a
// question on arrival and leaves does.
void NextStep(QPointer<QWidget> window, bool settled = true) {
  QTimer::singleShot(kStepDelayMs, window, [window, settled] {
    if (!window) return;
    if (!window->isVisible()) {
      window->setProperty(kChainProperty, false);
      return;
    }
    if (!InFront(*window) || !settled) {
      NextStep(window, InFront(*window));
      return;
    }
    WindowScript& script = WindowScript::Get();
    if (script.Empty()) FailScript("the window " + NameOf(*window) + " was shown and the script had no step left");
    const ScriptStep step = ParseScriptStep(script.Front());
    if (!IsWindowStep(step))
      FailScript("the window " + NameOf(*window) + " was shown where the script expected the answer \"" +
                 script.Front() + "\" to a box");
    const std::string line = script.Pop();
    const std::string problem = ApplyWindowStep(*window, step);
    if (!problem.empty()) FailScript("\"" + line + "\" on the window " + NameOf(*window) + ": " + problem);
    if (window) NextStep(window);
  });
}

}  // namespace

WindowScript& WindowScript::Get() {
  static WindowScript* script = [] {
    auto* made = new WindowScript;
    const std::string answers = Variable(kWindowAnswersVariable);
    made->transcript_ = Variable(kWindowTranscriptVariable);
    made->shots_ = Variable(kWindowShotsVariable);
    made->driven_ = !answers.empty() || !made->transcript_.empty() || !made->shots_.empty();
    if (!answers.empty())
      for (const std::string& line : ReadAnswersFile(answers)) made->steps_.push_back(line);
    return made;
  }();
  return *script;
}

std::string WindowScript::Pop() {
  std::string front = steps_.front();
  steps_.pop_front();
  return front;
}

void WindowScript::Reset(std::vector<std::string> steps) {
  steps_.assign(steps.begin(), steps.end());
  driven_ = true;
}

std::string ApplyWindowStep(QWidget& window, const ScriptStep& step) {
  if (step.kind == StepKind::Shot) {
    SaveShot(window, step.control);
    return "";
  }
  if (step.kind == StepKind::Close) {
    if (S(window.objectName()) != step.control) return "the window in front is another one";
    window.close();
    return "";
  }
  QWidget* control = window.findChild<QWidget*>(Q(step.control));
  if (control == nullptr) return "it has no control of that name";
  if (!control->isVisibleTo(&window)) return "the control is hidden";
  if (!control->isEnabled()) return "the control is disabled";
  switch (step.kind) {
    case StepKind::Click:
      if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->click();
        return "";
      }
      return "the control is not a button";
    case StepKind::Text:
      if (auto* field = qobject_cast<QLineEdit*>(control)) {
        // As typed: the field's edit handlers see the text.
        field->setFocus();
        field->selectAll();
        field->insert(Q(step.value));
        return "";
      }
      return "the control is not a text field";
    case StepKind::Pick:
    case StepKind::Open:
      if (auto* list = qobject_cast<QListWidget*>(control)) {
        QListWidgetItem* item = ItemWithText(*list, Q(step.value));
        if (item == nullptr) return "the list has no entry \"" + step.value + "\"";
        if (list->selectionMode() == QAbstractItemView::MultiSelection) {
          // As a click on a multi-select list: the entry's selection flips and the
          // others stay as they were.
          list->scrollToItem(item);
          list->selectionModel()->setCurrentIndex(list->indexFromItem(item), QItemSelectionModel::Toggle);
        } else {
          list->setCurrentItem(item);
        }
        emit list->itemClicked(item);
        if (step.kind == StepKind::Open) emit list->itemActivated(item);
        return "";
      }
      if (auto* combo = qobject_cast<QComboBox*>(control)) {
        const int index = combo->findText(Q(step.value));
        if (index < 0) return "the list has no entry \"" + step.value + "\"";
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        return "";
      }
      return "the control is not a list";
    default:
      return "not a window step";
  }
}

void TakeWindowSteps(QWidget& window) {
  if (!WindowScript::Get().Driven() || window.property(kChainProperty).toBool()) return;
  window.setProperty(kChainProperty, true);
  NextStep(QPointer<QWidget>(&window));
}

void SaveShot(QWidget& window, const std::string& name) {
  const std::string& folder = WindowScript::Get().Shots();
  if (folder.empty()) return;
  window.grab().save(Q(folder + "/" + name + ".png"));
}

}  // namespace tolvarin::ui
