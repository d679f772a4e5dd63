#pragma once
// The backup folder: its description file TOLVARIN.INI, its version file Status.DBF,
// the blank tables it is prepared with, the copy of a table's files and the pruning
// of the tables that received no row.
#include <string>
#include <vector>

namespace tolvarin {

inline constexpr const char* kDescriptionFile = "TOLVARIN.INI";
inline constexpr const char* kVersionFile = "Status.DBF";  // initialisation-file text, not a table
inline constexpr const char* kUserContentType = "UserContent";
inline constexpr const char* kDirectCopyType = "DirectCopy";

// The tables of a backup folder besides users, in the order they are prepared.
const std::vector<std::string>& BackupTableNames();

// Writes Status.DBF (section Version, Schema) and then TOLVARIN.INI (section Tolvarin:
// Created, Type, and in an interactive run AreaID and CourseID). The description file
// is written whole under another name and renamed into place, so a folder never shows
// a half-written one. Leaves Status.DBF's Version section as the current
// initialisation file. False when either file is not in place.
bool WriteTolvarinIni(const std::string& folder, const std::string& type);

// Prepares a backup folder: made with its parents, in mode 0 the description files
// and a blank users table, then a blank copy of each table of BackupTableNames; the
// identifier-named images of an earlier backup are deleted. False when the folder,
// a description file or a blank table is missing at the end.
bool CreateDatabasesFolder(const std::string& folder);

// Copies a table's .dbf and .cdx, and with withMemo its .fpt, replacing existing
// files, as one checked set: false (targets untouched) when any file failed.
bool CopyTableFileSet(const std::string& sourceFolder, const std::string& targetFolder, const std::string& table,
                      bool withMemo);

// Deletes every table of the folder (Status.DBF aside) that opened and holds no row.
// A table that cannot be opened or positioned is kept and named in failures; the
// result is false when there is any, which makes the backup a failed one.
bool RemoveEmptyTables(const std::string& folder, std::vector<std::string>* failures = nullptr);

}  // namespace tolvarin
