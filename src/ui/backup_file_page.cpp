#include "ui/backup_file_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTimer>

#include "core/box_buttons.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "data/catalogue.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/package/backup_folder.h"
#include "engine/package/packages.h"
#include "engine/transfer/transfer_state.h"
#include "platform/profile/profile.h"
#include "ui/backup_file_rules.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {
namespace {

constexpr const char* kImportInstructions =
    "Select an Corvane Backup folder from which you want to import content.  This content will be appended to your "
    "existing course database, so if the same Corvane Backup Folder is imported twice, the content will be "
    "duplicated.";
constexpr const char* kExportInstructions =
    "Select an existing folder into which you want this Corvane Backup File placed.  Your Corvane Backup File will "
    "be created as a zip file in the folder you choose and the content will be exported into this file.";

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

// The staging folder, made when missing and emptied, of folders too.
std::string EmptyStagingFolder() {
  const std::string staging = CorTempFolder();
  CreateFolderTree(staging);
  DeleteFolderFiles(FindPath(staging), true, "");
  return staging;
}

}  // namespace

BackupFilePage::BackupFilePage(QWidget* parent) : Page(true, parent) {
  setObjectName(QStringLiteral("frmFolder"));
  setWindowTitle(QStringLiteral("Folder Selection"));
  instructions_ = Label(this, "lblInstructions", QString());
  instructions_->setWordWrap(true);
  drive_ = new QComboBox(this);
  drive_->setObjectName(QStringLiteral("drvDrive"));
  folders_ = new QListWidget(this);
  folders_->setObjectName(QStringLiteral("dirFolder"));
  files_ = new QListWidget(this);
  files_->setObjectName(QStringLiteral("fileList"));
  nameLabel_ = Label(this, "lblName", QStringLiteral("Corvane Backup File Name:"));
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("txtName"));
  path_ = Label(this, "lblPath", QString());
  path_->setWordWrap(true);
  path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* back = new QPushButton(QStringLiteral("« Back"), this);
  back->setObjectName(QStringLiteral("cmdBack"));
  back->setAutoDefault(false);
  continue_ = new QPushButton(QStringLiteral("Continue »"), this);
  continue_->setObjectName(QStringLiteral("cmdContinue"));
  continue_->setAutoDefault(false);

  auto* layout = new QGridLayout(this);
  layout->addWidget(instructions_, 0, 0, 1, 2);
  layout->addWidget(Label(this, "lblDrive", QStringLiteral("Drive:")), 1, 0);
  layout->addWidget(drive_, 2, 0);
  layout->addWidget(Label(this, "lblFolder", QStringLiteral("Folder:")), 3, 0);
  layout->addWidget(folders_, 4, 0);
  layout->addWidget(Label(this, "Label1", QStringLiteral("File:")), 1, 1);
  layout->addWidget(files_, 2, 1, 3, 1);
  layout->addWidget(nameLabel_, 5, 0, 1, 2);
  layout->addWidget(name_, 6, 0, 1, 2);
  layout->addWidget(Label(this, "lblPathLabel", QStringLiteral("Corvane Backup File Path:")), 7, 0, 1, 2);
  layout->addWidget(path_, 8, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addStretch(1);
  buttons->addWidget(continue_);
  layout->addLayout(buttons, 9, 0, 1, 2);
  layout->setColumnStretch(0, 1);
  layout->setColumnStretch(1, 1);
  setMinimumSize(600, 480);

  connect(drive_, &QComboBox::activated, this, [this](int index) {
    // A drive that cannot be read leaves both lists as they were.
    const std::string root = S(drive_->itemData(index).toString());
    if (!root.empty() && FolderExists(root)) OpenFolder(root);
  });
  // A click highlights a folder (the path follows it on the next change of the
  // name); opening it is a double click or Enter.
  connect(folders_, &QListWidget::itemClicked, this, [this](QListWidgetItem*) { ShowFiles(HighlightedFolder()); });
  connect(folders_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
    OpenFolder(S(item->data(Qt::UserRole).toString()));
  });
  connect(files_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { name_->setText(item->text()); });
  connect(name_, &QLineEdit::textChanged, this, [this] { NameChanged(); });
  connect(back, &QPushButton::clicked, this, [this] { Leave(); });
  connect(continue_, &QPushButton::clicked, this, [this] { Exporting() ? ContinueExport() : ContinueImport(); });
}

bool BackupFilePage::Exporting() const { return Settings().Operation == 1; }

void BackupFilePage::Arrive() {
  RunPaths& p = Paths();
  Diagnostic("Folder chooser begin: " + Settings().AppPath);
  drive_->clear();
  const QString appPath = Q(Settings().AppPath);
  int driveOfApp = 0;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    const QString root = volume.rootPath();
    drive_->addItem(root, root);
    // The volume holding AppPath: the longest root it lies under.
    if (appPath.startsWith(root) && root.size() >= drive_->itemText(driveOfApp).size())
      driveOfApp = drive_->count() - 1;
  }
  drive_->setCurrentIndex(driveOfApp);
  Diagnostic("Set Drive");
  if (!p.PackagePath.empty()) {
    const size_t slash = p.PackagePath.rfind('/');
    if (slash != std::string::npos) p.BackupPath = p.PackagePath.substr(0, slash + 1);
  }
  name_->blockSignals(true);
  name_->clear();
  name_->blockSignals(false);
  OpenFolder(ExistingFolderAtOrAbove(p.BackupPath.empty() ? Settings().AppPath : p.BackupPath));
  Diagnostic("Set Path");
  const bool exporting = Exporting();
  instructions_->setText(QString::fromUtf8(exporting ? kExportInstructions : kImportInstructions));
  nameLabel_->setVisible(exporting);
  name_->setVisible(exporting);
  UpdatePath();
  Diagnostic("Update Path");
  Diagnostic("Folder chooser end");
}

