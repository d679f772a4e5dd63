#pragma once
// Which page each slot of the export and import sequences holds.
namespace tolvarin::ui {

enum class SequencePage { BackupType, CustomSelection, BackupFile, Progress, ImportOptions, Skipped, End };

inline constexpr int kExportSlots = 4;
inline constexpr int kImportSlots = 3;

// Export: the backup type page; the custom selection page of a custom backup
// (backupType 2, otherwise skipped); the backup file page and then the progress
// window, except in a migration (importMode 6), which has no file page and ends
// after its progress window.
SequencePage ExportSlot(int slot, int backupType, long importMode);
// Import: the import options page, the backup file page, the progress window.
SequencePage ImportSlot(int slot);

}  // namespace tolvarin::ui
