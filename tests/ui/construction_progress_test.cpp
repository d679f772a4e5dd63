// The construction of a real installation under the window session: the small
// progress window comes up during the passes, its bar moves folder by folder, and
// it is gone when the passes are done.
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <algorithm>
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

  auto& sink = dynamic_cast<ui::QtProgress&>(Progress());
  std::set<int> widths;
  QString message;
  bool shot = false;
  // The passes let the window system run between folders: look at the window then.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    ui::ProgressWindow* window = sink.BarWindow();
    if (!window || !window->isVisible()) return;
    widths.insert(window->Model().barWidth);
    message = window->Message()->text();
    if (!shot && window->Model().barWidth > 0) {
      ui_testing::Shot(*window, "construction-progress");
      shot = true;
    }
  });
  watch.start(1);
  ConstructDatabases(true);
  watch.stop();

  EXPECT_EQ(message, QStringLiteral("Processing, please wait"));
  EXPECT_GE(widths.size(), 2u) << "the bar never moved";
  EXPECT_TRUE(shot);
  QTest::qWait(10);
  EXPECT_TRUE(sink.BarWindow() == nullptr || !sink.BarWindow()->isVisible());
  Areas() = AreaCatalogue{};
  Paths() = RunPaths{};
  Settings() = RunSettings{};
}

}  // namespace
