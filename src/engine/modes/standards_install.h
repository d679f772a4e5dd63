#pragma once
// Mode INSTALLSTANDARDTREES: the state-standards trees of a source folder take the
// place of the publisher's part of the same trees in a course, after the user agreed
// that the standards of other states already installed there may go.
//
// The course's node and link tables are never changed in place: both are copied into
// a work folder, changed there, checked, and put in the place of the live ones
// together (data/table_swap.h), so that a run killed at any moment leaves the course
// with its old tables or its new ones. A swap that a killed run left marked is
// completed at the start of the next installation into that folder.
#include <cstdint>
#include <string>

#include "data/table_records.h"

namespace tolvarin {

inline constexpr const char* kClassificationIni = "classification.ini";

// Asks, for each tree of the destination other than keepTree and tree 1 that has a
// root node, whether it may be removed, and removes its publisher part on
// "Continue". False when the user cancels (trees removed before stay removed). The
// host setting EraseOtherStates of exactly "FALSE" skips the whole check. removed,
// when given, receives the number of trees removed.
bool CheckOtherStateStandards(const StandardRecord& destNodes, const StanQuesRecord& destLinks, std::int16_t keepTree,
                              int* removed = nullptr);

// The installation from one folder into another; the run's status: 0 when the trees
// (and classification.ini, when the source has one) are in place, non-zero after
// saying what failed or when the user cancelled.
int InstallStandardTreesFrom(const std::string& srcPath, const std::string& destPath);

// Mode 3: keys SrcPath and DestPath; either missing ends the run.
int InstallStandardTrees();

}  // namespace tolvarin
