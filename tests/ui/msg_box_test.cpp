// The facility's box on real windows: every button set and its answers by key,
// Esc and the close box, accelerators and number keys, Ctrl+C, the stored answer,
// the timed and the modeless box, and its size at several text lengths.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "core/box_buttons.h"
#include "core/ini_file.h"
#include "core/message_box.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "support/test_support.h"
#include "ui/forms.h"
#include "ui/msg_box_dialog.h"
#include "ui_fixture.h"

namespace {

using namespace tolvarin;
using ui_testing::Shot;
using ui_testing::WhenModal;

QWidget* Focused(QWidget* window) { return window->focusWidget() ? window->focusWidget() : window; }

QPushButton* Button(QWidget* window, int number) {
  return window->findChild<QPushButton*>(QStringLiteral("btnButton_%1").arg(number));
}

struct KeyCase {
  const char* name;
  int options;
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  int expected;
};

class MsgBoxKeys : public ui_testing::WindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(MsgBoxKeys, AnswerByKey) {
  const KeyCase c = GetParam();
  WhenModal([c](QWidget* w) {
    Shot(*w, std::string("msgbox-keys-") + c.name);
    QTest::keyClick(Focused(w), c.key, c.modifiers);
  });
  EXPECT_EQ(ShowMessageBox("Replace the question?", c.options, "Keys"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, MsgBoxKeys,
    ::testing::Values(KeyCase{"yesno_y", kMbYesNo | kMbQuestion, Qt::Key_Y, Qt::NoModifier, kIdYes},
                      KeyCase{"yesno_n", kMbYesNo, Qt::Key_N, Qt::NoModifier, kIdNo},
                      // No cancel button: Esc is never a yes.
                      KeyCase{"yesno_esc", kMbYesNo, Qt::Key_Escape, Qt::NoModifier, kIdNo},
                      KeyCase{"yesnocancel_esc", kMbYesNoCancel | kMbExclamation, Qt::Key_Escape, Qt::NoModifier,
                              kIdCancel},
                      KeyCase{"yesnocancel_3", kMbYesNoCancel, Qt::Key_3, Qt::NoModifier, kIdCancel},
                      KeyCase{"yesnocancel_keypad2", kMbYesNoCancel, Qt::Key_2, Qt::KeypadModifier, kIdNo},
                      KeyCase{"ok_esc", kMbOkOnly | kMbInformation, Qt::Key_Escape, Qt::NoModifier, kIdOk},
                      KeyCase{"okcancel_esc", kMbOkCancel, Qt::Key_Escape, Qt::NoModifier, kIdCancel},
                      KeyCase{"okcancel_1", kMbOkCancel, Qt::Key_1, Qt::NoModifier, kIdOk},
                      KeyCase{"abort_a", kMbAbortRetryIgnore | kMbCritical, Qt::Key_A, Qt::NoModifier, kIdAbort},
                      KeyCase{"abort_r", kMbAbortRetryIgnore, Qt::Key_R, Qt::NoModifier, kIdRetry},
                      KeyCase{"abort_i", kMbAbortRetryIgnore, Qt::Key_I, Qt::NoModifier, kIdIgnore},
                      KeyCase{"retry_r", kMbRetryCancel, Qt::Key_R, Qt::NoModifier, kIdRetry},
                      KeyCase{"retry_esc", kMbRetryCancel, Qt::Key_Escape, Qt::NoModifier, kIdCancel},
                      // The default button takes Enter.
                      KeyCase{"yesno_default2_enter", kMbYesNo | kMbDefaultButton2, Qt::Key_Return, Qt::NoModifier,
                              kIdNo}),
    [](const auto& info) { return std::string(info.param.name); });

using MsgBoxWindow = ui_testing::WindowTest;

TEST_F(MsgBoxWindow, KeysThatPressNothingLeaveTheBoxOpen) {
  // 3 on a two-button box, a letter no caption holds and Ctrl+Y do nothing.
  WhenModal([](QWidget* w) {
    for (Qt::Key key : {Qt::Key_3, Qt::Key_Q}) QTest::keyClick(Focused(w), key);
    QTest::keyClick(Focused(w), Qt::Key_Y, Qt::ControlModifier);
    QTest::qWait(20);
    EXPECT_TRUE(w->isVisible());
    QTest::keyClick(Focused(w), Qt::Key_N);
  });
  EXPECT_EQ(ShowMessageBox("Go on?", kMbYesNo), kIdNo);
}

TEST_F(MsgBoxWindow, CloseBoxAnswersTheCancelButton) {
  WhenModal([](QWidget* w) { w->close(); });
  EXPECT_EQ(ShowMessageBox("Go on?", kMbYesNoCancel), kIdCancel);
  WhenModal([](QWidget* w) { w->close(); });
  EXPECT_EQ(ShowCustomMsgBox("Permissions", "T", kIconExclamation, "Exit Program", "Continue Anyway", "", 2, 1), 1);
}

TEST_F(MsgBoxWindow, CustomBoxEscPressesItsCancelButton) {
  WhenModal([](QWidget* w) {
    EXPECT_EQ(Button(w, 1)->text(), QStringLiteral("Exit Program"));
    EXPECT_EQ(Button(w, 2)->text(), QStringLiteral("Continue Anyway"));
    EXPECT_FALSE(Button(w, 3)->isVisibleTo(w));
    EXPECT_EQ(w->focusWidget(), Button(w, 2));  // the default button
    Shot(*w, "msgbox-custom");
    QTest::keyClick(Focused(w), Qt::Key_Escape);
  });
  EXPECT_EQ(ShowCustomMsgBox("The folder cannot be written.", "Permissions", kIconStop, "Exit Program",
                             "Continue Anyway", "", 2, 1),
            1);
}

TEST_F(MsgBoxWindow, ClickAndDefaultFocus) {
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->focusWidget(), Button(w, 2));
    EXPECT_TRUE(Button(w, 2)->isDefault());
    QTest::mouseClick(Button(w, 1), Qt::LeftButton);
  });
  EXPECT_EQ(ShowMessageBox("Overwrite?", kMbYesNo | kMbDefaultButton2), kIdYes);
}

