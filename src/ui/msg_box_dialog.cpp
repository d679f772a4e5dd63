#include "ui/msg_box_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "core/message_box.h"
#include "core/window_helpers.h"
#include "ui/elastic_panel.h"
#include "ui/form_style.h"
#include "ui/forms.h"
#include "ui/message_label.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {
namespace {

// The design's sizes, in pixels.
constexpr int kMargin = 16;         // around the content
constexpr int kIconSize = 32;
constexpr int kIconGap = 14;        // between the icon and the message
constexpr int kButtonLeft = 8;      // button 1 inside its panel, and the same on the right
constexpr int kButtonTop = 4;
constexpr int kButtonWidth = 81;    // a button never gets narrower
constexpr int kVerticalOffset = 14; // from the content to the button panel

QStyle::StandardPixmap StockIcon(int style) {
  switch (style) {
    case kIconStop: return QStyle::SP_MessageBoxCritical;
    case kIconQuestion: return QStyle::SP_MessageBoxQuestion;
    case kIconExclamation: return QStyle::SP_MessageBoxWarning;
    default: return QStyle::SP_MessageBoxInformation;
  }
}

// The window system's key code of a Qt key: letters and digits as their
// characters, the keypad's digits from 96, Esc 27.
int KeyCodeOf(const QKeyEvent& event) {
  const int key = event.key();
  if (key == Qt::Key_Escape) return kKeyEscape;
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    if (event.modifiers() & Qt::KeypadModifier) return kKeyNumpad0 + (key - Qt::Key_0);
    return '0' + (key - Qt::Key_0);
  }
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  return 0;
}

}  // namespace

MsgBoxDialog::MsgBoxDialog(const BoxRequest& box, QWidget* parent) : QDialog(parent), box_(box) {
  setObjectName(QStringLiteral("frmMsgBox"));
  setWindowTitle(QStringLiteral("Ludora! Message Box"));
  setFont(QFont(QStringLiteral("Arial")));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  for (std::size_t i = 0; i < captions_.size() && i < box_.captions.size(); ++i) captions_[i] = box_.captions[i];

  back_ = new ElasticPanel(this);
  back_->setObjectName(QStringLiteral("vseBack"));
  icon_ = new QLabel(back_);
  icon_->setObjectName(QStringLiteral("imgIcon"));
  message_ = new MessageLabel(back_);
  message_->setObjectName(QStringLiteral("lblMessage"));
  message_->setTextFormat(Qt::PlainText);
  message_->setWordWrap(true);
  message_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  message_->setTextInteractionFlags(Qt::NoTextInteraction);
  remember_ = new QCheckBox(QString::fromLatin1(kRememberCaption), back_);
  remember_->setObjectName(QStringLiteral("chkRemember"));
  buttonGroup_ = new ElasticPanel(back_);
  buttonGroup_->setObjectName(QStringLiteral("vseButtonGroup"));
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    auto* button = new QPushButton(buttonGroup_);
    button->setObjectName(QStringLiteral("btnButton_%1").arg(i + 1));
    button->setAutoDefault(false);
    const int number = static_cast<int>(i) + 1;
    connect(button, &QPushButton::clicked, this, [this, number] { Press(number); });
    button->installEventFilter(this);
    buttons_[i] = button;
  }
  remember_->installEventFilter(this);
  unload_.setObjectName(QStringLiteral("tmrUnload"));
  unload_.setSingleShot(true);
  unload_.setInterval(1);
  connect(&unload_, &QTimer::timeout, this, [this] { done(answer_); });

  // Closing the window other than by a button answers as the cancel button.
  answer_ = box_.cancelButton;
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  cursorPushed_ = true;
  setWindowTitle(Q(box_.title));
  Layout();
}

MsgBoxDialog::~MsgBoxDialog() {
  if (cursorPushed_) QApplication::restoreOverrideCursor();
}

