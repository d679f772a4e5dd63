// The plain box, the folder prompt and the input box on real windows; the form
// colours; the window helpers' window sides and the taskbar window.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "core/box_buttons.h"
#include "core/presenter.h"
#include "core/system_box.h"
#include "core/window_helpers.h"
#include "support/test_support.h"
#include "ui/elastic_panel.h"
#include "ui/form_style.h"
#include "ui/forms.h"
#include "ui/taskbar_window.h"
#include "ui_fixture.h"

namespace {

using namespace tolvarin;
using ui_testing::Shot;
using ui_testing::WhenModal;

using PlainBox = ui_testing::WindowTest;

TEST_F(PlainBox, ButtonsAnswersAndEsc) {
  WhenModal([](QWidget* w) {
    auto* box = dynamic_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Are you sure?"));
    EXPECT_EQ(box->windowTitle(), QString::fromLatin1(kApplicationTitle));
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("&No"));
    Shot(*w, "plain-yesno");
    box->findChild<QPushButton*>(QStringLiteral("btnButton_1"))->click();
  });
  EXPECT_EQ(MsgBox("Are you sure?", kMbYesNo | kMbQuestion | kMbDefaultButton2), kIdYes);
  WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  EXPECT_EQ(MsgBox("Go on?", kMbOkCancel), kIdCancel);
  WhenModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
  EXPECT_EQ(MsgBox("Done.", kMbOkOnly | kMbInformation), kIdOk);
}

TEST_F(PlainBox, YesNoCannotBeEscaped) {
  WhenModal([](QWidget* w) {
    QTest::keyClick(w, Qt::Key_Escape);
    w->close();
    QTest::qWait(20);
    EXPECT_TRUE(w->isVisible());
    w->findChild<QPushButton*>(QStringLiteral("btnButton_2"))->click();
  });
  EXPECT_EQ(MsgBox("Replace?", kMbYesNo), kIdNo);
}

TEST_F(PlainBox, InputBoxGivesTheTextOrNothing) {
  const InputRequest request{
      "Big Brother requests that you enter your name, so that we may track your activity for the sake of Homeland "
      "Security:",
      "Enter your name", ""};
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Enter your name"));
    EXPECT_LE(w->width(), ui::WorkAreaWidthPixels());
    w->findChild<QLineEdit*>()->setText(QStringLiteral("Ms Smith"));
    Shot(*w, "inputbox");
    dynamic_cast<QDialog*>(w)->accept();
  });
  EXPECT_EQ(Presenter().InputBox(request), "Ms Smith");
  WhenModal([](QWidget* w) {
    w->findChild<QLineEdit*>()->setText(QStringLiteral("typed"));
    dynamic_cast<QDialog*>(w)->reject();
  });
  EXPECT_EQ(Presenter().InputBox(request), "");
}

