#include "ui/named_controls.h"
#include "ui/select_page.h"

#include <QFont>
#include <algorithm>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/system_box.h"
#include "core/window_helpers.h"
#include "engine/transfer/table_mapping.h"
#include "ui/form_style.h"
#include "ui/forms.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {
namespace {

QString Indexed(const char* name, std::size_t index) {
  return QString::fromLatin1(name) + QLatin1Char('_') + QString::number(index);
}

QLabel* NewLabel(QWidget* parent, const QString& name, const QString& text = QString()) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

SelectPage::SelectPage(QWidget* parent) : Page(true, parent) {
  setObjectName(QStringLiteral("frmSelect"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  setFont(QFont(QStringLiteral("Arial")));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  instructions_ = NewLabel(this, QStringLiteral("lblInstructions"));
  instructions_->setWordWrap(true);
  layout->addWidget(instructions_);
  setsLayout_ = new QVBoxLayout;
  setsLayout_->setSpacing(8);
  layout->addLayout(setsLayout_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  QPushButton* back = NamedButton(this, QStringLiteral("cmdBack"), QStringLiteral("« Back"));
  QPushButton* next = NamedButton(this, QStringLiteral("cmdContinue"), QStringLiteral("Continue »"));
  buttons->addWidget(back);
  buttons->addWidget(next);
  layout->addLayout(buttons);
  connect(back, &QPushButton::clicked, this, [this] { BackClicked(); });
  connect(next, &QPushButton::clicked, this, [this] { ContinueClicked(); });
  setProperty(kTagProperty, QStringLiteral("FRM"));
}

void SelectPage::Arrive() {
  rules_.Load();
  BuildSets();
  Refresh();
}

void SelectPage::BuildSets() {
  for (ListSet& s : sets_) delete s.frame;
  sets_.clear();
  const std::vector<SelectList>& lists = rules_.Lists();
  // One width for every set's button column, so that the sets line up.
  int column = GetTextWidthForControl(*this, QStringLiteral("Invert Selection")) + 24;
  for (const SelectList& list : lists) {
    const SelectCaptions captions = CaptionsFor(list.kind);
    column = std::max({column, GetTextWidthForControl(*this, Q(captions.selected) + QStringLiteral("  00000")),
                       GetTextWidthForControl(*this, Q(captions.enterID))});
  }
  for (std::size_t i = 0; i < lists.size(); ++i) {
    ListSet s;
    const SelectCaptions captions = CaptionsFor(lists[i].kind);
    s.frame = new QWidget(this);
    s.frame->setObjectName(Indexed("fraBackup", i));
    auto* grid = new QGridLayout(s.frame);
    grid->setContentsMargins(0, 0, 0, 0);
    s.caption = NewLabel(s.frame, Indexed("lblBackupCaption", i), Q(captions.list));
    grid->addWidget(s.caption, 0, 0, 1, 2);
    s.list = new QListWidget(s.frame);
    s.list->setObjectName(Indexed("lstBackup", i));
    s.list->setSelectionMode(QAbstractItemView::MultiSelection);
    s.list->setMinimumSize(520, 120);
    for (const SelectItem& item : lists[i].items) {
      auto* row = new QListWidgetItem(Q(item.text), s.list);
      row->setData(Qt::UserRole, item.id);
    }
    grid->addWidget(s.list, 1, 0, 7, 1);
    grid->setRowStretch(7, 1);
    QPushButton* all = NamedButton(s.frame, Indexed("cmdSelectAll", i), QStringLiteral("Select All"));
    QPushButton* none = NamedButton(s.frame, Indexed("cmdDeselectAll", i), QStringLiteral("Deselect All"));
    QPushButton* invert = NamedButton(s.frame, Indexed("cmdInvert", i), QStringLiteral("Invert Selection"));
    grid->addWidget(all, 1, 1);
    grid->addWidget(none, 2, 1);
    grid->addWidget(invert, 3, 1);
    auto* count = new QHBoxLayout;
    count->addWidget(NewLabel(s.frame, Indexed("lblSelected", i), Q(captions.selected)));
    s.selectedValue = NewLabel(s.frame, Indexed("lblSelectedValue", i), QStringLiteral("0"));
    count->addWidget(s.selectedValue);
    count->addStretch();
    grid->addLayout(count, 4, 1);
    // Only the questions set takes typed identifiers.
    if (lists[i].kind == kKindQuestions) {
      grid->addWidget(NewLabel(s.frame, Indexed("lblEnterID", i), Q(captions.enterID)), 5, 1);
      s.enterID = new QLineEdit(s.frame);
      s.enterID->setObjectName(Indexed("txtEnterID", i));
      grid->addWidget(s.enterID, 6, 1);
      connect(s.enterID, &QLineEdit::returnPressed, this, [this, i] {
        rules_.EnterID(i, S(sets_[i].enterID->text()));
        Refresh();
      });
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(1, column);
    for (QPushButton* button : {all, none, invert}) button->setFixedWidth(column);
    connect(s.list, &QListWidget::itemSelectionChanged, this, [this, i] { ListChanged(i); });
    connect(all, &QPushButton::clicked, this, [this, i] {
      rules_.SelectAll(i);
      Refresh();
    });
    connect(none, &QPushButton::clicked, this, [this, i] {
      rules_.DeselectAll(i);
      Refresh();
    });
    connect(invert, &QPushButton::clicked, this, [this, i] {
      rules_.Invert(i);
      Refresh();
    });
    setsLayout_->addWidget(s.frame);
    sets_.push_back(s);
  }
  StyleFormControls(*this);
}

// The user changed a list: each item that now differs from the rules' state is a
// click on it (mouse or keyboard), handed over in list order.
void SelectPage::ListChanged(std::size_t set) {
  if (refreshing_) return;
  const std::vector<SelectItem>& items = rules_.Lists()[set].items;
  QListWidget* list = sets_[set].list;
  for (int row = 0; row < list->count() && row < static_cast<int>(items.size()); ++row) {
    const bool selected = list->item(row)->isSelected();
    if (selected != items[static_cast<std::size_t>(row)].selected) rules_.Click(set, row, selected);
  }
  Refresh();
}

void SelectPage::Refresh() {
  refreshing_ = true;
  const std::vector<SelectList>& lists = rules_.Lists();
  for (std::size_t i = 0; i < sets_.size(); ++i) {
    QListWidget* list = sets_[i].list;
    // One change of the whole selection: item by item is slow on long lists.
    QItemSelection selection;
    const std::vector<SelectItem>& items = lists[i].items;
    for (int row = 0; row < list->count(); ++row) {
      if (!items[static_cast<std::size_t>(row)].selected) continue;
      int last = row;
      while (last + 1 < list->count() && items[static_cast<std::size_t>(last) + 1].selected) ++last;
      selection.select(list->model()->index(row, 0), list->model()->index(last, 0));
      row = last;
    }
    list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (lists[i].current >= 0) list->setCurrentRow(lists[i].current, QItemSelectionModel::NoUpdate);
    sets_[i].selectedValue->setText(QString::number(lists[i].SelectedCount()));
    sets_[i].frame->hide();
  }
  for (std::size_t set : rules_.SetsOnPage()) sets_[set].frame->show();
  instructions_->setText(Q(rules_.Instructions()));
  refreshing_ = false;
  adjustSize();
  CenterForm(*this);
}

void SelectPage::BackClicked() {
  if (rules_.Back() == PageStep::Leave) {
    Leave();
    return;
  }
  Refresh();
}

void SelectPage::ContinueClicked() {
  if (rules_.Continue() == PageStep::Done) {
    Finish();
    return;
  }
  Refresh();
}

int ShowCustomSelectionPage() {
  // Made at first need and kept for the run (the run ends through exit()); each
  // visit loads it afresh.
  static SelectPage* page = new SelectPage;
  return ShowFormModal(*page);
}

}  // namespace tolvarin::ui