void MsgBoxDialog::Layout() {
  MsgBoxDesign design;
  design.workAreaWidth = WorkAreaWidthPixels();
  const bool hasIcon = box_.icon >= 1;
  const int labelLeft = hasIcon ? kMargin + kIconSize + kIconGap : kMargin;
  design.horizontalMargin = labelLeft + kMargin;
  design.buttonLeft = kButtonLeft;
  design.buttonWidth = kButtonWidth;
  const int buttonHeight = buttons_[0]->sizeHint().height();
  design.buttonPanelHeight = buttonHeight + 2 * kButtonTop;
  design.contentTop = kMargin;
  design.iconHeight = hasIcon ? kIconSize : 0;
  const bool remember = box_.recallType >= 1;
  design.checkBoxHeight = remember ? remember_->sizeHint().height() : 0;
  design.verticalOffset = kVerticalOffset;

  std::array<int, 3> captionWidths{};
  std::array<bool, 3> shown{};
  for (std::size_t i = 0; i < 3; ++i) {
    shown[i] = !captions_[i].empty();
    buttons_[i]->setVisible(shown[i]);
    if (!shown[i]) continue;
    buttons_[i]->setText(Q(captions_[i]));
    // The accelerator's "&" takes no room.
    QString visible = Q(captions_[i]);
    visible.remove(QLatin1Char('&'));
    captionWidths[i] = GetTextWidthForControl(*buttons_[i], visible);
  }
  StyleFormControls(*this);

  if (hasIcon) {
    const QIcon stock = style()->standardIcon(StockIcon(box_.icon), nullptr, this);
    icon_->setPixmap(stock.pixmap(kIconSize, kIconSize));
  }
  icon_->setVisible(hasIcon);

  const QString text = Q(box_.text);
  message_->setText(text);
  MsgBoxLayout layout;
  LayoutMsgBoxButtons(design, captionWidths, shown, layout);
  // Two pixels over the measure, so that a line measured to fit is not wrapped by
  // the label's own rounding.
  int textWidth = GetTextWidthForControl(*message_, text) + 2;
  // The check box's caption is never cut off: it widens a short message's line.
  if (remember) textWidth = std::max(textWidth, remember_->sizeHint().width());
  const int labelWidth = MsgBoxLabelWidth(design, textWidth, layout.buttonPanelWidth);
  const int labelHeight = message_->heightForWidth(labelWidth);
  layout = LayoutMsgBox(design, captionWidths, shown, textWidth, labelHeight);

  icon_->setGeometry(kMargin, layout.iconTop, kIconSize, kIconSize);
  message_->setGeometry(labelLeft, layout.labelTop, layout.labelWidth, labelHeight);
  remember_->setVisible(remember);
  if (remember)
    remember_->setGeometry(labelLeft, layout.checkBoxTop, layout.windowWidth - 8 - labelLeft, design.checkBoxHeight);
  for (std::size_t i = 0; i < 3; ++i) {
    if (layout.buttons[i].visible)
      buttons_[i]->setGeometry(layout.buttons[i].left, kButtonTop, layout.buttons[i].width, buttonHeight);
  }
  // A box without buttons (a timed box) hides the panel and keeps no room for it.
  const bool anyButton = shown[0] || shown[1] || shown[2];
  buttonGroup_->setVisible(anyButton);
  int height = layout.windowHeight;
  if (anyButton) {
    buttonGroup_->setGeometry(layout.buttonPanelLeft, layout.buttonPanelTop, layout.buttonPanelWidth,
                              design.buttonPanelHeight);
  } else {
    height = layout.buttonPanelTop - kVerticalOffset + kMargin;
  }
  setFixedSize(layout.windowWidth, height);
  back_->setGeometry(0, 0, layout.windowWidth, height);
  CenterForm(*this);
}

void MsgBoxDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (activated_) return;
  activated_ = true;
  const int number = box_.defaultButton;
  if (number >= 1 && number <= 3 && buttons_[static_cast<std::size_t>(number - 1)]->isVisibleTo(this)) {
    QPushButton* button = buttons_[static_cast<std::size_t>(number - 1)];
    button->setDefault(true);
    button->setFocus(Qt::ActiveWindowFocusReason);
  }
  CenterForm(*this);
  if (box_.timeoutMs > 0) {
    unload_.setInterval(box_.timeoutMs);
    unload_.start();
  }
}

void MsgBoxDialog::Press(int button) {
  answer_ = button;
  remembered_ = remember_->isVisibleTo(this) && remember_->isChecked();
  unload_.setInterval(1);
  unload_.start();
}

QString MsgBoxDialog::ClipboardText() const {
  // Lines stay CR LF ended, as other programs read them.
  return QString::fromUtf8(MsgBoxClipboardText(box_.title, box_.text, captions_));
}

bool MsgBoxDialog::HandleKey(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const int code = ctrl && event->key() == Qt::Key_C ? kKeyC : KeyCodeOf(*event);
  if (code == 0) return ctrl;  // other Ctrl combinations do nothing
  const MsgBoxKey key = MsgBoxKeyDown(code, ctrl, captions_, box_.cancelButton);
  switch (key.action) {
    case MsgBoxKeyAction::Copy:
      QGuiApplication::clipboard()->setText(ClipboardText());
      return true;
    case MsgBoxKeyAction::Press:
      Press(key.button);
      return true;
    case MsgBoxKeyAction::None:
      return ctrl || code == kKeyEscape;
  }
  return false;
}

void MsgBoxDialog::keyPressEvent(QKeyEvent* event) {
  if (!HandleKey(event)) QDialog::keyPressEvent(event);
}

bool MsgBoxDialog::eventFilter(QObject* watched, QEvent* event) {
  // The window sees keys before its buttons.
  if (event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event))) return true;
  return QDialog::eventFilter(watched, event);
}

void MsgBoxDialog::reject() {
  // The close box: the answer stays the cancel button's (or the pressed one's).
  done(answer_);
}

}  // namespace tolvarin::ui
