#include "ui_fixture.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <cstdlib>

#include "support/test_support.h"
#include "ui/progress_windows.h"
#include "ui/qt_presenter.h"
#include "ui/window_session.h"

namespace ui_testing {

void EnsureApplication() {
  if (QApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt asks for a private runtime folder; give it one so it does not warn.
  static testing_support::TempDir runtime;
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    QDir(QString::fromStdString(runtime.str())).mkpath(QStringLiteral("."));
    QFile::setPermissions(QString::fromStdString(runtime.str()), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
  }
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  auto* application = new QApplication(argc, argv);  // lives as long as the program
  application->setQuitOnLastWindowClosed(false);
  tolvarin::ui::InstallWindowSessionHooks();
}

void WhenModal(std::function<void(QWidget*)> act, QWidget* skip, int timeoutMs) {
  auto* timer = new QTimer();
  auto waited = std::make_shared<int>(0);
  QPointer<QWidget> skipped(skip);
  QObject::connect(timer, &QTimer::timeout, [timer, act, waited, skipped, skip, timeoutMs] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool ready = modal && modal->isVisible() && (skip == nullptr || modal != skipped.data());
    *waited += 10;
    if (!ready && *waited < timeoutMs) return;
    timer->stop();
    timer->deleteLater();
    if (ready) act(modal);
    else ADD_FAILURE() << "no modal window appeared";
  });
  timer->start(10);
}

void Shot(QWidget& window, const std::string& name) {
  const char* dir = std::getenv("TOLVARIN_SCREENS_DIR");
  if (!dir || !*dir) return;
  QDir().mkpath(QString::fromUtf8(dir));
  window.grab().save(QString::fromUtf8(dir) + QStringLiteral("/") + QString::fromStdString(name) + QStringLiteral(".png"));
}

void WindowTest::SetUp() {
  EnsureApplication();
  savedPresenter_ = tolvarin::SetPresenter(std::make_unique<tolvarin::ui::QtPresenter>());
  savedProgress_ = tolvarin::SetProgress(std::make_unique<tolvarin::ui::QtProgress>());
  // The watchdog: a modal loop left open ends the test instead of hanging it.
  auto* watchdog = new QTimer(QApplication::instance());
  watchdog->setObjectName(QStringLiteral("watchdog"));
  watchdog->setSingleShot(true);
  QObject::connect(watchdog, &QTimer::timeout, [] {
    ADD_FAILURE() << "a window stayed open for 20 s";
    for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  watchdog->start(20000);
}

void WindowTest::TearDown() {
  if (auto* watchdog = QApplication::instance()->findChild<QTimer*>(QStringLiteral("watchdog"))) delete watchdog;
  tolvarin::SetProgress(std::move(savedProgress_));
  tolvarin::SetPresenter(std::move(savedPresenter_));
  for (QWidget* w : QApplication::topLevelWidgets()) w->close();
  QApplication::processEvents();
}

}  // namespace ui_testing
