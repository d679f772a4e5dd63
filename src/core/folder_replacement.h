#pragma once
// A folder written whole beside the one it replaces takes that one's place by two
// renames: the old one steps aside into "<folder>.tolvarin-old", the new one
// ("<folder>.tolvarin-new") is renamed in, then the old one goes. The old one steps
// aside only once the new one is complete, so a run killed at any point leaves the old
// folder or the new one, and the next run's SettleFolderReplacement finishes the work.
#include <functional>
#include <string>

namespace tolvarin {

std::string NewFolderBeside(const std::string& folder);
std::string OldFolderBeside(const std::string& folder);

// What the new folder keeps of the one it replaced, moved from `old` into `placed` (the
// new folder in its place) before the old one goes; false when something stayed.
using KeepFromReplaced = std::function<bool(const std::string& old, const std::string& placed)>;

// The new folder beside `target` takes its place (or simply arrives when there was
// none). False when it could not: the old folder is then back in place.
bool PutNewFolderInPlace(const std::string& target, const KeepFromReplaced& keep = nullptr);

// Finishes or undoes what a run killed in PutNewFolderInPlace left, and removes a new
// folder that never took its place (it was not complete).
void SettleFolderReplacement(const std::string& target, const KeepFromReplaced& keep = nullptr);

// Removes a folder with everything in it; true when nothing of it is left.
bool RemoveFolderWhole(const std::string& folder);

}  // namespace tolvarin
