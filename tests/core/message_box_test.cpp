#include "core/message_box.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

#include "core/box_buttons.h"
#include "core/ini_file.h"
#include "core/presenter.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

// Answers boxes from a queue of button numbers (-1: Esc, the cancel button) and
// keeps what it was asked.
class FakePresenter : public MessagePresenter {
 public:
  std::deque<int> answers;
  std::vector<BoxRequest> asked;
  int Ask(const BoxRequest& box) override {
    asked.push_back(box);
    if (answers.empty()) return box.defaultButton;
    const int answer = answers.front();
    answers.pop_front();
    return answer < 0 ? box.cancelButton : answer;
  }
  std::string BrowseFolder(const FolderRequest&) override { return ""; }
  std::string InputBox(const InputRequest& request) override { return request.defaultText; }
};

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto fake = std::make_unique<FakePresenter>();
    presenter_ = fake.get();
    previous_ = SetPresenter(std::move(fake));
    savedAppPath_ = Settings().AppPath;
    Settings().AppPath = dir_.str();
  }
  void TearDown() override {
    SetPresenter(std::move(previous_));
    Settings().AppPath = savedAppPath_;
  }
  int Answer(int options, int pressed) {
    presenter_->answers.push_back(pressed);
    return ShowMessageBox("Question?", options, "Title");
  }

  testing_support::TempDir dir_;
  FakePresenter* presenter_ = nullptr;
  std::unique_ptr<MessagePresenter> previous_;
  std::string savedAppPath_;
};

TEST_F(MessageBoxTest, StandardSetsGiveTheirResultCodes) {
  struct Case {
    int options;
    int pressed;  // -1: Esc
    int result;
  };
  const Case cases[] = {
      {kMbOkOnly, 1, kIdOk},          {kMbOkOnly, -1, kIdOk},
      {kMbOkCancel, 1, kIdOk},        {kMbOkCancel, 2, kIdCancel},        {kMbOkCancel, -1, kIdCancel},
      {kMbAbortRetryIgnore, 1, kIdAbort}, {kMbAbortRetryIgnore, 2, kIdRetry}, {kMbAbortRetryIgnore, 3, kIdIgnore},
      {kMbYesNoCancel, 1, kIdYes},    {kMbYesNoCancel, 2, kIdNo},         {kMbYesNoCancel, 3, kIdCancel},
      {kMbYesNoCancel, -1, kIdCancel},
      {kMbYesNo, 1, kIdYes},          {kMbYesNo, 2, kIdNo},
      {kMbRetryCancel, 1, kIdRetry},  {kMbRetryCancel, 2, kIdCancel},     {kMbRetryCancel, -1, kIdCancel},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Answer(c.options, c.pressed), c.result) << "set " << c.options << " pressed " << c.pressed;
  }
}

TEST_F(MessageBoxTest, EscOnASetWithoutCancelButtonNeverReadsAsYes) {
  // Yes/No and Abort/Retry/Ignore have no cancel button: Esc presses "button 0".
  EXPECT_EQ(Answer(kMbYesNo | kMbQuestion, -1), kIdNo);
  EXPECT_EQ(presenter_->asked.back().cancelButton, 0);
  EXPECT_EQ(Answer(kMbAbortRetryIgnore, -1), kIdAbort);
  // The same when the box was closed some other way.
  EXPECT_EQ(MsgBoxResultFor(kMbYesNo | kMbDefaultButton2, 0), kIdNo);
}

TEST_F(MessageBoxTest, TheBoxShowsTheSetsCaptionsIconAndDefault) {
  Answer(kMbYesNoCancel | kMbExclamation | kMbDefaultButton2, 1);
  const BoxRequest& box = presenter_->asked.back();
  EXPECT_EQ(box.kind, BoxKind::Facility);
  EXPECT_EQ(box.title, "Title");
  EXPECT_EQ(box.text, "Question?");
  EXPECT_EQ(box.icon, kIconExclamation);
  EXPECT_EQ(box.captions, (std::vector<std::string>{"&Yes", "&No", "Cancel"}));
  EXPECT_EQ(box.defaultButton, 2);
  EXPECT_EQ(box.cancelButton, 3);

  Answer(kMbYesNo | kMbDefaultButton3, 1);  // no third button: the focus stays on the first
  EXPECT_EQ(presenter_->asked.back().defaultButton, 1);
  EXPECT_EQ(presenter_->asked.back().captions.size(), 2u);

  presenter_->answers.push_back(1);
  ShowMessageBox("No title", kMbOkOnly | kMbCritical);
  EXPECT_EQ(presenter_->asked.back().title, kApplicationTitle);
  EXPECT_EQ(presenter_->asked.back().icon, kIconStop);
}

TEST_F(MessageBoxTest, TimedBoxShowsNoButtonsAndAnswersOne) {
  presenter_->answers.push_back(0);  // it closed by itself
  EXPECT_EQ(ShowTimedMsgBox("Wait", "T", 1500), 1);
  const BoxRequest& box = presenter_->asked.back();
  EXPECT_TRUE(box.captions.empty());
  EXPECT_EQ(box.timeoutMs, 1500);
  EXPECT_EQ(box.icon, kIconExclamation);
}

