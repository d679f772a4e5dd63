#include "ui/office_window.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/box_buttons.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "engine/modes/remap_options.h"
#include "ui/form_style.h"
#include "ui/forms.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {

OfficeWindow::OfficeWindow() {
  setObjectName(QStringLiteral("frmOffice"));
  setWindowTitle(QStringLiteral("Office Tolvarin"));
  auto* layout = new QVBoxLayout(this);
  auto* frame = new QGroupBox(QStringLiteral("Special Mode"), this);
  frame->setObjectName(QStringLiteral("fraMode"));
  auto* options = new QVBoxLayout(frame);
  modes_ = new QButtonGroup(this);
  for (int i = 0; i < kRemapOptions; ++i) {
    auto* option = new QRadioButton(QString::fromLatin1(RemapOptionAt(i).caption), frame);
    option->setObjectName(QStringLiteral("optMode_%1").arg(i));
    modes_->addButton(option, i);
    options->addWidget(option);
  }
  layout->addWidget(frame);
  auto* boxes = new QFormLayout();
  start_ = new QLineEdit(this);
  start_->setObjectName(QStringLiteral("txtStart"));
  end_ = new QLineEdit(this);
  end_->setObjectName(QStringLiteral("txtEnd"));
  examId_ = new QLineEdit(this);
  examId_->setObjectName(QStringLiteral("txtExamID"));
  boxes->addRow(QStringLiteral("Range Start:"), start_);
  boxes->addRow(QStringLiteral("Range End:"), end_);
  boxes->addRow(QStringLiteral("Exam ID:"), examId_);
  layout->addLayout(boxes);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  layout->addWidget(ok, 0, Qt::AlignRight);
  connect(ok, &QPushButton::clicked, this, [this] { Accept(); });

  if (QAbstractButton* current = modes_->button(RemapOptionFor(Settings().ImportMode))) current->setChecked(true);
  const RemapNumbers numbers = ReadRemapNumbers(Settings().AppPath);
  start_->setText(Q(numbers.rangeStart));
  end_->setText(Q(numbers.rangeEnd));
  examId_->setText(Q(numbers.newExamId));
  StyleFormControls(*this);
  adjustSize();
  CenterForm(*this);
}

void OfficeWindow::Accept() {
  const int option = modes_->checkedId();  // -1 when none is chosen
  const RemapNumbers numbers{S(start_->text()), S(end_->text()), S(examId_->text())};
  if (const auto problem = RemapNumbersProblem(option, numbers)) {
    MsgBox(*problem, kMbExclamation);
    return;
  }
  if (!WriteRemapOptions(Settings().AppPath, option, numbers)) {
    MsgBox("The remap options could not be written to " + JoinPath(Settings().AppPath, "Kestal.INI") + ".",
           kMbCritical);
    return;
  }
  accept();
}

void ShowOfficeDialog() {
  OfficeWindow window;
  window.exec();
}

}  // namespace tolvarin::ui
