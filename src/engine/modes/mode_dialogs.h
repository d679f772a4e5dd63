#pragma once
// The modes that are one dialog each: the gradebook's restore (mode 6 with
// Operation 2) and the repair of chosen tables (mode 8).
namespace tolvarin {

// Each shows its dialog modally and returns the run's status when it closes: 0, or
// 1 when there is no window session to show it in (the user is told).
int PrecisionRestore();
int RepairCorruptTable();

}  // namespace tolvarin