TEST_F(PlainBox, FolderPromptStartsAtTheFolderAndCancels) {
  testing_support::TempDir dir;
  const FolderRequest request{"Choose the target folder", dir.str()};
  WhenModal([&](QWidget* w) {
    auto* dialog = dynamic_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Choose the target folder"));
    EXPECT_EQ(dialog->directory().absolutePath(), QString::fromStdString(dir.str()));
    Shot(*w, "folder-prompt");
    static_cast<QDialog*>(dialog)->accept();
  });
  EXPECT_EQ(Presenter().BrowseFolder(request), dir.str());
  WhenModal([](QWidget* w) { dynamic_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(Presenter().BrowseFolder(request), "");
}

TEST(FormStyle, PanelsAndLabelsTakeTheSchemeOthersKeepTheirs) {
  ui_testing::EnsureApplication();
  for (const bool tagged : {true, false}) {
    QWidget form;
    if (tagged) form.setProperty(ui::kTagProperty, QStringLiteral("FRM"));
    const QColor formBefore = form.palette().color(QPalette::Window);
    auto* panel = new ui::ElasticPanel(&form);
    auto* label = new QLabel(QStringLiteral("x"), panel);  // nested controls count too
    auto* button = new QPushButton(QStringLiteral("b"), &form);
    auto* edit = new QLineEdit(&form);
    auto* check = new QCheckBox(QStringLiteral("c"), panel);
    const QPalette buttonBefore = button->palette();
    const QPalette editBefore = edit->palette();
    ui::StyleFormControls(form);
    EXPECT_EQ(form.palette().color(QPalette::Window), tagged ? ui::kFormBackColor : formBefore);
    EXPECT_EQ(panel->palette().color(QPalette::Window), ui::kFormBackColor);
    EXPECT_EQ(panel->property(ui::kForeColorProperty).value<QColor>(), ui::kPanelFloodColor);
    EXPECT_EQ(panel->property(ui::kFloodColorProperty).value<QColor>(), ui::kPanelFloodColor);
    EXPECT_EQ(label->palette().color(QPalette::Window), ui::kFormBackColor);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_TRUE(label->autoFillBackground());
    for (const auto role : {QPalette::Button, QPalette::ButtonText, QPalette::Base, QPalette::Text}) {
      EXPECT_EQ(button->palette().color(role), buttonBefore.color(role));
      EXPECT_EQ(edit->palette().color(role), editBefore.color(role));
    }
    EXPECT_FALSE(button->autoFillBackground());
    EXPECT_EQ(check->palette().color(QPalette::WindowText), QColor(Qt::black));
  }
}

using WindowHelpers = ui_testing::WindowTest;

TEST_F(WindowHelpers, WorkAreaIsTheScreensAvailableArea) {
  DesktopWorkArea() = {};
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(ui::WorkAreaWidthPixels(), area.width());
  EXPECT_EQ(DesktopWorkArea().height, area.height() * 15);
}

TEST_F(WindowHelpers, CenterFormInTheWorkArea) {
  QWidget form;
  form.resize(200, 100);
  // Not measured yet: the middle of the screen, at the form's own size.
  DesktopWorkArea() = {};
  ui::CenterForm(form, 300, 300);
  const QSize screen = QGuiApplication::primaryScreen()->size();
  EXPECT_EQ(form.pos(), QPoint((screen.width() - 200) / 2, (screen.height() - 100) / 2));
  EXPECT_EQ(form.size(), QSize(200, 100));
  GetDesktopWorkArea();
  ui::CenterForm(form);
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(form.x(), area.x() + (area.width() - 200) / 2);
  EXPECT_EQ(form.y(), area.y() + (area.height() - 100) / 2);
  // Too large: a place left of and above the work area.
  ui::CenterForm(form, area.width() + 100, 50);
  EXPECT_EQ(form.x(), area.x() - 50);
  EXPECT_EQ(form.width(), area.width() + 100);
}

TEST_F(WindowHelpers, NestedWaitShowsTheHourglassUntilTheOutermostEnd) {
  BeginWait();
  BeginWait();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndWait();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EndWait();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EndWait();  // an extra end
  EXPECT_EQ(WaitCount(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(WindowHelpers, ShowFormModalReturnsThePageResult) {
  for (const int result : {-1, 1}) {
    QDialog page;
    auto* back = new QPushButton(QStringLiteral("« Back"), &page);
    QObject::connect(back, &QPushButton::clicked, &page, [&page, result] {
      PageResult() = result;
      page.hide();
    });
    WhenModal([back](QWidget* w) {
      EXPECT_TRUE(w->isModal());
      back->click();
    });
    EXPECT_EQ(ui::ShowFormModal(page), result);
  }
}

TEST_F(WindowHelpers, ShowOnlyPanelHidesTheOthersAndFits) {
  QWidget form;
  auto* first = new ui::ElasticPanel(&form);
  auto* second = new ui::ElasticPanel(&form);
  first->resize(300, 200);
  second->resize(120, 80);
  form.show();
  ui::ShowOnlyPanel(form, *second, true, 10);
  EXPECT_FALSE(first->isVisible());
  EXPECT_TRUE(second->isVisible());
  EXPECT_EQ(second->pos(), QPoint(10, 10));
  EXPECT_EQ(form.size(), QSize(140, 100));
}

TEST_F(WindowHelpers, TaskbarWindowComesAndGoes) {
  ShowTaskbarWindow();
  ui::TaskbarWindow* window = ui::CurrentTaskbarWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Corvane Backup and Restore System"));
  EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose));
  Shot(*window, "taskbar");
  UnloadTaskbarWindow();
  QTest::qWait(10);
  EXPECT_EQ(ui::CurrentTaskbarWindow(), nullptr);
}

}  // namespace
