#pragma once
// Run-wide flags of a transfer that the pages, the drivers and the engine share.
namespace tolvarin {

struct TransferFlags {
  // Owners of copied rows: True takes them from the package (unchanged, or through
  // the user map when KeepUserIDsUnchanged is False); False makes every owner the
  // logged-in user.
  bool KeepUserIDs = true;
  bool KeepUserIDsUnchanged = true;
  // The standards tree is imported with the rows (import options page, restore driver).
  bool ImportClassificationTree = true;
  bool ImportClassification = true;
  // The export's backup type page: 1 complete, 2 custom.
  int BackupType = 1;
  // The identifiers of the package the backup file page opened (-1: none given).
  int PackageAreaID = -1;
  int PackageCourseID = -1;
};
TransferFlags& Transfer();

}  // namespace tolvarin
