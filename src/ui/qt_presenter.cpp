#include "ui/qt_presenter.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "core/message_box.h"
#include "core/script_steps.h"
#include "core/scripted_presenter.h"
#include "core/strings.h"
#include "ui/forms.h"
#include "ui/msg_box_dialog.h"
#include "ui/qt_text.h"
#include "ui/window_script.h"

namespace tolvarin::ui {
namespace {

QMessageBox::Icon SystemIcon(int icon) {
  switch (icon) {
    case kIconStop: return QMessageBox::Critical;
    case kIconQuestion: return QMessageBox::Question;
    case kIconExclamation: return QMessageBox::Warning;
    case kIconInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// The button number an answer names: a number, a caption ("&" and case ignored),
// "esc" (the cancel button) or "default".
int ButtonOfAnswer(const BoxRequest& box, const std::string& answer) {
  if (answer.empty() || EqualsNoCase(answer, "default")) return box.defaultButton;
  if (EqualsNoCase(answer, "esc")) return box.cancelButton;
  for (std::size_t i = 0; i < box.captions.size(); ++i) {
    std::string caption = box.captions[i];
    std::erase(caption, '&');
    if (EqualsNoCase(caption, answer)) return static_cast<int>(i) + 1;
  }
  return std::atoi(answer.c_str());
}

void WriteTranscript(const ShownBox& entry) {
  const WindowScript& script = WindowScript::Get();
  if (script.Transcript().empty()) return;
  std::ofstream out(script.Transcript(), std::ios::app | std::ios::binary);
  out << TranscriptLine(entry) << "\n";
}

// The prompt as the transcript shows it: its title, its text and its default.
ShownBox PromptEntry(const char* kind, const std::string& title, const std::string& text,
                     const std::string& defaultText, const std::string& answer) {
  ShownBox entry{kind, BoxRequest{}, answer};
  entry.box.title = title;
  entry.box.text = text;
  entry.box.captions = {defaultText};
  return entry;
}

// In a driven run, the next line of the script answers a prompt: its text, an empty
// line cancelling. A window step there fails the run.
std::string PromptAnswer(const char* kind, const char* what, const std::string& title, const std::string& text,
                         const std::string& defaultText) {
  WindowScript& script = WindowScript::Get();
  const std::string answer = script.Empty() ? defaultText : script.Pop();
  if (IsWindowStep(ParseScriptStep(answer))) {
    WriteTranscript(PromptEntry(kind, title, text, defaultText, "unexpected"));
    FailScript("the " + std::string(what) + " \"" + title + "\" was shown where the script expected \"" + answer + "\"");
  }
  WriteTranscript(PromptEntry(kind, title, text, defaultText, answer));
  return answer;
}

}  // namespace

QtPresenter::QtPresenter() : driven_(WindowScript::Get().Driven()) {}

int QtPresenter::Ask(const BoxRequest& box) {
  return box.kind == BoxKind::Facility ? AskFacility(box) : AskSystem(box);
}

int QtPresenter::AskFacility(const BoxRequest& box) {
  if (box.modeless) {
    // Left on screen; it closes itself at its time-out unless closed first.
    auto* dialog = new MsgBoxDialog(box);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    return box.cancelButton;
  }
  MsgBoxDialog dialog(box);
  if (driven_) DriveWhenShown(dialog, box);
  ShowFormEx(dialog, true);
  CurrentMsgBoxState().rememberFlag = dialog.Remembered();
  return dialog.Answer();
}

int QtPresenter::AskSystem(const BoxRequest& box) {
  QMessageBox message(SystemIcon(box.icon), Q(box.title), Q(box.text));
  message.setTextFormat(Qt::PlainText);
  message.setWindowFlag(Qt::WindowStaysOnTopHint);
  std::vector<QPushButton*> buttons;
  for (std::size_t i = 0; i < box.captions.size(); ++i) {
    QPushButton* button = message.addButton(Q(box.captions[i]), QMessageBox::AcceptRole);
    button->setObjectName(QStringLiteral("btnButton_%1").arg(i + 1));
    buttons.push_back(button);
  }
  const auto at = [&](int number) -> QPushButton* {
    return number >= 1 && number <= static_cast<int>(buttons.size()) ? buttons[static_cast<std::size_t>(number - 1)]
                                                                      : nullptr;
  };
  if (QPushButton* button = at(box.defaultButton)) message.setDefaultButton(button);
  // Without a cancel button neither Esc nor the close box ends the box.
  if (QPushButton* button = at(box.cancelButton)) message.setEscapeButton(button);
  if (driven_) DriveWhenShown(message, box);
  message.exec();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (message.clickedButton() == buttons[i]) return static_cast<int>(i) + 1;
  }
  return box.cancelButton;
}

void QtPresenter::DriveWhenShown(QWidget& window, const BoxRequest& box) {
  WindowScript& script = WindowScript::Get();
  std::string answer = "default";
  if (!script.Empty()) answer = script.Pop();
  const int number = ++shown_;
  QPointer<QWidget> target(&window);
  // Late enough for the window to be drawn.
  QTimer::singleShot(300, &window, [target, box, answer, number] {
    if (!target) return;
    ShownBox entry{box.kind == BoxKind::Facility ? "Facility" : "System", box, answer};
    entry.box.title = S(target->windowTitle());
    if (auto* label = target->findChild<QLabel*>(QStringLiteral("lblMessage")))
      entry.box.text = S(label->text());
    else if (auto* message = dynamic_cast<QMessageBox*>(target.data()))
      entry.box.text = S(message->text());
    entry.box.captions.clear();
    for (int i = 1; i <= 3; ++i) {
      auto* button = target->findChild<QAbstractButton*>(QStringLiteral("btnButton_%1").arg(i));
      if (button && button->isVisibleTo(target)) entry.box.captions.push_back(S(button->text()));
    }
    const bool expected = !IsWindowStep(ParseScriptStep(answer)) && NamesAButton(box, answer);
    if (!expected) entry.answer = "unexpected";
    WriteTranscript(entry);
    SaveShot(*target, "box-" + std::to_string(number));
    if (!expected)
      FailScript("a box was shown where the script expected \"" + answer + "\": " + entry.box.title + ": " +
                 entry.box.text);
    const int button = ButtonOfAnswer(box, answer);
    auto* press = target->findChild<QAbstractButton*>(QStringLiteral("btnButton_%1").arg(button));
    if (press && press->isVisibleTo(target))
      press->click();
    else if (auto* dialog = dynamic_cast<MsgBoxDialog*>(target.data()))
      dialog->Press(button);
    else
      target->close();
  });
}

std::string QtPresenter::BrowseFolder(const FolderRequest& request) {
  if (!driven_) {
    return S(QFileDialog::getExistingDirectory(nullptr, Q(request.title), Q(request.startFolder),
                                               QFileDialog::ShowDirsOnly));
  }
  // A driven run shows the prompt and answers it with the next line of its script.
  const std::string answer = PromptAnswer("Folder", "folder prompt", request.title, request.startFolder, "");
  QFileDialog dialog(nullptr, Q(request.title), Q(request.startFolder));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  QTimer::singleShot(300, &dialog, [&dialog] {
    SaveShot(dialog, "folder");
    dialog.reject();
  });
  dialog.exec();
  return answer;
}

std::string QtPresenter::InputBox(const InputRequest& request) {
  QInputDialog dialog;
  dialog.setWindowTitle(Q(request.title));
  dialog.setLabelText(Q(request.prompt));
  dialog.setTextValue(Q(request.defaultText));
  // A long prompt wraps instead of widening the box past the screen.
  if (auto* label = dialog.findChild<QLabel*>()) label->setWordWrap(true);
  dialog.setMinimumWidth(std::min(420, WorkAreaWidthPixels() * 3 / 5));
  dialog.adjustSize();
  CenterForm(dialog);
  if (driven_) {
    // A driven run types the next line of its script, and an empty line cancels.
    const std::string text = PromptAnswer("Input", "input box", request.title, request.prompt, request.defaultText);
    QTimer::singleShot(300, &dialog, [&dialog, text] {
      dialog.setTextValue(Q(text));
      SaveShot(dialog, "input");
      text.empty() ? dialog.reject() : dialog.accept();
    });
  }
  return dialog.exec() == QDialog::Accepted ? S(dialog.textValue()) : std::string();
}

}  // namespace tolvarin::ui
