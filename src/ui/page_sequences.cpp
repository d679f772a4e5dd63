// The export and import sequences of the main window: each runs its page loop over
// its slots, closes the set it opened and ends the run.
#include <memory>

#include "core/page_loop.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "core/window_helpers.h"
#include "data/catalogue.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/transfer_state.h"
#include "ui/backup_file_page.h"
#include "ui/backup_type_page.h"
#include "ui/forms.h"
#include "ui/import_windows.h"
#include "ui/main_window_actions.h"
#include "ui/page_slots.h"
#include "ui/select_page.h"

namespace tolvarin::ui {
namespace {

// The pages of one sequence, each made when first needed and loaded afresh at every visit.
struct SequencePages {
  std::unique_ptr<BackupTypePage> backupType;
  std::unique_ptr<BackupFilePage> backupFile;
  TransferEnd transfer = TransferEnd::Done;
};

template <typename P>
int Show(std::unique_ptr<P>& page) {
  if (!page) page = std::make_unique<P>();
  return ShowFormModal(*page);
}

// frmProgress2 as the last page: runs the transfer and leaves PageResult as it was.
int RunProgressSlot(SequencePages& pages) {
  const RunSettings& s = Settings();
  const RunPaths& p = Paths();
  const ProgressPage page = ProgressPageFor(s.Operation, s.ImportMode, CurrentCourse().DisplayName, s.AppPath,
                                            p.PackagePath, p.BackupPath);
  RunProgressPage(page, [&] {
    switch (page.operation) {
      case ProgressOperation::Backup: pages.transfer = DoBackup(); break;
      case ProgressOperation::Migrate: pages.transfer = DoMigrate(); break;
      case ProgressOperation::Restore: pages.transfer = DoRestore(); break;
      case ProgressOperation::None: break;
    }
  });
  return PageResult();
}

PageSlot Slot(std::function<int()> show) { return PageSlot{SlotKind::Page, std::move(show)}; }

EndReason ReasonOf(TransferEnd end) { return end == TransferEnd::Failed ? EndReason::Failed : EndReason::Normal; }

}  // namespace

void RunExportSequence() {
  RunSettings& s = Settings();
  s.Operation = 1;
  PageResult() = 0;  // the first page is reached going forwards
  // What start-up found installed: every arrival at the backup type page starts from
  // it again, so a custom backup's narrowing does not outlive a step back.
  const ContentFlags startFlags = CurrentContentFlags();
  SetSrcToCourse();
  SequencePages pages;
  RunPageLoop(kExportSlots, [&](int slot) -> PageSlot {
    switch (ExportSlot(slot, Transfer().BackupType, s.ImportMode)) {
      case SequencePage::BackupType:
        return Slot([&] {
          SetContentFlags(startFlags);
          return Show(pages.backupType);
        });
      case SequencePage::CustomSelection: return Slot([] { return ShowCustomSelectionPage(); });
      case SequencePage::BackupFile: return Slot([&] { return Show(pages.backupFile); });
      case SequencePage::Progress: return Slot([&] { return RunProgressSlot(pages); });
      case SequencePage::End: return PageSlot{SlotKind::End, nullptr};
      default: return PageSlot{SlotKind::Skipped, nullptr};
    }
  });
  // The set is closed with the families it was opened with.
  SetContentFlags(startFlags);
  CloseSrc();
  EndRun(ReasonOf(pages.transfer));
}

void RunImportSequence() {
  Settings().Operation = 2;
  PageResult() = 0;
  SetDestToCourse();
  SequencePages pages;
  RunPageLoop(kImportSlots, [&](int slot) -> PageSlot {
    switch (ImportSlot(slot)) {
      case SequencePage::ImportOptions: return Slot([] { return ShowImportOptionsPage(); });
      case SequencePage::BackupFile: return Slot([&] { return Show(pages.backupFile); });
      case SequencePage::Progress: return Slot([&] { return RunProgressSlot(pages); });
      case SequencePage::End: return PageSlot{SlotKind::End, nullptr};
      default: return PageSlot{SlotKind::Skipped, nullptr};
    }
  });
  CloseDest();
  EndRun(ReasonOf(pages.transfer));
}

}  // namespace tolvarin::ui
