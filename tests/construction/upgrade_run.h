#pragma once
// A construction run inside the test process: a host folder of its own, a temporary
// folder of its own, scripted message boxes and a silent progress sink (or one the
// test gives), and readers of the debug log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "construction/construction_run.h"
#include "construction/install_set.h"
#include "construction/schema.h"
#include "construction/upgrade_fixture.h"
#include "core/presenter.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "data/catalogue.h"
#include "support/test_support.h"

namespace upgrade_testing {

class SilentProgress : public tolvarin::ProgressSink {
 public:
  void Step(const std::string&) override {}
  void Detail(const std::string&) override {}
  void Fraction(double) override {}
};

class UpgradeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = dir_.path() / "Host";
    fs::create_directories(app_);
    fs::create_directories(dir_.path() / "tmp");
    previousTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", (dir_.path() / "tmp").c_str(), 1);
    UseHost(app_);
    auto presenter = std::make_unique<tolvarin::ScriptedPresenter>();
    presenter_ = presenter.get();
    previousPresenter_ = tolvarin::SetPresenter(std::move(presenter));
    previousProgress_ = tolvarin::SetProgress(std::make_unique<SilentProgress>());
    Code();
    tolvarin::DefineDatabase();
  }
  void TearDown() override {
    tolvarin::SetPresenter(std::move(previousPresenter_));
    tolvarin::SetProgress(std::move(previousProgress_));
    if (previousTmp_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", previousTmp_.c_str(), 1);
    }
  }

  // Everything a new process would start from, for the host folder given.
  void UseHost(const fs::path& app) {
    tolvarin::Settings() = tolvarin::RunSettings{};
    tolvarin::Settings().AppPath = app.string();
    tolvarin::Settings().Mode = 9;
    tolvarin::InitDebugLog();  // the debug log of this host folder
    tolvarin::Paths() = tolvarin::RunPaths{};
    tolvarin::Areas() = tolvarin::AreaCatalogue{};
    tolvarin::Construction() = tolvarin::ConstructionState{};
    tolvarin::Edition() = tolvarin::EditionInfo{};
  }

  // Every table left under Databases (Blank aside) conforms, and no work file stays.
  void ExpectEveryTableConforms(const fs::path& app) {
    for (const auto& entry : fs::recursive_directory_iterator(app / "Databases")) {
      const std::string name = entry.path().stem().string();
      EXPECT_EQ(name.find("_new"), std::string::npos) << entry.path();
      EXPECT_EQ(name.find("_old"), std::string::npos) << entry.path();
      if (entry.path().extension() != ".dbf" || entry.path().parent_path().filename() == "Blank") continue;
      if (tolvarin::GetTableDef(name).TableName.empty()) continue;
      EXPECT_TRUE(Conforms(entry.path(), name)) << entry.path();
    }
  }
  void ExpectEveryTableConforms() { ExpectEveryTableConforms(app_); }

  // An edition whose old course numbers 1 and 2 are the courses in slots 0 and 1
  // (2 and 3 trade places).
  static void SplitOldCourses(const fs::path& app) {
    testing_support::WriteFile(app / "Kestal.INI", "[Edition]\r\nVersion=Science Plus\r\n");
    fs::copy_file(fs::path(TOLVARIN_CONFIG_DIR) / "editions.ini", app / "editions.ini",
                  fs::copy_options::overwrite_existing);
  }
  void SplitOldCourses() { SplitOldCourses(app_); }

  static std::string DebugLog(const fs::path& app) {
    std::string text;
    if (!fs::exists(app / "logs")) return text;
    for (const auto& entry : fs::directory_iterator(app / "logs")) text += testing_support::ReadFile(entry.path());
    return text;
  }
  std::string DebugLog() const { return DebugLog(app_); }

  testing_support::TempDir dir_;
  fs::path app_;
  tolvarin::ScriptedPresenter* presenter_ = nullptr;

 private:
  std::string previousTmp_;
  std::unique_ptr<tolvarin::MessagePresenter> previousPresenter_;
  std::unique_ptr<tolvarin::ProgressSink> previousProgress_;
};

}  // namespace upgrade_testing
