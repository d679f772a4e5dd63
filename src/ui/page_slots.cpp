#include "ui/page_slots.h"

namespace tolvarin::ui {

SequencePage ExportSlot(int slot, int backupType, long importMode) {
  const bool migration = importMode == 6;
  switch (slot) {
    case 0: return SequencePage::BackupType;
    case 1: return backupType == 2 ? SequencePage::CustomSelection : SequencePage::Skipped;
    case 2: return migration ? SequencePage::Progress : SequencePage::BackupFile;
    case 3: return migration ? SequencePage::End : SequencePage::Progress;
    default: return SequencePage::End;
  }
}

SequencePage ImportSlot(int slot) {
  switch (slot) {
    case 0: return SequencePage::ImportOptions;
    case 1: return SequencePage::BackupFile;
    case 2: return SequencePage::Progress;
    default: return SequencePage::End;
  }
}

}  // namespace tolvarin::ui
