// The construction of a real installation under the window session: the small
// progress window comes up during the passes, its bar moves folder by folder, and
// it is gone when the passes are done.
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>

#include "construction/upgrade_passes.h"
#include "core/progress.h"
#include "core/settings.h"
#include "course_maker.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "support/test_support.h"
#include "ui/progress_windows.h"
#include "ui_fixture.h"

namespace {

using namespace tolvarin;

using ConstructionProgress = ui_testing::WindowTest;

TEST_F(ConstructionProgress, TheSmallWindowShowsEveryFolderOfAPassOnItsBar) {
  testing_support::TempDir temp;
  course_maker::CourseOptions options;
  options.questions = 20;
  const course_maker::Installation install = course_maker::MakeInstallation(temp.str(), options);
  course_maker::AddCourse(install, "Chemistry", 4, "Chemistry");
  course_maker::AddCourse(install, "Physics", 5, "Physics");
  if (Engine().EngineHandle == 0) InitCodeBase();
  Settings().AppPath = install.app;
  Settings().Mode = 9;

  // Every report reaches the real window through this sink, which looks at the window
  // after each one: a fast machine ends the passes before any timer could look.
  auto& window = dynamic_cast<ui::QtProgress&>(Progress());
  std::set<int> widths;
  QString message;
  bool shot = false;
  class Watching : public ProgressSink {
   public:
    explicit Watching(std::function<void()> look) : look_(std::move(look)) {}
    void Step(const std::string& text) override { Then([&](ProgressSink& s) { s.Step(text); }); }
    void Detail(const std::string& text) override { Then([&](ProgressSink& s) { s.Detail(text); }); }
    void Fraction(double done) override { Then([&](ProgressSink& s) { s.Fraction(done); }); }
    void Bar(const std::string& text, std::int32_t current, std::int32_t total) override {
      Then([&](ProgressSink& s) { s.Bar(text, current, total); });
    }
    void BarFraction(const std::string& text, double fraction) override {
      Then([&](ProgressSink& s) { s.BarFraction(text, fraction); });
    }
    void Working(const std::string& text) override { Then([&](ProgressSink& s) { s.Working(text); }); }
    void Close() override { Then([&](ProgressSink& s) { s.Close(); }); }
    void RunOperation(const ProgressPage& page, const std::function<void()>& operation) override {
      inner->RunOperation(page, operation);
    }
    void Pump() override { Then([&](ProgressSink& s) { s.Pump(); }); }
    void OperationMessage(const std::string& text) override {
      Then([&](ProgressSink& s) { s.OperationMessage(text); });
    }
    std::unique_ptr<ProgressSink> inner;

   private:
    void Then(const std::function<void(ProgressSink&)>& report) {
      report(*inner);
      look_();
    }
    std::function<void()> look_;
  };
  auto watching = std::make_unique<Watching>([&] {
    ui::ProgressWindow* bar = window.BarWindow();
    if (!bar || !bar->isVisible()) return;
    widths.insert(bar->Model().barWidth);
    message = bar->Message()->text();
    if (!shot && bar->Model().barWidth > 0) {
      ui_testing::Shot(*bar, "construction-progress");
      shot = true;
    }
  });
  Watching* watcher = watching.get();
  watcher->inner = SetProgress(std::move(watching));
  ConstructDatabases(true);
  SetProgress(std::move(watcher->inner));

  EXPECT_EQ(message, QStringLiteral("Processing, please wait"));
  EXPECT_GE(widths.size(), 2u) << "the bar never moved";
  EXPECT_TRUE(shot);
  QTest::qWait(10);
  EXPECT_TRUE(window.BarWindow() == nullptr || !window.BarWindow()->isVisible());
  Areas() = AreaCatalogue{};
  Paths() = RunPaths{};
  Settings() = RunSettings{};
}

}  // namespace