void BackupFilePage::showEvent(QShowEvent* event) {
  Page::showEvent(event);
  // Form_Activate: the name for an export, the folders for an import.
  QTimer::singleShot(0, this, [this] { (Exporting() ? static_cast<QWidget*>(name_) : folders_)->setFocus(); });
}

void BackupFilePage::OpenFolder(const std::string& folder) {
  const FolderListing listing = ListFolder(folder);
  folders_->clear();
  for (const FolderEntry& entry : listing.entries) {
    auto* item = new QListWidgetItem(Q(entry.name), folders_);
    item->setData(Qt::UserRole, Q(entry.path));
  }
  folders_->setCurrentRow(listing.open);
  UpdatePath();
  ShowFiles(HighlightedFolder());
}

void BackupFilePage::ShowFiles(const std::string& folder) {
  files_->clear();
  for (const std::string& file : PackageFiles(folder)) files_->addItem(Q(file));
}

std::string BackupFilePage::HighlightedFolder() const {
  const QListWidgetItem* item = folders_->currentItem();
  return item ? S(item->data(Qt::UserRole).toString()) : std::string("/");
}

void BackupFilePage::NameChanged() {
  if (cleaning_) return;
  const std::string typed = S(name_->text());
  const std::string cleaned = CleanPackageName(typed);
  if (cleaned != typed) {
    const int caret = name_->cursorPosition();
    cleaning_ = true;
    name_->setText(Q(cleaned));
    name_->setCursorPosition(std::min(caret, static_cast<int>(name_->text().size())));
    cleaning_ = false;
  }
  UpdatePath();
}

void BackupFilePage::UpdatePath() {
  const std::string name = S(name_->text());
  chosen_ = PackagePathFor(HighlightedFolder(), name);
  const PathShown shown = ShowPath(chosen_, name, Exporting());
  path_->setText(Q(shown.label));
  continue_->setEnabled(shown.continueEnabled);
}

void BackupFilePage::ContinueExport() {
  RunPaths& p = Paths();
  // Checked before anything is written: the page stays for another name.
  if (const std::string problem = PackageNameProblem(S(name_->text())); !problem.empty()) {
    MsgBox(problem, kMbExclamation);
    return;
  }
  // The old package stays as it is until the new one has been written and checked,
  // which then takes its place; a backup that fails leaves it whole.
  if (FileExists(chosen_) &&
      MsgBox("WARNING: the Corvane Backup File \"" + chosen_ +
                 "\" already exists.  Continuing will delete ALL existing contents of this Corvane Backup File "
                 "before proceeding.\r\n\r\nAre you sure you want to replace ALL contents of this Corvane Backup "
                 "File?",
             kMbYesNo | kMbCritical | kMbDefaultButton2) != kIdYes)
    return;
  p.PackagePath = chosen_;
  p.BackupPath = EmptyStagingFolder();
  Finish();
}

void BackupFilePage::ContinueImport() {
  RunPaths& p = Paths();
  p.BackupPath = EmptyStagingFolder();
  p.PackagePath = chosen_;
  const std::string notValid =
      "\"" + chosen_ + "\" is not a valid Corvane Backup Folder.  Please call Corvane for more information.";
  if (const PackageResult unzipped = UnzipPackage(); !unzipped.ok) {
    MsgBox(unzipped.notAPackage ? notValid
                                : "The Corvane Backup File \"" + chosen_ + "\" could not be unpacked: " +
                                      unzipped.error + ".",
           kMbCritical);
    return;
  }
  const std::string description = FindPath(JoinPath(p.BackupPath, kDescriptionFile));
  const bool found = FileExists(description);
  const std::string area = found ? profile::GetString(description, "Tolvarin", "AreaID", "") : "";
  const std::string course = found ? profile::GetString(description, "Tolvarin", "CourseID", "") : "";
  int areaId = -1;
  int courseId = -1;
  const PackageOwner owner = CheckPackageOwner(found, area, course, CurrentArea().AreaID, CurrentCourse().CourseID,
                                               &areaId, &courseId);
  if (owner == PackageOwner::NotValid) {
    MsgBox(notValid, kMbCritical);
    return;
  }
  // A damaged package is refused before the teacher is asked anything more.
  if (!PackageIsUsable()) return;
  if (owner == PackageOwner::OtherCourse &&
      MsgBox("\"" + chosen_ +
                 "\" is an Corvane Backup Folder for another database, but the database you are restoring to is " +
                 CurrentCourse().DisplayName + ".  Would you like to restore this folder's content anyway?",
             kMbYesNo | kMbQuestion) != kIdYes)
    return;
  Transfer().PackageAreaID = areaId;
  Transfer().PackageCourseID = courseId;
  Finish();
}

}  // namespace tolvarin::ui
