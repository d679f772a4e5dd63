#include <gtest/gtest.h>

#include <sstream>

#include "core/box_buttons.h"
#include "core/console_presenter.h"
#include "core/progress.h"
#include "core/scripted_presenter.h"
#include "core/system_box.h"
#include "core_fixture.h"

using namespace tolvarin;

namespace {

TEST(ButtonSets, TheStandardTable) {
  struct Row {
    int set;
    std::array<std::string, 3> captions;
    int cancel;
    std::array<int, 3> results;
  } rows[] = {
      {0, {"OK", "", ""}, 1, {1, 1, 1}},
      {1, {"OK", "Cancel", ""}, 2, {1, 2, 0}},
      {2, {"&Abort", "&Retry", "&Ignore"}, 0, {3, 4, 5}},
      {3, {"&Yes", "&No", "Cancel"}, 3, {6, 7, 2}},
      {4, {"&Yes", "&No", ""}, 0, {6, 7, 0}},
      {5, {"&Retry", "Cancel", ""}, 2, {4, 2, 0}},
  };
  for (const Row& row : rows) {
    const ButtonSet set = ButtonSetFor(row.set | kMbCritical | kMbDefaultButton2);
    EXPECT_EQ(set.captions, row.captions) << row.set;
    EXPECT_EQ(set.cancelButton, row.cancel) << row.set;
    for (int b = 1; b <= 3; ++b) {
      if (!row.captions[static_cast<size_t>(b - 1)].empty()) {
        EXPECT_EQ(ResultForButton(row.set, b), row.results[static_cast<size_t>(b - 1)]) << row.set << " " << b;
      }
    }
  }
  EXPECT_EQ(ButtonSetFor(0, true).shown, 0);  // a timed OK box shows no button
  EXPECT_EQ(ResultForButton(kMbYesNo, 9), 9);  // unlisted numbers stay themselves
  EXPECT_EQ(ResultForButton(kMbOkOnly, 3), kIdOk);
}

TEST(ButtonSets, DefaultButtonAndIcon) {
  EXPECT_EQ(DefaultButtonFor(kMbYesNoCancel), 1);
  EXPECT_EQ(DefaultButtonFor(kMbYesNoCancel | kMbDefaultButton2), 2);
  EXPECT_EQ(DefaultButtonFor(kMbYesNoCancel | kMbDefaultButton3), 3);
  EXPECT_EQ(IconFor(kMbYesNo | kMbQuestion | kMbDefaultButton2), 32);
  const BoxRequest box = RequestFromOptions(BoxKind::System, "t", kMbYesNo | kMbExclamation | kMbDefaultButton2, "T");
  EXPECT_EQ(box.captions, (std::vector<std::string>{"&Yes", "&No"}));
  EXPECT_EQ(box.defaultButton, 2);
  EXPECT_EQ(box.icon, 48);
  EXPECT_EQ(box.cancelButton, 0);
}

class SystemBoxTest : public core_testing::HostFolderTest {};

TEST_F(SystemBoxTest, AnswersComeBackAsResultCodes) {
  for (const char* answer : {"&Yes", "no", "esc", "2", "default"}) Script().Push(answer);
  EXPECT_EQ(MsgBox("q", kMbYesNoCancel), kIdYes);
  EXPECT_EQ(MsgBox("q", kMbYesNoCancel), kIdNo);
  EXPECT_EQ(MsgBox("q", kMbYesNoCancel), kIdCancel);  // Esc presses Cancel
  EXPECT_EQ(MsgBox("q", kMbAbortRetryIgnore), kIdRetry);
  EXPECT_EQ(MsgBox("q", kMbOkCancel | kMbDefaultButton2), kIdCancel);
  Script().Push("esc");
  EXPECT_EQ(MsgBox("q", kMbYesNo), kIdNo);  // no cancel button: closing never says yes
  EXPECT_EQ(MsgBox("q"), kIdOk);            // answers ran out: the default button
  ASSERT_EQ(Shown().size(), 7u);
  EXPECT_EQ(Shown()[0].kind, "System");
  EXPECT_EQ(Shown()[0].box.title, kApplicationTitle);
}

TEST_F(SystemBoxTest, FacilityBoxesGoThroughTheSystemsOwnBox) {
  FacilityMessageBox("Invalid Mode parameter.", kMbCritical);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].kind, "Facility");
  EXPECT_EQ(Shown()[0].box.text, "Invalid Mode parameter.");
  EXPECT_EQ(Shown()[0].box.icon, 16);
}

TEST(ConsolePresenter, PrintsTheBoxAndAnswersItsDefault) {
  std::ostringstream out;
  ConsolePresenter console(out);
  BoxRequest box = RequestFromOptions(BoxKind::System, "Overwrite?", kMbYesNo | kMbDefaultButton2, "Title");
  EXPECT_EQ(console.Ask(box), 2);
  EXPECT_NE(out.str().find("Overwrite?"), std::string::npos);
  EXPECT_NE(out.str().find("Title"), std::string::npos);
  EXPECT_NE(out.str().find("-> &No"), std::string::npos);
  EXPECT_EQ(console.BrowseFolder({"Pick", "/x"}), "");
  EXPECT_EQ(console.InputBox({"Name?", "T", "Operator"}), "Operator");
}

TEST(ScriptedPresenter, TranscriptRoundTripsEveryField) {
  testing_support::TempDir dir;
  const std::string file = dir.str() + "/transcript.txt";
  ScriptedPresenter scripted({"Continue Anyway", "/folder", "typed"}, file);
  BoxRequest box;
  box.kind = BoxKind::Facility;
  box.title = "Corvane";
  box.text = "line one\r\n\r\ntab\there \\ end";
  box.icon = 16;
  box.captions = {"Exit Program", "Continue Anyway"};
  box.defaultButton = 1;
  box.cancelButton = 1;
  EXPECT_EQ(scripted.Ask(box), 2);
  EXPECT_EQ(scripted.BrowseFolder({"Choose", "/start"}), "/folder");
  EXPECT_EQ(scripted.InputBox({"Your name", "Import", "me"}), "typed");
  const std::vector<ShownBox> read = ReadTranscript(file);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].kind, "Facility");
  EXPECT_EQ(read[0].box.text, box.text);
  EXPECT_EQ(read[0].box.captions, box.captions);
  EXPECT_EQ(read[0].box.icon, 16);
  EXPECT_EQ(read[0].box.cancelButton, 1);
  EXPECT_EQ(read[0].answer, "2");
  EXPECT_EQ(read[1].kind, "Folder");
  EXPECT_EQ(read[1].answer, "/folder");
  EXPECT_EQ(read[2].kind, "Input");
  EXPECT_EQ(read[2].answer, "typed");
}

TEST(ConsoleProgress, OneLinePerVisibleChange) {
  std::ostringstream out;
  ConsoleProgress progress(out);
  progress.Step("Backing up");
  progress.Detail("Copying table: USERS");
  progress.Fraction(0.5);
  progress.Fraction(0.501);  // same percentage: no new line
  EXPECT_EQ(out.str(), "[    ] Backing up\n[    ] Backing up: Copying table: USERS\n[ 50%] Backing up: Copying table: USERS\n");
}

}  // namespace
