#pragma once
// The identifier every selected source row carries in the destination, decided
// before anything is copied: each table's IDMap, the image map, the user map and the
// standards-node map, filled by the run's remap mode (ImportMode 1 default,
// 2 REMAPTOCORVANE, 3 REMAPNOTHING, 4 REMAPTORANGE, 5 REMAPOFFSET, 6 REMAPBYCOURSE,
// 7 REMAPFROMID; a backup or gradebook export keeps every identifier).
//
// New identifiers are only ever ones the destination does not hold (rows, and image
// files for images) and that no other row of the transfer takes; a window that runs
// out stops the transfer before anything is written. Rows meant to keep their
// identifier (REMAPNOTHING, REMAPOFFSET, REMAPBYCOURSE, kept users, rows the user
// chose to overwrite, and REMAPFROMID's questions, whose overwrites the copy asks
// about) are not moved, with two exceptions: in an interactive import a row that would
// write over a destination row the teacher did not agree to write over is added
// beside it under a new identifier (MoveRowsOffKeptRows), and a REMAPOFFSET whose
// identifiers meet the course's own rows, or any mapping past seven digits, stops the
// transfer before anything is written.
#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>

#include "engine/transfer/table_mapping.h"

namespace tolvarin {

// Fills every map after the selection. False when a table's (or the images') window
// has no free identifier left: the run was told, and nothing may be copied.
bool BuildMappings();

// The steps BuildMappings takes, for the drivers' and the tests' use.
void InitImageMapping();
void MapID(TableMapping& mapping, std::int32_t oldID);
void KeepSameID(TableMapping& mapping, std::int32_t oldID);
void ResolveExistingRow(TableMapping& mapping, std::int32_t oldID);
void MapImage(std::int32_t oldImageID);
void MapUser(std::int32_t oldUserID);
void MapCategory(const std::string& nodeKeyText);

// The new identifier of a source row of table t (12 users, 16 image files); 0 when
// the row is not copied.
std::int32_t LookupNewID(std::int32_t tableNo, std::int32_t oldID);
// Where a reference to a source row of table t leads: its new identifier, or for a
// question left out that the duplicate check found in the destination, that
// question; 0 when it leads to nothing this transfer brings.
std::int32_t LookupReferenceID(std::int32_t tableNo, std::int32_t oldID);
std::int32_t LookupNewUserID(std::int32_t oldUserID);
// The new identifiers of a table's selected rows: the destination rows its copy adds or writes over.
std::unordered_set<std::int32_t> NewIDsOf(const TableMapping& mapping);

// The maps themselves, read by the copy, the activity rewrite and the preview.
const IdMap& ImageMap();
std::int32_t NextImageID();
const IdMap& UserMap();
std::int32_t LastUserID();
// Old node key text (StandardKeyString) to new.
const std::map<std::string, std::string>& StandardNodeMap();
// The new node key of a node key text: its map entry, else the key itself.
std::string MappedNodeKey(const std::string& nodeKeyText);
// The selected node is one the destination held before this transfer (a restore that
// keeps every identifier meeting the teacher's nodes it restored before).
bool NodeWasInDestination(const std::string& nodeKeyText);

// The teacher agreed to write over the destination's row of this identifier (by the
// identifier box of a question or exam, by the name box of an exam, session, class or
// activity, or by "Yes to All"), or took it back (No to a later name box).
void AgreeToOverwrite(const TableMapping& mapping, std::int32_t destID, bool agreed);
// A question the teacher chose not to write over that the duplicate check found in the
// destination as this question: the question is not copied, references to it lead there.
void LinkToDestinationQuestion(std::int32_t oldID, std::int32_t destID);
// Whether the teacher refused a question of the package (its identifier box answered No).
bool AnyQuestionRefused();

// Into a live course (restore, import, migration), once the maps are final: an exam
// question or session question that names a question, exam or session the transfer
// does not bring (refused, or missing from the package) is left out, since it would
// otherwise join the destination's row of that number. Each counts in LeftOutCount.
void LeaveOutUnresolvedRows();
// How many rows and references the transfer left out because they named what it does
// not bring (counted from BuildMappings on, the copy's included).
int LeftOutCount();
void CountLeftOut(int n);
// The sentence that tells the user so, "" when nothing was left out.
std::string LeftOutText();

// The text of the stop when a window runs out.
std::string WindowExhaustedText(const std::string& what, std::int32_t first, std::int32_t last);

}  // namespace tolvarin