TEST_F(MessageBoxTest, CustomBoxGivesTheButtonNumber) {
  presenter_->answers = {-1, 2, 3};
  // Esc presses the cancel button, which here is the first.
  EXPECT_EQ(ShowCustomMsgBox("text", "Corvane", 16, "Exit Program", "Continue Anyway", "", 1, 1, 0), 1);
  const BoxRequest& box = presenter_->asked.back();
  EXPECT_EQ(box.captions, (std::vector<std::string>{"Exit Program", "Continue Anyway"}));
  EXPECT_EQ(box.icon, 16);
  EXPECT_EQ(box.cancelButton, 1);
  EXPECT_EQ(ShowCustomMsgBox("Overwrite?", "Overwrite", 0, "Yes", "No", "Yes to All", 1, 3, 0), 2);
  EXPECT_EQ(ShowCustomMsgBox("Overwrite?", "Overwrite", 0, "Yes", "No", "Yes to All", 1, 3, 0), 3);
  EXPECT_EQ(CurrentMsgBoxState().result, 3);
  EXPECT_EQ(CurrentMsgBoxState().captions[2], "Yes to All");
}

TEST_F(MessageBoxTest, StoredAnswersOfTypeOneAreGivenBackUnshown) {
  EXPECT_EQ(GetStoredDefaultButton(1), 0);
  StoreDefaultButton(1, 2, false);
  EXPECT_EQ(GetStoredDefaultButton(1), 2);
  const std::string ini = testing_support::ReadFile(dir_.path() / kMessageBoxDefaultsFile);
  EXPECT_NE(ini.find("[DefaultButtons]"), std::string::npos);
  EXPECT_NE(ini.find("Type1=2"), std::string::npos);

  const std::size_t before = presenter_->asked.size();
  EXPECT_EQ(ShowCustomMsgBox("Again?", "T", 0, "A", "B", "", 1, 2, 1), 2);
  EXPECT_EQ(presenter_->asked.size(), before) << "a stored answer shows nothing";
  EXPECT_EQ(CurrentMsgBoxState().lastStoredAnswer, 2);
  EXPECT_EQ(ShowMsgBox("Again?", kMbYesNo, "T", false, 1, true), 2);
  EXPECT_EQ(presenter_->asked.size(), before);

  // Other types are neither stored nor read.
  StoreDefaultButton(2, 5, false);
  EXPECT_EQ(GetStoredDefaultButton(2), 0);
  presenter_->answers.push_back(1);
  EXPECT_EQ(ShowCustomMsgBox("Other", "T", 0, "A", "B", "", 1, 2, 2), 1);
  EXPECT_EQ(presenter_->asked.size(), before + 1);
}

TEST_F(MessageBoxTest, StoringWithConfirmationTellsTheUser) {
  presenter_->answers.push_back(1);
  StoreDefaultButton(1, 6, true);
  ASSERT_FALSE(presenter_->asked.empty());
  const BoxRequest& box = presenter_->asked.back();
  EXPECT_EQ(box.text,
            "Your choice has been recorded and will be automatically selected for you from now on.\r\n\r\n"
            "If you would like to change this option in the future, you may click on \"Settings\" from the Main "
            "Menu, and then \"Stored Message Options\".");
  EXPECT_EQ(box.captions, (std::vector<std::string>{"OK"}));
  EXPECT_EQ(box.title, kApplicationTitle);
}

TEST(MsgBoxClipboardText, LaysTheBoxOutAsText) {
  const std::string rule = "---------------------------\r\n";
  EXPECT_EQ(MsgBoxClipboardText("T", "M", {"OK", "", ""}), rule + "T\r\n" + rule + "M\r\n" + rule + "OK   \r\n" + rule);
  EXPECT_EQ(MsgBoxClipboardText("T", "M", {"&Yes", "&No", "Cancel"}),
            rule + "T\r\n" + rule + "M\r\n" + rule + "&Yes   &No   Cancel   \r\n" + rule);
}