TEST_F(MsgBoxWindow, CtrlCCopiesTheBoxAsText) {
  WhenModal([](QWidget* w) {
    QTest::keyClick(Focused(w), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(w->isVisible());  // copying does not answer
    QTest::keyClick(Focused(w), Qt::Key_Return);
  });
  EXPECT_EQ(ShowMessageBox("M", kMbOkOnly, "T"), kIdOk);
  const std::string rule = "---------------------------\r\n";
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), rule + "T\r\n" + rule + "M\r\n" + rule + "OK   \r\n" + rule);
}

TEST_F(MsgBoxWindow, TextsTitleIconAndTopmost) {
  WhenModal([](QWidget* w) {
    EXPECT_EQ(w->objectName(), QStringLiteral("frmMsgBox"));
    EXPECT_EQ(w->windowTitle(), QString::fromLatin1(kApplicationTitle));  // no title given
    EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("lblMessage"))->text(), QStringLiteral("Line one\nLine two"));
    EXPECT_TRUE(w->findChild<QLabel*>(QStringLiteral("imgIcon"))->isVisibleTo(w));
    EXPECT_FALSE(w->findChild<QCheckBox*>(QStringLiteral("chkRemember"))->isVisibleTo(w));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Button(w, 1)->text(), QStringLiteral("&Yes"));
    EXPECT_EQ(Button(w, 2)->text(), QStringLiteral("&No"));
    EXPECT_EQ(Button(w, 3)->text(), QStringLiteral("Cancel"));
    // Buttons left to right, on one line.
    EXPECT_LT(Button(w, 1)->x() + Button(w, 1)->width(), Button(w, 2)->x());
    EXPECT_LT(Button(w, 2)->x() + Button(w, 2)->width(), Button(w, 3)->x());
    EXPECT_EQ(Button(w, 1)->y(), Button(w, 3)->y());
    // The arrow while the box is up.
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    QTest::keyClick(Focused(w), Qt::Key_Escape);
  });
  EXPECT_EQ(ShowMessageBox("Line one\r\nLine two", kMbYesNoCancel | kMbQuestion, ""), kIdCancel);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MsgBoxWindow, NoIconMovesTheMessageLeft) {
  int withIcon = 0;
  int without = 0;
  WhenModal([&](QWidget* w) {
    withIcon = w->findChild<QLabel*>(QStringLiteral("lblMessage"))->x();
    QTest::keyClick(Focused(w), Qt::Key_Return);
  });
  ShowMessageBox("Hello", kMbOkOnly | kMbInformation);
  WhenModal([&](QWidget* w) {
    EXPECT_FALSE(w->findChild<QLabel*>(QStringLiteral("imgIcon"))->isVisibleTo(w));
    without = w->findChild<QLabel*>(QStringLiteral("lblMessage"))->x();
    QTest::keyClick(Focused(w), Qt::Key_Return);
  });
  ShowMessageBox("Hello", kMbOkOnly);
  EXPECT_LT(without, withIcon);
}

