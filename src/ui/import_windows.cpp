#include "ui/import_windows.h"

#include <QCheckBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <array>

#include "core/settings.h"
#include "core/window_helpers.h"
#include "engine/pages/import_options.h"
#include "engine/pages/import_preview.h"
#include "engine/transfer/import_log.h"
#include "engine/transfer/row_copy.h"
#include "ui/form_style.h"
#include "ui/forms.h"
#include "ui/named_controls.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {
namespace {

QLabel* NewLabel(QWidget* parent, const char* name, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

QListWidget* NewList(QWidget* parent, const QString& name) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setSelectionMode(QAbstractItemView::NoSelection);
  list->setMinimumSize(260, 110);
  return list;
}

}  // namespace

RestoreOptionsPage::RestoreOptionsPage(QWidget* parent) : Page(false, parent) {
  setObjectName(QStringLiteral("frmRestore"));
  setWindowTitle(QStringLiteral("Restore Options"));
  setFont(QFont(QStringLiteral("Arial")));
  setProperty(kTagProperty, QStringLiteral("FRM"));
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(NewLabel(this, "lblInstructions", "Select options related to importing content into your database."),
                    0, 0);
  const std::array<std::array<const char*, 4>, 3> boxes{{
      {"chkClassification", " Do not import classification tree", "lblUCTS",
       " (recommended when importing exams temporarily for printing)"},
      {"chkKeepUserIDs", " Import all content into current user's vault", "lblKeepUserIDs",
       " (if unchecked, exams and questions import into their creator's vault)"},
      {"chkPreservePublicIDs", " Import all content with existing ID numbers", "lblPreservePublicIDs",
       " (not recommended, may overwrite existing content with same IDs)"},
  }};
  int row = 1;
  for (const auto& [box, caption, label, note] : boxes) {
    auto* check = new QCheckBox(QString::fromUtf8(caption), this);
    check->setObjectName(QString::fromLatin1(box));
    layout->addWidget(check, row++, 0);
    QLabel* explained = NewLabel(this, label, note);
    explained->setIndent(20);
    layout->addWidget(explained, row++, 0);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  QPushButton* back = NamedButton(this, "cmdBack", "« Back");
  QPushButton* next = NamedButton(this, "cmdContinue", "Continue »");
  buttons->addWidget(back);
  buttons->addWidget(next);
  layout->addLayout(buttons, row, 0);
  connect(back, &QPushButton::clicked, this, [this] { Leave(); });
  // As designed the page leaves on its first activation, so Continue is never reached.
  connect(next, &QPushButton::clicked, this, [this] { Finish(); });
  StyleFormControls(*this);
}

void RestoreOptionsPage::Arrive() {
  // The question comes over the shown page, which then leaves in every case.
  QTimer::singleShot(0, this, [this] {
    ImportOptionsArrival(asked_);
    asked_ = false;
    Leave();
  });
}

ResultsWindow::ResultsWindow(QWidget* parent) : ScriptedWindow(parent) {
  setObjectName(QStringLiteral("frmResults"));
  setWindowTitle(QStringLiteral("Results"));
  setFont(QFont(QStringLiteral("Arial")));
  setProperty(kTagProperty, QStringLiteral("FRM"));
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  auto* message = NewLabel(this, "lblMessage", "");
  message->setWordWrap(true);
  layout->addWidget(message, 0, 0, 1, 3);

  auto* questions = new QGroupBox(QStringLiteral("  Questions  "), this);
  questions->setObjectName(QStringLiteral("Frame6"));
  auto* q = new QVBoxLayout(questions);
  q->addWidget(NewLabel(questions, "lblQMap", "Original Question ID   -> New Question ID"));
  mappedQuests_ = NewList(questions, QStringLiteral("lstMappedQuests"));
  q->addWidget(mappedQuests_);
  layout->addWidget(questions, 1, 0, 3, 1);

  // The frames in their order, each with the list element of its kind, in two
  // columns beside the questions.
  struct Frame {
    const char* name;
    const char* caption;
    int element, row, column;
  };
  const Frame frames[] = {{"Frame1", "  Classes  ", 1, 1, 1},
                          {"Frame2", "  Students  ", 0, 1, 2},
                          {"Frame3", "  Exams  ", 4, 2, 1},
                          {"Frame4", "  Sessions  ", 2, 2, 2},
                          {"Frame5", "  Activities  ", 3, 3, 1}};
  for (const Frame& f : frames) {
    auto* box = new QGroupBox(QString::fromUtf8(f.caption), this);
    box->setObjectName(QString::fromLatin1(f.name));
    auto* inner = new QVBoxLayout(box);
    imported_[f.element] = NewList(box, QStringLiteral("lstImported_%1").arg(f.element));
    inner->addWidget(imported_[f.element]);
    layout->addWidget(box, f.row, f.column);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  QPushButton* next = NamedButton(this, "cmdContinue", "Continue »");
  QPushButton* cancel = NamedButton(this, "cmdCancel", "Cancel");
  buttons->addWidget(next);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 4, 0, 1, 3);
  connect(next, &QPushButton::clicked, this, [this] { ContinueClicked(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  StyleFormControls(*this);
}

void ResultsWindow::Fill() {
  findChild<QLabel*>(QStringLiteral("lblMessage"))->setText(Q(PreviewMessage()));
  mappedQuests_->clear();
  for (const std::string& line : MappedQuestionLines()) mappedQuests_->addItem(Q(line));
  for (int i = 0; i < 5; ++i) {
    imported_[i]->clear();
    for (const PreviewEntry& entry : ImportedItems(i)) imported_[i]->addItem(Q(PreviewItemText(entry)));
  }
  adjustSize();
  CenterForm(*this);
}

void ResultsWindow::ShowPreview(bool& ok) {
  cancelled_ = true;
  Fill();
  ShowFormEx(*this, true);
  ok = !cancelled_;
}

void ResultsWindow::ContinueClicked() {
  // The log cannot be written: the user was told, and the import goes on.
  if (Settings().OfficeMode == 1) WriteImportLog();
  cancelled_ = false;
  accept();
}

void InstallImportPreview() {
  SetImportPreview([] {
    ResultsWindow window;
    bool ok = false;
    window.ShowPreview(ok);
    return ok;
  });
}

int ShowImportOptionsPage() {
  // Made at first need and kept for the run (the run ends through exit()).
  static RestoreOptionsPage* page = new RestoreOptionsPage;
  return ShowFormModal(*page);
}

}  // namespace tolvarin::ui
