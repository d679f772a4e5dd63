#pragma once
// The copy step of every transfer: the selected source rows go into the destination
// with the identifiers BuildMappings gave them and every reference rewritten through
// the maps; the attribute rows, standards links and session results that hang off a
// copied row follow, the users and standards nodes the rows need are appended, and
// the image files are copied under their new names. A row whose new identifier
// exists in the destination overwrites it (the package-merge mode leaves it alone);
// a reference to a row that is not copied keeps its source value. A row written over
// takes its attribute rows, standards links and session results from the package,
// and is live afterwards even when the destination's record was marked deleted.
// An import without the package's classification tree copies no node, and of the
// standards links only those naming a publisher's node the destination holds.
#include <cstdint>
#include <functional>
#include <string>

#include "engine/transfer/table_mapping.h"

namespace tolvarin {

// The import preview, shown before anything is written in an interactive restore or
// migration: true goes on, false (Cancel or the close box) stops the copy. Without
// one installed, the run asks through the presenter.
using ImportPreview = std::function<bool()>;
void SetImportPreview(ImportPreview preview);

// The whole copy. False when it stopped before writing anything: the REMAPFROMID
// overwrite warning or the preview was answered No/Cancel. The caller then says
// that nothing was imported. A write or append the engine refuses, or a picture
// that could not be written, ends the run (Terminate) after a message naming the
// table or file: into work copies (files_aside.h) with the course as it was and the
// status of a failed run; otherwise the rows written before it stay.
bool CopyTables();

void CopyTable(TableMapping& mapping);
void CopyTableSpecial(TableMapping& mapping);
// The attribute rows of the row just copied; for a row written over (overwritten),
// the destination's attribute rows of that row become the package's.
void AppendRowKeyPairs(const std::string& tableName, std::int32_t oldID, std::int32_t newID, bool overwritten = false);
void CopyUsersTable();
void CopyStandardNodes();
void CopyLinkTableRows();
void CopyMappedRows();
void CopyImages();
void AddStandardQuestionLink(std::int32_t tree, std::int32_t node, std::int32_t questID);
// The name an activity arrives under: a graded session's own ("0000003%") follows
// its session's new identifier; any other name stays as it is.
std::string ArrivingActivityName(const std::string& name);

// The text of the preview's stand-in question.
inline constexpr const char* kPreviewText =
    "The selected content is ready to be imported into your database. Continue with the import?";

}  // namespace tolvarin
