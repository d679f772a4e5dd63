#include "core/window_helpers.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolvarin {
namespace {

TEST(WorkArea, SubtractsATaskbarAlongTheBottom) {
  DisplayInfo display;
  display.pixelWidth = 1024;
  display.pixelHeight = 768;
  display.taskbarState = 1;
  display.taskbarLeft = 0;
  display.taskbarTop = 738;
  display.taskbarRight = 1024;
  display.taskbarBottom = 768;
  WorkArea area = WorkAreaOf(display);
  EXPECT_EQ(area.width, 15360);
  EXPECT_EQ(area.height, 11070);

  display.taskbarState = 0;  // neither always on top nor hiding itself
  area = WorkAreaOf(display);
  EXPECT_EQ(area.height, 11520);

  display.taskbarState = 1;
  display.taskbarRight = 0;  // no rectangle
  EXPECT_EQ(WorkAreaOf(display).height, 11520);
}

TEST(WorkArea, ASideTaskbarNarrowsTheWidthInstead) {
  DisplayInfo display;
  display.pixelWidth = 1024;
  display.pixelHeight = 768;
  display.taskbarState = 1;
  display.taskbarRight = 60;
  display.taskbarBottom = 768;
  const WorkArea area = WorkAreaOf(display);
  EXPECT_EQ(area.width, (1024 - 60) * 15);
  EXPECT_EQ(area.height, 768 * 15);
}

TEST(WorkArea, IsMeasuredFromTheInstalledSource) {
  DesktopWorkArea() = {};
  GetDesktopWorkArea();  // no display: stays unmeasured
  EXPECT_EQ(DesktopWorkArea().width, 0);
  SetDisplayInfoSource([] {
    DisplayInfo d;
    d.pixelWidth = 800;
    d.pixelHeight = 600;
    return d;
  });
  GetDesktopWorkArea();
  EXPECT_EQ(DesktopWorkArea().width, 12000);
  EXPECT_EQ(DesktopWorkArea().height, 9000);
  SetDisplayInfoSource(nullptr);
  DesktopWorkArea() = {};
}

TEST(CenterForm, CentresInTheWorkAreaOrElseOnTheScreen) {
  const FormRect form{100, 100, 20000, 6000};
  FormRect placed = CenterFormPlacement(form, 0, 0, WorkArea{15360, 11070}, 16000, 12000);
  EXPECT_EQ(placed.left, -2320);
  EXPECT_EQ(placed.top, (11070 - 6000) / 2);
  EXPECT_EQ(placed.width, 20000);

  placed = CenterFormPlacement(form, 4000, 3000, WorkArea{15360, 11070}, 16000, 12000);
  EXPECT_EQ(placed.left, (15360 - 4000) / 2);
  EXPECT_EQ(placed.height, 3000);

  // Unknown work area: the middle of the screen, keeping the form's own size.
  placed = CenterFormPlacement(form, 4000, 3000, WorkArea{}, 16000, 12000);
  EXPECT_EQ(placed.left, (16000 - 20000) / 2);
  EXPECT_EQ(placed.top, (12000 - 6000) / 2);
  EXPECT_EQ(placed.width, 20000);
}

TEST(WaitCursor, NestsUntilTheOutermostEnd) {
  std::vector<int> pointers;
  SetMousePointerHook([&](int pointer) { pointers.push_back(pointer); });
  WaitCount() = 0;
  BeginWait();
  BeginWait();
  EndWait();
  EXPECT_EQ(WaitCount(), 1);
  EXPECT_EQ(pointers.back(), kPointerHourglass);
  EndWait();
  EXPECT_EQ(WaitCount(), 0);
  EXPECT_EQ(pointers.back(), kPointerDefault);
  EndWait();
  EXPECT_EQ(WaitCount(), 0);
  BeginWait();
  BeginWait();
  EndWait(true);
  EXPECT_EQ(WaitCount(), 0);
  EXPECT_EQ(pointers.back(), kPointerDefault);
  SetMousePointerHook(nullptr);
}

// A page that hides itself after a few event passes, leaving its result.
class FakePage : public ShowableForm {
 public:
  FakePage(std::vector<std::string>& log, std::string name, int result, int passes)
      : log_(log), name_(std::move(name)), result_(result), passes_(passes) {}
  void Load() override { loaded_ = true; log_.push_back(name_ + " load"); }
  void ShowModeless() override { visible_ = true; log_.push_back(name_ + " show"); }
  void ShowModal() override { log_.push_back(name_ + " modal"); }
  void Hide() override { visible_ = false; log_.push_back(name_ + " hide"); }
  void Unload() override { loaded_ = false; visible_ = false; log_.push_back(name_ + " unload"); }
  bool IsLoaded() const override { return loaded_; }
  bool IsVisible() const override { return visible_; }
  std::string Tag() const override { return tag; }
  void ProcessEvents() override {
    if (++events == passes_) {
      PageResult() = result_;
      visible_ = false;
    }
    if (inner != nullptr && events == 1) ShowFormModal(*inner);
  }
  std::string tag;
  int events = 0;
  ShowableForm* inner = nullptr;

 private:
  std::vector<std::string>& log_;
  std::string name_;
  int result_;
  int passes_;
  bool loaded_ = false;
  bool visible_ = false;
};

TEST(ShowFormModal, ReturnsThePageResultOnceTheFormHides) {
  std::vector<std::string> log;
  FakePage page(log, "page", -1, 3);
  PageResult() = 1;
  EXPECT_EQ(ShowFormModal(page), -1);
  EXPECT_EQ(page.events, 3);
  EXPECT_FALSE(IsFormLoaded(page));
  EXPECT_EQ(log, (std::vector<std::string>{"page load", "page show", "page unload"}));
}

TEST(ShowFormModal, AHiddenTaggedFormIsLoadedAndUnloadedOnly) {
  std::vector<std::string> log;
  FakePage page(log, "page", 5, 1);
  page.tag = "H";
  PageResult() = 2;
  EXPECT_EQ(ShowFormModal(page), 2);
  EXPECT_EQ(page.events, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"page load", "page unload"}));
}

TEST(ShowFormModal, TheFormShownBeforeStaysOpenUnderTheNextOne) {
  // The main window under a dialog: the dialog's end leaves it open, and it ends
  // later with its own result.
  std::vector<std::string> log;
  FakePage outer(log, "outer", 1, 2);
  FakePage inner(log, "inner", 7, 1);
  outer.inner = &inner;
  EXPECT_EQ(ShowFormModal(outer), 1);
  EXPECT_EQ(outer.events, 2);
  EXPECT_EQ(log, (std::vector<std::string>{"outer load", "outer show", "inner load", "inner show", "inner unload",
                                           "outer unload"}));
}

TEST(ShowFormEx, ModalUsesTheWindowSystemsLoop) {
  std::vector<std::string> log;
  FakePage page(log, "page", 1, 1);
  ShowFormEx(page, true);
  EXPECT_EQ(log, (std::vector<std::string>{"page modal"}));
}

}  // namespace
}  // namespace tolvarin
