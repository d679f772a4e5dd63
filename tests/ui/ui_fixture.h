#pragma once
// Windows under test: one offscreen Qt application for the whole program, a
// helper that acts on the next modal window, a watchdog that fails a test stuck in
// a modal loop, and screenshots when TOLVARIN_SCREENS_DIR names a folder.
#include <gtest/gtest.h>

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/presenter.h"
#include "core/progress.h"

namespace ui_testing {

// The application, made on first use (offscreen unless QT_QPA_PLATFORM says
// otherwise), with the window hooks installed.
void EnsureApplication();

// Calls act on the next modal window that is not `skip` once it is shown, polling
// every 10 ms; gives up after timeoutMs.
void WhenModal(std::function<void(QWidget*)> act, QWidget* skip = nullptr, int timeoutMs = 5000);

// Saves the window's picture as <TOLVARIN_SCREENS_DIR>/<name>.png when the
// variable is set.
void Shot(QWidget& window, const std::string& name);

// Installs the Qt presenter and progress sink for one test and restores the
// earlier ones after it; fails a test that is still in a modal loop after 20 s.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 private:
  std::unique_ptr<tolvarin::MessagePresenter> savedPresenter_;
  std::unique_ptr<tolvarin::ProgressSink> savedProgress_;
};

}  // namespace ui_testing