// The box's width by the text's length: never wider than 3/5 of the work area, never
// narrower than its buttons, and every line of the message inside the window.
TEST_F(MsgBoxWindow, SizingAtSeveralTextLengths) {
  const int workWidth = ui::WorkAreaWidthPixels();
  ASSERT_GT(workWidth, 0);
  struct Case {
    const char* name;
    std::string text;
    int options;
  };
  const std::string word = "Restoring ";
  std::string longText;
  for (int i = 0; i < 120; ++i) longText += word;
  const std::vector<Case> cases = {
      {"short", "OK?", kMbYesNoCancel},
      {"medium", "The Corvane Backup File already exists.  Continuing will delete all of its contents.", kMbYesNo},
      {"long", longText, kMbOkOnly | kMbCritical},
      {"long_word", std::string(300, 'W'), kMbOkOnly},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WhenModal([&](QWidget* w) {
      Shot(*w, std::string("msgbox-size-") + c.name);
      EXPECT_LE(w->width(), workWidth * 3 / 5);
      auto* label = w->findChild<QLabel*>(QStringLiteral("lblMessage"));
      EXPECT_LE(label->x() + label->width(), w->width());
      EXPECT_LE(label->y() + label->height(), Button(w, 1)->parentWidget()->y());
      // The buttons fit inside the window.
      for (int i = 1; i <= 3; ++i) {
        QPushButton* b = Button(w, i);
        if (!b->isVisibleTo(w)) continue;
        const QPoint right = b->mapTo(w, QPoint(b->width(), b->height()));
        EXPECT_LE(right.x(), w->width());
        EXPECT_LE(right.y(), w->height());
      }
      // Inside the work area.
      EXPECT_GE(w->x(), 0);
      EXPECT_GE(w->y(), 0);
      QTest::keyClick(Focused(w), Qt::Key_Escape);
    });
    ShowMessageBox(c.text, c.options, "Size");
  }
}

TEST_F(MsgBoxWindow, WideButtonsWidenAShortBox) {
  int narrow = 0;
  int wide = 0;
  WhenModal([&](QWidget* w) {
    narrow = w->width();
    QTest::keyClick(Focused(w), Qt::Key_Escape);
  });
  ShowCustomMsgBox("OK?", "T", 0, "A", "", "", 1, 1);
  WhenModal([&](QWidget* w) {
    wide = w->width();
    Shot(*w, "msgbox-wide-buttons");
    // Each caption fits its button.
    for (int i = 1; i <= 3; ++i) {
      QPushButton* b = Button(w, i);
      QString caption = b->text();
      caption.remove(QLatin1Char('&'));
      EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(caption) + 19);
    }
    QTest::keyClick(Focused(w), Qt::Key_Escape);
  });
  ShowCustomMsgBox("OK?", "T", 0, "Replace every question of the exam", "Keep the questions already there",
                   "Cancel the whole restore now", 1, 3);
  EXPECT_GT(wide, narrow);
}