TEST(MsgBoxKeyDown, FollowsTheKeyboardRules) {
  const std::array<std::string, 3> yesNo = {"&Yes", "&No", ""};
  const std::array<std::string, 3> ari = {"&Abort", "&Retry", "&Ignore"};
  const std::array<std::string, 3> digits = {"Option &4", "&0 none", "Third"};
  struct Case {
    int key;
    bool ctrl;
    const std::array<std::string, 3>* captions;
    int cancel;
    MsgBoxKeyAction action;
    int button;
  };
  const Case cases[] = {
      {'Y', false, &yesNo, 0, MsgBoxKeyAction::Press, 1},
      {'N', false, &yesNo, 0, MsgBoxKeyAction::Press, 2},
      {kKeyEscape, false, &yesNo, 0, MsgBoxKeyAction::Press, 0},
      {kKeyEscape, false, &ari, 0, MsgBoxKeyAction::Press, 0},
      {'3', false, &yesNo, 0, MsgBoxKeyAction::None, 0},  // no third button
      {'2', false, &yesNo, 0, MsgBoxKeyAction::Press, 2},
      {kKeyNumpad0 + 3, false, &ari, 0, MsgBoxKeyAction::Press, 3},
      {'I', false, &ari, 0, MsgBoxKeyAction::Press, 3},
      {'Q', false, &ari, 0, MsgBoxKeyAction::None, 0},
      {'4', false, &digits, 0, MsgBoxKeyAction::Press, 1},
      {'0', false, &digits, 0, MsgBoxKeyAction::Press, 2},
      {'T', false, &digits, 0, MsgBoxKeyAction::None, 0},  // no accelerator
      {kKeyC, true, &yesNo, 0, MsgBoxKeyAction::Copy, 0},
      {'Y', true, &yesNo, 0, MsgBoxKeyAction::None, 0},
      {'C', false, &yesNo, 0, MsgBoxKeyAction::None, 0},
      {112, false, &yesNo, 0, MsgBoxKeyAction::None, 0},  // a function key
  };
  for (const Case& c : cases) {
    const MsgBoxKey key = MsgBoxKeyDown(c.key, c.ctrl, *c.captions, c.cancel);
    EXPECT_EQ(key.action, c.action) << "key " << c.key;
    EXPECT_EQ(key.button, c.button) << "key " << c.key;
  }
  EXPECT_EQ(MsgBoxKeyDown(kKeyEscape, false, {"Exit Program", "Continue Anyway", ""}, 1).button, 1);
}

MsgBoxDesign Design() {
  MsgBoxDesign d;
  d.workAreaWidth = 1000;
  d.horizontalMargin = 80;
  d.frameWidth = 8;
  d.frameHeight = 30;
  d.buttonLeft = 10;
  d.buttonWidth = 75;
  d.buttonPanelHeight = 40;
  d.contentTop = 12;
  d.iconHeight = 32;
  d.verticalOffset = 20;
  return d;
}

TEST(MsgBoxLayout, ALongMessageIsCappedAtThreeFifthsOfTheWorkArea) {
  const MsgBoxLayout layout = LayoutMsgBox(Design(), {20, 0, 0}, {true, false, false}, 5000, 100);
  EXPECT_EQ(layout.labelWidth, 600 - 80);
  EXPECT_EQ(layout.windowWidth, 600);
  EXPECT_EQ(layout.buttonPanelWidth, 10 + 75 + 10);
  EXPECT_EQ(layout.buttonPanelLeft, (600 - 8 - 95) / 2);
}

TEST(MsgBoxLayout, WideButtonsWidenAShortMessage) {
  // Captions measured at 150 pixels: each button becomes 150 + 19, placed 9 apart.
  const MsgBoxLayout layout = LayoutMsgBox(Design(), {150, 150, 150}, {true, true, true}, 40, 16);
  EXPECT_EQ(layout.buttons[0].left, 10);
  EXPECT_EQ(layout.buttons[0].width, 169);
  EXPECT_EQ(layout.buttons[1].left, 10 + 169 + 9);
  EXPECT_EQ(layout.buttons[2].left, 10 + 2 * (169 + 9));
  const int panel = 10 + 2 * (169 + 9) + 169 + 10;
  EXPECT_EQ(layout.buttonPanelWidth, panel);
  EXPECT_EQ(layout.windowWidth, panel + 8) << "inner width exactly the buttons' panel";
  EXPECT_EQ(layout.buttonPanelLeft, 0);
  // A narrow caption keeps the design width.
  EXPECT_EQ(LayoutMsgBox(Design(), {10, 0, 0}, {true, false, false}, 40, 16).buttons[0].width, 75);
}

TEST(MsgBoxLayout, PlacesTheContentAndTheButtonsBelowIt) {
  MsgBoxDesign design = Design();
  // Label shorter than the icon: the label is centred on the icon.
  MsgBoxLayout layout = LayoutMsgBox(design, {20, 0, 0}, {true, false, false}, 300, 16);
  EXPECT_EQ(layout.iconTop, 12);
  EXPECT_EQ(layout.labelTop, 12 + 8);
  EXPECT_EQ(layout.buttonPanelTop, 12 + 32 + 20);
  EXPECT_EQ(layout.windowHeight, 64 + 40 + 8 + 30);
  // Label taller than the icon: the icon is centred on the label.
  layout = LayoutMsgBox(design, {20, 0, 0}, {true, false, false}, 300, 100);
  EXPECT_EQ(layout.labelTop, 12);
  EXPECT_EQ(layout.iconTop, 12 + 34);
  EXPECT_EQ(layout.buttonPanelTop, 12 + 100 + 20);
  // The remember box sits 4 below the content and the content ends 4 below it.
  design.checkBoxHeight = 18;
  layout = LayoutMsgBox(design, {20, 0, 0}, {true, false, false}, 300, 100);
  EXPECT_EQ(layout.checkBoxTop, 112 + 4);
  EXPECT_EQ(layout.buttonPanelTop, 116 + 18 + 4 + 20);
}

}  // namespace
}  // namespace tolvarin