TEST_F(MsgBoxWindow, TimedBoxClosesItselfWithoutButtons) {
  bool seen = false;
  WhenModal([&](QWidget* w) {
    seen = true;
    EXPECT_FALSE(w->findChild<QWidget*>(QStringLiteral("vseButtonGroup"))->isVisibleTo(w));
    Shot(*w, "msgbox-timed");
  });
  EXPECT_EQ(ShowTimedMsgBox("Saved.", "Timed", 150), 1);
  EXPECT_TRUE(seen);
}

TEST_F(MsgBoxWindow, ModelessBoxReturnsAtOnceAndClosesLater) {
  ShowModelessMsgBox("Working in the background.", "Modeless");
  QWidget* box = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QStringLiteral("frmMsgBox") && w->isVisible()) box = w;
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(box->isModal());
  Shot(*box, "msgbox-modeless");
  QPointer<QWidget> alive(box);
  // Its time-out is 9999 ms; the caller may close it first.
  box->close();
  QTest::qWait(10);
  EXPECT_FALSE(alive);
}

class StoredAnswer : public ui_testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    saved_ = Settings().AppPath;
    Settings().AppPath = dir_.str();
  }
  void TearDown() override {
    Settings().AppPath = saved_;
    WindowTest::TearDown();
  }
  testing_support::TempDir dir_;
  std::string saved_;
};

TEST_F(StoredAnswer, RememberedAnswerIsStoredAndGivenBackUnshown) {
  WhenModal([&](QWidget* w) {
    auto* remember = w->findChild<QCheckBox*>(QStringLiteral("chkRemember"));
    ASSERT_TRUE(remember->isVisibleTo(w));
    EXPECT_EQ(remember->text(), QStringLiteral("Remember my answer to this question"));
    auto* label = w->findChild<QLabel*>(QStringLiteral("lblMessage"));
    EXPECT_GE(remember->y(), label->y() + label->height());
    EXPECT_GE(remember->width(), remember->sizeHint().width());  // the caption is not cut off
    Shot(*w, "msgbox-remember");
    remember->setChecked(true);
    // The confirmation comes next, over this box.
    WhenModal(
        [](QWidget* confirm) {
          EXPECT_TRUE(confirm->findChild<QLabel*>(QStringLiteral("lblMessage"))
                          ->text()
                          .startsWith(QStringLiteral("Your choice has been recorded")));
          QTest::keyClick(Focused(confirm), Qt::Key_Return);
        },
        w);
    QTest::keyClick(Focused(w), Qt::Key_2);
  });
  EXPECT_EQ(ShowCustomMsgBox("Overwrite?", "T", kIconQuestion, "Yes", "No", "", 1, 2, 1), 2);
  std::ifstream in(dir_.path() / "MessageBoxDefaults.ini");
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(all.find("Type1=2"), std::string::npos) << all;
  // Given back without a window: a window here would fail the watchdog's wait.
  EXPECT_EQ(ShowCustomMsgBox("Overwrite?", "T", kIconQuestion, "Yes", "No", "", 1, 2, 1), 2);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(StoredAnswer, UntickedAnswerIsNotStored) {
  WhenModal([](QWidget* w) { QTest::keyClick(Focused(w), Qt::Key_1); });
  EXPECT_EQ(ShowCustomMsgBox("Overwrite?", "T", kIconQuestion, "Yes", "No", "", 1, 2, 1), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "MessageBoxDefaults.ini") &&
               std::filesystem::file_size(dir_.path() / "MessageBoxDefaults.ini") > 0);
}

}  // namespace
